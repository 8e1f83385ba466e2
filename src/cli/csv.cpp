#include "commandline.h"
#include "commands.h"
#include "console.h"
#include "csvexport.h"
#include "csvimport.h"
#include "csvoptions.h"
#include "databaseopening.h"
#include "pendingfile.h"
#include "workrunner.h"

using Console::tr;

namespace {

const QVector<int> DialogColumns = {Csv::Subscriber, Csv::Apartment, Csv::Phone, Csv::Key};

// The database must open as the program's own before a task works on it by name.
bool databaseOpens(const QString& fileName)
{
    QString error;
    if (openDatabase(fileName, &error))
        return true;
    Console::message(error);
    return false;
}

int taskEnd(const QRuntimeError& result)
{
    Console::message(result.message);
    return result.isSuccess() ? Console::Success : Console::Failure;
}

} // namespace

int Commands::csvExport(CommandLine& line, const QStringList& arguments)
{
    CsvOptions csv(line, tr("Ключи в формате N: 0 TouchMemory, 1 EM-Marin, 2 7 цифр, 3 10 цифр "
                            "(по умолчанию каждый ключ в своём формате)."));
    line.addArgument(QStringLiteral("FILE.zelkor"), tr("Файл БД."));
    line.addArgument(QStringLiteral("OUT.csv"), tr("Файл CSV, который будет записан."));
    if (!line.parse(arguments, 2))
        return line.exitCode();
    if (!csv.read(line, DialogColumns))
        return Console::Usage;
    const QString database = line.argument(0);
    if (!databaseOpens(database))
        return Console::Failure;
    CsvExportOptions options;
    options.columns = csv.columns;
    options.keyType = csv.keyFormat + 1;
    options.separator = csv.separator;
    options.header = csv.header;
    options.codecName = csv.codecName;
    PendingFile file(line.argument(1));
    QString message;
    if (!file.create(&message)) {
        Console::message(message);
        return Console::Failure;
    }
    const QString path = file.path();
    WorkRunner runner;
    QRuntimeError result = runner.runTask<QRuntimeError>(
        QCoreApplication::translate("QExportFromDB", "Процесс экспорта данных из БД"),
        [=](const Csv::Progress& progress) {
            return exportDatabase(database, path, options, progress);
        });
    if (result.isSuccess() && !file.commit(&message))
        return taskEnd(QRuntimeError::failure(message));
    // A file that could not be written is named as the user named it.
    result.message.replace(path, line.argument(1));
    return taskEnd(result);
}

int Commands::csvImport(CommandLine& line, const QStringList& arguments)
{
    CsvOptions csv(line, tr("Формат ключей в файле: 0 TouchMemory, 1 EM-Marin, 2 код от 1 до 7 "
                            "цифр, 3 10 цифр (по умолчанию 0)."));
    const QCommandLineOption mode(
        {QStringLiteral("m"), QStringLiteral("mode")},
        tr("Откуда номер абонента: file — столбец subscriber файла (по умолчанию), auto — "
           "новый свободный номер на каждую строку, число — все ключи этому абоненту."),
        QStringLiteral("MODE"), QStringLiteral("file"));
    const QCommandLineOption pattern(QStringLiteral("pattern"),
                                     tr("Регулярное выражение ключа вместо принятого для формата."),
                                     QStringLiteral("REGEX"));
    const QCommandLineOption clear(QStringLiteral("clear"), tr("Очистить БД перед импортом."));
    for (const QCommandLineOption& option : {mode, pattern, clear})
        line.addOption(option);
    line.addArgument(QStringLiteral("FILE.zelkor"), tr("Файл БД."));
    line.addArgument(QStringLiteral("IN.csv"), tr("Файл CSV."));
    if (!line.parse(arguments, 2))
        return line.exitCode();

    CsvImportOptions options;
    const QString chosenMode = line.value(mode);
    bool number = false;
    options.boundSubscriber = chosenMode.toInt(&number);
    if (number) {
        options.subscriberMode = CsvImportOptions::BindTo;
        if (options.boundSubscriber < 0 || options.boundSubscriber >= CsvImport::MaxSubscribers)
            return line.usageError(QCoreApplication::translate(
                "QImportToDB", "Необходимо указать абонента для привязки."));
    } else if (chosenMode == QLatin1String("auto")) {
        options.subscriberMode = CsvImportOptions::AutoCreate;
    } else if (chosenMode != QLatin1String("file")) {
        return line.usageError(tr("Режим задаётся словом file, auto или номером абонента."));
    }
    QVector<int> columns = DialogColumns;
    if (options.subscriberMode != CsvImportOptions::FromFile)
        columns.removeOne(Csv::Subscriber);
    if (!csv.read(line, columns))
        return Console::Usage;
    if (options.subscriberMode != CsvImportOptions::FromFile &&
        csv.columns.contains(Csv::Subscriber))
        return line.usageError(tr("Столбец subscriber читается только в режиме file."));
    options.columns = csv.columns;
    options.keyFormat = std::max(csv.keyFormat, 0);
    options.keyPattern = line.value(pattern);
    options.separator = csv.separator;
    options.ignoreFirstLine = csv.header;
    options.clearDatabase = line.isSet(clear);
    options.codecName = csv.codecName;

    const QString database = line.argument(0);
    const QString fileName = line.argument(1);
    if (!databaseOpens(database))
        return Console::Failure;
    WorkRunner runner;
    return taskEnd(runner.runTask<QRuntimeError>(
        QCoreApplication::translate("QImportToDB", "Процесс импорта данных в БД"),
        [=](const Csv::Progress& progress) {
            return importFile(database, fileName, options, progress);
        }));
}
