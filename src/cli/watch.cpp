#include "cardformat.h"
#include "clijournal.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databasefile.h"
#include "databaseopening.h"
#include "fleetforwarder.h"
#include "fleetschema.h"
#include "interruptwatcher.h"
#include "journallines.h"
#include "pgconnection.h"
#include "watchlink.h"

#include <QEventLoop>
#include <QFileInfo>

using Console::tr;

int Commands::watch(CommandLine& line, const QStringList& arguments)
{
    line.addJournalOption();
    const QCommandLineOption database({QStringLiteral("d"), QStringLiteral("database")},
                                      tr("Файл БД, по которому определяются владельцы ключей."),
                                      QStringLiteral("FILE"));
    line.addOption(database);
    const QCommandLineOption asJson(QStringLiteral("json"), tr("Выводить события в JSON."));
    line.addOption(asJson);
    const QCommandLineOption site(QStringLiteral("site"),
                                  tr("Имя объекта в журнале на сервере (с --forward)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption forward(
        QStringLiteral("forward"),
        tr("Пересылать журнал на сервер PostgreSQL: строка подключения libpq, URI или "
           "service=ИМЯ; пароль — из ~/.pgpass или файла служб, не из командной строки."),
        QStringLiteral("CONNINFO"));
    line.addOption(site);
    line.addOption(forward);
    if (!line.parse(arguments, 0))
        return line.exitCode();
    if (line.isSet(site) != line.isSet(forward))
        return line.usageError(tr("--site и --forward задаются вместе."));
    if (line.isSet(forward)) {
        QString error;
        if (!FleetSchema::isSiteName(line.value(site), &error))
            return line.usageError(error);
        if (const QString problem = Commands::conninfoProblem(line.value(forward));
            !problem.isEmpty())
            return line.usageError(problem);
    }

    int keyFormat = CardFormat::Default;
    QString databaseFile;
    if (line.isSet(database)) {
        QString error;
        {
            const std::unique_ptr<TaskConnection> connection =
                openDatabase(line.value(database), &error);
            DatabaseFile::Settings settings;
            if (connection &&
                DatabaseFile::readSettings(connection->database(), &settings, &error) ==
                    DatabaseFile::SettingsRead::Read)
                keyFormat = settings.keyFormat;
        }
        if (!error.isEmpty()) {
            Console::message(error);
            return Console::Failure;
        }
        databaseFile = QFileInfo(line.value(database)).absoluteFilePath();
    }

    CliJournal journal(line.journal());
    journal.recorder().setDatabase(databaseFile);
    const bool json = line.isSet(asJson);
    QObject::connect(&journal.recorder(), &JournalRecorder::recorded, &journal,
                     [json, keyFormat](const JournalRecord& record) {
                         Console::result(json ? JournalLines::json(record, keyFormat)
                                              : JournalLines::text(record, keyFormat));
                     });
    InterruptWatcher interrupts;
    QEventLoop loop;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);
    WatchLink link(CliJournal::portLocation(line.port()), &journal.recorder());
    QString error;
    if (!link.open(&error)) {
        Console::message(error);
        return Console::Failure;
    }
    Console::message(tr("Запись событий панели (%1) в журнал %2. Остановка: Ctrl+C.")
                         .arg(CliJournal::portLocation(line.port()), line.journal()));
    // The local journal is the buffer: the forwarder reads it on a thread of its own.
    std::unique_ptr<FleetForwarder> forwarder;
    if (line.isSet(forward)) {
        forwarder =
            std::make_unique<FleetForwarder>(line.journal(), line.value(site), line.value(forward));
        QObject::connect(forwarder.get(), &FleetForwarder::message, &loop, &Console::message);
        forwarder->start();
    }
    loop.exec();
    link.close();
    journal.close();
    if (forwarder) {
        forwarder->stop();
        QCoreApplication::sendPostedEvents();
    }
    return Console::Success;
}
