#pragma once

#include "commandline.h"
#include "exportcontent.h"
#include "taskconnection.h"

#include <QString>

#include <memory>

// Opens an existing database file on a connection of its own with foreign keys on. A missing
// file is refused (SQLite would make an empty one), and so is a file of another format; null
// with the message to show then.
std::unique_ptr<TaskConnection> openDatabase(const QString& fileName, QString* error);

// What an export of the database file would write into the panel; false after telling why the
// file does not open or the export refuses it, as the export dialog refuses it.
bool loadDatabaseExport(const QString& fileName, ExportContent* content);

// The opening of a command that puts a database file into the panel or compares them: its
// command line parsed, with the file as its one argument, and what an export of the file would
// write. False when the command ends with *exitCode.
bool parseDatabaseExport(CommandLine& line, const QStringList& arguments, ExportContent* content,
                         int* exitCode);
