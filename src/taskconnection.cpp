#include "taskconnection.h"

#include "databasefile.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace {
QAtomicInt connectionCount;
}

QString existingFileUri(const QString& fileName, bool readOnly)
{
    // Only these three have a meaning of their own in the path of an SQLite URI.
    QString path = QFileInfo(fileName).absoluteFilePath();
    path.replace(QLatin1Char('%'), QLatin1String("%25"))
        .replace(QLatin1Char('?'), QLatin1String("%3F"))
        .replace(QLatin1Char('#'), QLatin1String("%23"));
    return QStringLiteral("file://%1?mode=%2")
        .arg(path, readOnly ? QLatin1String("ro") : QLatin1String("rw"));
}

bool openWithForeignKeys(QSqlDatabase& db, const QString& fileName)
{
    // Without SQLite's create flag: a file removed after the caller found it fails to open
    // instead of coming back as an empty database. A read-only connection keeps its option;
    // the URI's mode may not ask for more than the flags allow.
    const QString options = db.connectOptions();
    const bool readOnly = options.contains(QLatin1String("QSQLITE_OPEN_READONLY"));
    db.setConnectOptions(options.isEmpty() ? QStringLiteral("QSQLITE_OPEN_URI")
                                           : options + QStringLiteral(";QSQLITE_OPEN_URI"));
    db.setDatabaseName(existingFileUri(fileName, readOnly));
    const bool opened = db.open();
    // Whoever works on the file by name reads the plain path; an open connection only keeps
    // the new name and options for its next open.
    db.setConnectOptions(options);
    db.setDatabaseName(fileName);
    if (!opened)
        return false;
    QSqlQuery(db).exec(QStringLiteral("PRAGMA foreign_keys = ON;"));
    return true;
}

QString openFailure(const QSqlDatabase& db, const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        return DatabaseFile::missingFileMessage(fileName);
    return QCoreApplication::translate("QZelKorWindow", "Не удалось открыть файл БД '%1': %2")
        .arg(fileName, db.lastError().text());
}

TaskConnection::TaskConnection(const QString& fileName, Mode mode)
    : m_name(QStringLiteral("ostrovel-task-%1").arg(connectionCount.fetchAndAddRelaxed(1)))
    , m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name))
{
    if (mode == Mode::ReadOnly)
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!openWithForeignKeys(m_db, fileName))
        m_error = openFailure(m_db, fileName);
}

TaskConnection::~TaskConnection()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}
