#include "cardformat.h"
#include "clijournal.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databasefile.h"
#include "databaseopening.h"
#include "interruptwatcher.h"
#include "journallines.h"
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
    if (!line.parse(arguments, 0))
        return line.exitCode();

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
    loop.exec();
    link.close();
    journal.close();
    return Console::Success;
}
