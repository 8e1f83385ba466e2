#pragma once

#include "qruntimeerror.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// Copies of a database taken before each operation that destroys its content, kept in the
// database's snapshot folder (DataFolders::snapshotFolder), the newest Kept of them, and put
// back on request. Each copy is a database file of its own, "snapshot-<time>.zelkor", with its
// description beside it in "snapshot-<time>.json". Every function works on connections of its
// own, so it runs in a task's thread.
namespace Snapshots {

constexpr int Kept = 20;

enum class Operation { PanelImport, Clear, CsvImport, Backup, Restore };

struct Snapshot
{
    QString file;      // the copy
    QDateTime taken;   // in UTC
    QString operation; // the key of the operation it was taken before
    int subscribers = 0;
    int keys = 0;
};

// The key recorded for an operation ("panel-import", "clear", "csv-import", "backup",
// "restore") and the operation's name for the user; an unknown key is shown as it is.
QString operationKey(Operation operation);
QString operationTitle(const QString& key);
// When a snapshot was taken, in local time, as the dialog and messages show it.
QString timeText(const Snapshot& snapshot);
// The confirmation asked before snapshot is restored.
QString restoreQuestion(const Snapshot& snapshot);

struct Taken
{
    bool ok = false;
    QString error; // the whole message: what failed, and that the operation does not run
    Snapshot snapshot;
};

// Copies databaseFile consistently into its snapshot folder (DatabaseCopy::copyFile), records
// operation and the counts, and then, when prune is set, removes the oldest snapshots beyond
// Kept, never the one just taken.
Taken take(const QString& databaseFile, Operation operation, bool prune = true);

// The snapshots of databaseFile, newest first. A copy without its description, or the other way
// round, is left out.
QList<Snapshot> list(const QString& databaseFile);

// Removes the oldest snapshots of databaseFile beyond Kept.
void prune(const QString& databaseFile);

// Takes a snapshot of what databaseFile holds now (so that the restore can be undone), then
// replaces its subscribers, keys and settings row with those of snapshot in one transaction.
// cancelled is asked once, before the database is touched.
QRuntimeError restore(const QString& databaseFile, const Snapshot& snapshot,
                      const std::function<bool()>& cancelled = {});

} // namespace Snapshots
