#include "databaseopening.h"

#include "console.h"
#include "databasefile.h"

#include <QFileInfo>

std::unique_ptr<TaskConnection> openDatabase(const QString& fileName, QString* error)
{
    if (!QFileInfo(fileName).isFile()) {
        *error = DatabaseFile::missingFileMessage(fileName);
        return nullptr;
    }
    auto connection = std::make_unique<TaskConnection>(fileName);
    if (!connection->isOpen()) {
        *error = connection->errorText();
        return nullptr;
    }
    const DatabaseFile::FormatCheck check = DatabaseFile::checkFormat(connection->database());
    if (check.format != DatabaseFile::Format::Valid) {
        *error = DatabaseFile::formatMessage(check);
        return nullptr;
    }
    return connection;
}

bool loadDatabaseExport(const QString& fileName, ExportContent* content)
{
    ExportLoad load;
    const std::unique_ptr<TaskConnection> connection = openDatabase(fileName, &load.error);
    if (connection)
        load = loadExportContent(connection->database());
    if (!load.error.isEmpty()) {
        Console::message(load.error);
        return false;
    }
    *content = load.content;
    return true;
}

bool parseDatabaseExport(CommandLine& line, const QStringList& arguments, ExportContent* content,
                         int* exitCode)
{
    line.addArgument(QStringLiteral("FILE.zelkor"), Console::tr("Файл БД."));
    if (!line.parse(arguments, 1)) {
        *exitCode = line.exitCode();
        return false;
    }
    *exitCode = Console::Failure;
    return loadDatabaseExport(line.argument(0), content);
}
