#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databaseopening.h"
#include "importchain.h"
#include "paneldiff.h"
#include "workrunner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using Console::tr;

namespace {

QJsonValue owner(int number)
{
    return number < 0 ? QJsonValue() : QJsonValue(number);
}

QJsonValue side(bool present, const PanelTables::SubscriberImage& subscriber)
{
    if (!present)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("apartment"), subscriber.apartment},
                       {QStringLiteral("phone"), subscriber.phone}};
}

QByteArray json(const PanelDiff::Differences& differences)
{
    QJsonArray settings;
    for (const PanelDiff::Setting& setting : differences.settings)
        settings.append(QJsonObject{{QStringLiteral("column"), setting.column},
                                    {QStringLiteral("panel"), setting.panel.toJsonValue()},
                                    {QStringLiteral("database"), setting.database.toJsonValue()}});
    QJsonArray subscribers;
    for (const PanelDiff::Subscriber& subscriber : differences.subscribers)
        subscribers.append(QJsonObject{
            {QStringLiteral("number"), subscriber.number},
            {QStringLiteral("panel"), side(subscriber.onPanel, subscriber.panel)},
            {QStringLiteral("database"), side(subscriber.inDatabase, subscriber.database)}});
    QJsonArray keys;
    for (const PanelDiff::Key& key : differences.keys)
        keys.append(QJsonObject{{QStringLiteral("code"), qint64(key.code)},
                                {QStringLiteral("panel"), owner(key.panelOwner)},
                                {QStringLiteral("database"), owner(key.databaseOwner)}});
    const QJsonObject document{{QStringLiteral("same"), differences.isEmpty()},
                               {QStringLiteral("settings"), settings},
                               {QStringLiteral("subscribers"), subscribers},
                               {QStringLiteral("keys"), keys}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

// One line a difference, its fields separated by TABs: what, which, the panel's value, the
// database's value; an absent side is empty.
QStringList lines(const PanelDiff::Differences& differences)
{
    const auto line = [](const char* what, const QString& which, const QString& panel,
                         const QString& database) {
        return QStringLiteral("%1\t%2\t%3\t%4").arg(QLatin1String(what), which, panel, database);
    };
    QStringList out;
    for (const PanelDiff::Setting& setting : differences.settings)
        out << line("setting", setting.column, setting.panel.toString(),
                    setting.database.toString());
    for (const PanelDiff::Subscriber& subscriber : differences.subscribers) {
        const QString number = QString::number(subscriber.number);
        if (subscriber.onPanel != subscriber.inDatabase) {
            out << line("subscriber", number, subscriber.onPanel ? number : QString(),
                        subscriber.inDatabase ? number : QString());
            continue;
        }
        if (subscriber.panel.apartment != subscriber.database.apartment)
            out << line("apartment", number, subscriber.panel.apartment,
                        subscriber.database.apartment);
        if (subscriber.panel.phone != subscriber.database.phone)
            out << line("phone", number, subscriber.panel.phone, subscriber.database.phone);
    }
    const auto ownerText = [](int number) {
        return number < 0 ? QString() : QString::number(number);
    };
    for (const PanelDiff::Key& key : differences.keys)
        out << line("key", QString::number(key.code), ownerText(key.panelOwner),
                    ownerText(key.databaseOwner));
    return out;
}

} // namespace

int Commands::diff(const QStringList& arguments)
{
    CommandLine line(
        QStringLiteral("diff"),
        tr("Читает панель, ничего не записывая, и показывает, что изменил бы экспорт БД в "
           "панель.\n"
           "Вывод: строка на различие, поля через табуляцию: что (setting, subscriber, "
           "apartment, phone, key), какое, значение в панели, значение в БД; с --json "
           "документ JSON. Код возврата 0, когда панель и БД совпадают, 3, когда различаются."),
        QStringLiteral("--port PORT [--json] FILE.zelkor"));
    line.addPortOption();
    const QCommandLineOption asJson(QStringLiteral("json"), tr("Вывести различия в JSON."));
    line.addOption(asJson);
    line.addArgument(QStringLiteral("FILE.zelkor"), tr("Файл БД."));
    int exitCode = 0;
    if (!line.parse(arguments, 1, &exitCode))
        return exitCode;

    ExportContent content;
    if (!loadDatabaseExport(line.argument(0), &content))
        return Console::Failure;
    QString message;
    ImportChain chain;
    WorkRunner runner;
    if (!runner.runOnPanel(
            line.port(), chain, [&] { chain.start(ImportChain::Full); }, &message))
        return Console::Failure;
    const PanelDiff::Differences differences =
        PanelDiff::compare(chain.image(), PanelDiff::exportedImage(content));
    if (line.isSet(asJson))
        Console::result(QString::fromUtf8(json(differences)).trimmed());
    else
        for (const QString& text : lines(differences))
            Console::result(text);
    if (differences.isEmpty()) {
        Console::message(tr("Панель совпадает с БД."));
        return Console::Success;
    }
    Console::message(tr("Различия с БД: настроек %1, абонентов %2, ключей %3.")
                         .arg(differences.settings.size())
                         .arg(differences.subscribers.size())
                         .arg(differences.keys.size()));
    return Console::Different;
}
