#include "snapshots.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databaseopening.h"
#include "datafolders.h"
#include "workrunner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using Console::tr;

int Commands::snapshots(CommandLine& line, const QStringList& arguments)
{
    const QCommandLineOption asJson(QStringLiteral("json"), tr("Вывести снимки в JSON."));
    line.addOption(asJson);
    line.addArgument(QStringLiteral("FILE.zelkor"), tr("Файл БД."));
    if (!line.parse(arguments, 1))
        return line.exitCode();

    // Listed even when the database itself is gone: that is when they are wanted most.
    const QString database = line.argument(0);
    const QList<Snapshots::Snapshot> all = Snapshots::list(database);
    QJsonArray json;
    for (int i = 0; i < all.size(); ++i) {
        const Snapshots::Snapshot& snapshot = all.at(i);
        if (line.isSet(asJson))
            json.append(
                QJsonObject{{QStringLiteral("number"), i + 1},
                            {QStringLiteral("taken"), snapshot.taken.toString(Qt::ISODateWithMs)},
                            {QStringLiteral("operation"), snapshot.operation},
                            {QStringLiteral("subscribers"), snapshot.subscribers},
                            {QStringLiteral("keys"), snapshot.keys},
                            {QStringLiteral("file"), snapshot.file}});
        else
            Console::result(QStringList{QString::number(i + 1), Snapshots::timeText(snapshot),
                                        snapshot.operation, QString::number(snapshot.subscribers),
                                        QString::number(snapshot.keys), snapshot.file}
                                .join(QLatin1Char('\t')));
    }
    if (line.isSet(asJson))
        Console::result(QString::fromUtf8(QJsonDocument(json).toJson()).trimmed());
    Console::message(tr("Снимков: %1. Папка снимков: %2")
                         .arg(all.size())
                         .arg(DataFolders::snapshotFolder(database)));
    return Console::Success;
}

int Commands::restoreSnapshot(CommandLine& line, const QStringList& arguments)
{
    const QCommandLineOption yes({QStringLiteral("y"), QStringLiteral("yes")},
                                 tr("Не спрашивать подтверждения."));
    line.addOption(yes);
    line.addArgument(QStringLiteral("FILE.zelkor"), tr("Файл БД."));
    line.addArgument(QStringLiteral("N"), tr("Номер снимка."));
    if (!line.parse(arguments, 2))
        return line.exitCode();
    bool number = false;
    const int chosen = line.argument(1).toInt(&number);
    if (!number || chosen < 1)
        return line.usageError(tr("Номер снимка задаётся числом от 1."));
    const bool ask = !line.isSet(yes);
    if (ask && !Console::canAsk())
        return line.usageError(
            tr("Данные БД будут заменены: без терминала подтвердите это параметром --yes."));

    const QString database = line.argument(0);
    QString error;
    if (!openDatabase(database, &error)) {
        Console::message(error);
        return Console::Failure;
    }
    const QList<Snapshots::Snapshot> all = Snapshots::list(database);
    if (chosen > all.size()) {
        Console::message(
            tr("Снимка %1 нет: у БД '%2' снимков %3.").arg(chosen).arg(database).arg(all.size()));
        return Console::Failure;
    }
    const Snapshots::Snapshot snapshot = all.at(chosen - 1);
    if (ask && !Console::confirm(Snapshots::restoreQuestion(snapshot))) {
        Console::message(tr("Восстановление отменено."));
        return Console::Failure;
    }
    WorkRunner runner;
    const QRuntimeError result = runner.runTask<QRuntimeError>(
        QCoreApplication::translate("QRestoreSnapshot", "Восстановление БД из снимка"),
        [=](const Csv::Progress& progress) {
            return Snapshots::restore(database, snapshot,
                                      [progress] { return progress.cancelled(); });
        });
    Console::message(result.message);
    return result.isSuccess() ? Console::Success : Console::Failure;
}
