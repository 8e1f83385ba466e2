#include "cardformat.h"
#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "databasefile.h"
#include "databaseopening.h"
#include "importchain.h"
#include "importwriter.h"
#include "pendingfile.h"
#include "snapshots.h"
#include "taskconnection.h"
#include "workrunner.h"

#include <QFileInfo>
#include <QSqlQuery>

using Console::tr;

namespace {

int count(const QString& file, const char* table)
{
    TaskConnection connection(file);
    QSqlQuery query(connection.database());
    query.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table)));
    return query.next() ? query.value(0).toInt() : 0;
}

// A database the backup will replace is kept as a snapshot first; false when that failed. A
// file that is no database of this program holds no list to keep.
bool keepReplacedDatabase(const QString& target)
{
    const QFileInfo file(target);
    if (!file.isFile() || file.size() == 0)
        return true;
    QString error;
    if (!openDatabase(target, &error)) {
        Console::message(
            tr("Файл '%1' не является БД программы и будет заменён без снимка.").arg(target));
        return true;
    }
    const Snapshots::Taken snapshot = Snapshots::take(target, Snapshots::Operation::Backup);
    if (!snapshot.ok)
        Console::message(snapshot.error);
    return snapshot.ok;
}

} // namespace

int Commands::backup(CommandLine& line, const QStringList& arguments)
{
    const QCommandLineOption format(
        {QStringLiteral("f"), QStringLiteral("format")},
        tr("Формат ключей: 0 TouchMemory, 1 EM-Marin, 2 7 цифр, 3 10 цифр (по умолчанию 2)."),
        QStringLiteral("N"), QString::number(CardFormat::Default));
    line.addOption(format);
    line.addArgument(QStringLiteral("FILE.zelkor"), tr("Файл БД, который будет создан."));
    if (!line.parse(arguments, 1))
        return line.exitCode();
    bool number = false;
    const int keyFormat = line.value(format).toInt(&number);
    if (!number || keyFormat < 0 || keyFormat >= CardFormat::Count)
        return line.usageError(tr("Формат ключей задаётся числом от 0 до 3."));

    // Watching for Ctrl+C from here, the temporary file is always removed.
    WorkRunner runner;
    // The file first: a folder that cannot take it is found before minutes of reading.
    PendingFile file(line.argument(0));
    QString message;
    if (!file.create(&message)) {
        Console::message(message);
        return Console::Failure;
    }
    message = DatabaseFile::createFromTemplate(file.path());
    if (!message.isEmpty()) {
        Console::message(file.failure(message));
        return Console::Failure;
    }
    if (!keepReplacedDatabase(line.argument(0)))
        return Console::Failure;
    ImportChain chain;
    if (!runner.runOnPanel(
            line.port(), chain, [&] { chain.start(ImportChain::Full); }, &message))
        return Console::Failure;

    const QString path = file.path();
    const PanelTables::PanelImage image = chain.image();
    const ImportWriter::Result written = runner.runTask<ImportWriter::Result>(
        tr("Запись данных в БД"), [=](const Csv::Progress& progress) {
            // Written as the import dialog writes into the open database.
            progress.maximum(ImportWriter::steps(image, false));
            return ImportWriter::writeFile(
                path, image, false, keyFormat,
                [progress](int value) {
                    if (progress.setValue)
                        progress.setValue(value);
                },
                [progress] { return progress.cancelled(); });
        });
    for (const ImportWriter::Failure& failure : written.keyFailures)
        Console::failure(failure.title, failure.text);
    switch (written.status) {
    case ImportWriter::Result::Written:
        break;
    case ImportWriter::Result::Failed:
        Console::failure(written.failure.title, written.failure.text);
        return Console::Failure;
    case ImportWriter::Result::Cancelled:
        Console::message(tr("Операция прервана пользователем."));
        return Console::Failure;
    }
    const int subscribers = count(path, "subscriber");
    const int keys = count(path, "card");
    if (!file.commit(&message)) {
        Console::message(message);
        return Console::Failure;
    }
    Console::message(
        QCoreApplication::translate("QImport", "Импорт данных из панели в БД выполнен успешно."));
    Console::result(QStringLiteral("subscribers=%1").arg(subscribers));
    Console::result(QStringLiteral("keys=%1").arg(keys));
    return Console::Success;
}
