#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "fleetquery.h"
#include "fleetschema.h"
#include "pgconnection.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using Console::tr;

namespace {

QString shownTime(qint64 ms)
{
    return ms <= 0
               ? QStringLiteral("-")
               : QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy.MM.dd HH:mm:ss"));
}

QJsonValue isoTime(qint64 ms)
{
    if (ms <= 0)
        return QJsonValue();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

QString Commands::conninfoProblem(const QString& conninfo)
{
    QString error;
    if (!PgConnection::isValid(conninfo, &error))
        return tr("Неверная строка подключения: %1").arg(error);
    if (PgConnection::hasPassword(conninfo))
        return tr("Пароль в строке подключения не принимается: его видно в списке процессов и в "
                  "истории команд. Запишите его в ~/.pgpass (PGPASSFILE) или в файл служб.");
    return QString();
}

bool Commands::connectServer(PgConnection& server, const QString& conninfo)
{
    if (server.open(conninfo))
        return true;
    Console::message(server.errorText());
    return false;
}

int Commands::fleetInit(CommandLine& line, const QStringList& arguments)
{
    const QCommandLineOption site(QStringLiteral("site"),
                                  tr("Завести объект NAME и роль его регистратора ostrovel_NAME "
                                     "(можно несколько раз)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption print(
        QStringLiteral("print"),
        tr("Не подключаться, а вывести команды SQL для администратора БД."));
    line.addOption(site);
    line.addOption(print);
    line.addArgument(QStringLiteral("CONNINFO"),
                     tr("Строка подключения libpq, URI или service=ИМЯ."));
    if (!line.parse(arguments, 1))
        return line.exitCode();
    if (const QString problem = conninfoProblem(line.argument(0)); !problem.isEmpty())
        return line.usageError(problem);
    const QStringList sites = line.isSet(site) ? line.values(site) : QStringList();
    for (const QString& name : sites) {
        QString error;
        if (!FleetSchema::isSiteName(name, &error))
            return line.usageError(error);
    }
    if (line.isSet(print)) {
        Console::result(QStringLiteral("BEGIN;"));
        for (const QString& statement : FleetSchema::statements(0, sites))
            Console::result(statement + QLatin1Char(';'));
        Console::result(QStringLiteral("COMMIT;"));
        return Console::Success;
    }
    PgConnection server;
    if (!connectServer(server, line.argument(0)))
        return Console::Failure;
    const int before = FleetSchema::installedVersion(server);
    QString error;
    if (!FleetSchema::install(server, sites, &error)) {
        Console::message(error);
        return Console::Failure;
    }
    Console::message(
        before == FleetSchema::Version
            ? tr("Журнал на сервере уже версии %1.").arg(FleetSchema::Version)
            : tr("Журнал на сервере подготовлен: версия %1.").arg(FleetSchema::Version));
    for (const QString& name : sites)
        Console::message(tr("Объект %1: роль регистратора %2 (пароль задаёт администратор БД).")
                             .arg(name, FleetSchema::siteRole(name)));
    return Console::Success;
}

int Commands::fleetStatus(CommandLine& line, const QStringList& arguments)
{
    const QCommandLineOption silent(
        QStringLiteral("silent-hours"),
        tr("Молчащим считается объект без записей и без опроса панели столько часов (24)."),
        QStringLiteral("HOURS"), QStringLiteral("24"));
    const QCommandLineOption asJson(QStringLiteral("json"), tr("Выводить объекты в JSON."));
    line.addOption(silent);
    line.addOption(asJson);
    line.addArgument(QStringLiteral("CONNINFO"),
                     tr("Строка подключения libpq, URI или service=ИМЯ."));
    if (!line.parse(arguments, 1))
        return line.exitCode();
    if (const QString problem = conninfoProblem(line.argument(0)); !problem.isEmpty())
        return line.usageError(problem);
    bool ok = false;
    const double hours = line.value(silent).toDouble(&ok);
    if (!ok || hours <= 0)
        return line.usageError(tr("Неверное число часов: %1").arg(line.value(silent)));
    PgConnection server;
    if (!connectServer(server, line.argument(0)))
        return Console::Failure;
    QVector<FleetQuery::SiteStatus> sites;
    QString error;
    if (!FleetQuery::status(server, qint64(hours * 3600000), QDateTime::currentMSecsSinceEpoch(),
                            &sites, &error)) {
        Console::message(tr("Не удалось прочитать объекты на сервере журнала: %1").arg(error));
        return Console::Failure;
    }
    if (line.isSet(asJson)) {
        QJsonArray list;
        for (const FleetQuery::SiteStatus& site : sites)
            list.append(QJsonObject{{QStringLiteral("site"), site.name},
                                    {QStringLiteral("silent"), site.silent},
                                    {QStringLiteral("last_record"), isoTime(site.lastRecord)},
                                    {QStringLiteral("last_seen"), isoTime(site.lastSeen)},
                                    {QStringLiteral("panel_seen"), isoTime(site.panelSeen)},
                                    {QStringLiteral("backlog"), site.backlog},
                                    {QStringLiteral("records"), site.records}});
        Console::result(QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)));
        return Console::Success;
    }
    for (const FleetQuery::SiteStatus& site : sites)
        Console::result(QStringList{site.name, site.silent ? tr("молчит") : tr("в порядке"),
                                    shownTime(site.lastRecord), shownTime(site.lastSeen),
                                    QString::number(site.backlog)}
                            .join(QLatin1Char('\t')));
    return Console::Success;
}
