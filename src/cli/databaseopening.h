#pragma once

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
