#pragma once

#include <QString>

class QSqlDatabase;

// Whole-database copies at SQLite's level, for the snapshots: a consistent copy of a file, and
// the content of one database put into another.
namespace DatabaseCopy {

struct Counts
{
    int subscribers = 0;
    int keys = 0;
};

// Copies the database source into target, a file that does not exist yet, within one read
// transaction on source, so that the copy is one committed state even while others write: the
// file's pages as they are (SQLite's backup for a database in WAL mode, whose file is not the
// whole of it). The copy is on disk when this returns. counts receives the copy's subscribers
// and keys. Empty on success, else why it failed (target may then be left over).
QString copyFile(const QString& source, const QString& target, Counts* counts);

// Replaces the subscribers, keys and the settings row of db with those of the database file
// from, in one transaction: on failure db is as it was. Empty on success, else the database's
// error text.
QString replaceContent(QSqlDatabase& db, const QString& from);

} // namespace DatabaseCopy
