#include "databasecopy.h"

#include "taskconnection.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <unistd.h>

namespace DatabaseCopy {

namespace {

// The SQLite connection under a Qt one. Qt's driver on the platforms this program is built for
// uses the system's SQLite, the same library this program links for its file and backup
// functions.
sqlite3* handleOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

QString noHandle()
{
    return QCoreApplication::translate("Snapshots", "нет соединения SQLite");
}

// The columns of a table of db's main database, quoted, comma-separated.
QString columnList(QSqlDatabase& db, const QString& table)
{
    QSqlQuery query(db);
    QStringList columns;
    if (query.exec(QStringLiteral("PRAGMA main.table_info(%1)").arg(table)))
        while (query.next())
            columns << QLatin1Char('"') + query.value(1).toString() + QLatin1Char('"');
    return columns.join(QLatin1Char(','));
}

QString replaceTables(QSqlDatabase& db)
{
    // The keys go before the subscribers they belong to, and come back after them.
    const QStringList tables = {QStringLiteral("card"), QStringLiteral("subscriber"),
                                QStringLiteral("system")};
    QStringList inserts;
    for (const QString& table : tables) {
        const QString columns = columnList(db, table);
        if (columns.isEmpty())
            return QCoreApplication::translate("Snapshots", "в БД нет таблицы %1").arg(table);
        inserts.prepend(QStringLiteral("INSERT INTO main.%1 (%2) SELECT %2 FROM snapshot.%1")
                            .arg(table, columns));
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("BEGIN TRANSACTION")))
        return query.lastError().text();
    bool done = true;
    for (const QString& table : tables)
        done = done && query.exec(QStringLiteral("DELETE FROM main.") + table);
    for (const QString& insert : inserts)
        done = done && query.exec(insert);
    if (done && query.exec(QStringLiteral("COMMIT")))
        return {};
    const QString error = query.lastError().text();
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    return error;
}

// The database's pages as they are in its file, read through SQLite's own file handle while
// the caller's read transaction holds its lock (closing another handle to the file would drop
// the locks SQLite holds on it), written to target and synced.
QString fileCopy(QSqlDatabase& db, sqlite3* handle, const QString& target)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT page_count * page_size FROM pragma_page_count, "
                                   "pragma_page_size")) ||
        !query.next())
        return query.lastError().text();
    const qint64 size = query.value(0).toLongLong();
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods)
        return QString::fromUtf8(sqlite3_errmsg(handle));
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return out.errorString();
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 offset = 0; offset < size; offset += chunk.size()) {
        const int length = int(std::min<qint64>(chunk.size(), size - offset));
        const int read = file->pMethods->xRead(file, chunk.data(), length, offset);
        if (read != SQLITE_OK)
            return QString::fromUtf8(sqlite3_errstr(read));
        if (out.write(chunk.constData(), length) != length)
            return out.errorString();
    }
    if (!out.flush())
        return out.errorString();
    if (::fsync(out.handle()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

// SQLite's backup of the whole database into target in one step, synced.
QString backupCopy(sqlite3* handle, const QString& target)
{
    TaskConnection to(target);
    if (!to.isOpen())
        return to.errorText();
    // Nobody else knows the new file yet: it needs no rollback journal.
    QSqlQuery(to.database()).exec(QStringLiteral("PRAGMA journal_mode = OFF"));
    sqlite3* toHandle = handleOf(to.database());
    sqlite3_backup* backup =
        toHandle ? sqlite3_backup_init(toHandle, "main", handle, "main") : nullptr;
    if (!backup)
        return toHandle ? QString::fromUtf8(sqlite3_errmsg(toHandle)) : noHandle();
    const int stepped = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    return stepped != SQLITE_DONE  ? QString::fromUtf8(sqlite3_errstr(stepped))
           : finished != SQLITE_OK ? QString::fromUtf8(sqlite3_errstr(finished))
                                   : QString();
}

} // namespace

QString copyFile(const QString& source, const QString& target, Counts* counts)
{
    TaskConnection from(source);
    if (!from.isOpen())
        return from.errorText();
    QSqlDatabase& db = from.database();
    sqlite3* handle = handleOf(db);
    if (!handle)
        return noHandle();
    QSqlQuery query(db);
    // The counts read every page of two indexes: mapped, rather than a system call for each.
    query.exec(QStringLiteral("PRAGMA mmap_size = 268435456"));
    const bool wal = query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next() &&
                     query.value(0).toString() == QLatin1String("wal");
    // A read transaction: until its end nobody changes the file, so the copy and the counts
    // are of one committed state.
    if (!query.exec(QStringLiteral("BEGIN")) ||
        !query.exec(QStringLiteral(
            "SELECT (SELECT COUNT(*) FROM subscriber), (SELECT COUNT(*) FROM card)")) ||
        !query.next())
        return query.lastError().text();
    counts->subscribers = query.value(0).toInt();
    counts->keys = query.value(1).toInt();
    query.finish();
    // The file of a database in WAL mode is not the whole of it; SQLite's backup copies what
    // a reader sees.
    const QString error = wal ? backupCopy(handle, target) : fileCopy(db, handle, target);
    QSqlQuery(db).exec(QStringLiteral("COMMIT"));
    return error;
}

QString replaceContent(QSqlDatabase& db, const QString& from)
{
    QSqlQuery query(db);
    // The rows of a big database are written once, at the commit, rather than spilled as the
    // transaction grows.
    query.exec(QStringLiteral("PRAGMA cache_size = -65536"));
    query.prepare(QStringLiteral("ATTACH DATABASE :file AS snapshot"));
    query.bindValue(QStringLiteral(":file"), from);
    if (!query.exec())
        return query.lastError().text();
    const QString error = replaceTables(db);
    QSqlQuery(db).exec(QStringLiteral("DETACH DATABASE snapshot"));
    return error;
}

} // namespace DatabaseCopy
