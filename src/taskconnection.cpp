#include "taskconnection.h"

#include <QAtomicInt>
#include <QSqlError>
#include <QSqlQuery>

namespace {
QAtomicInt connectionCount;
}

bool openWithForeignKeys(QSqlDatabase& db, const QString& fileName)
{
    db.setDatabaseName(fileName);
    if (!db.open())
        return false;
    QSqlQuery(db).exec(QStringLiteral("PRAGMA foreign_keys = ON;"));
    return true;
}

TaskConnection::TaskConnection(const QString& fileName, Mode mode)
    : m_name(QStringLiteral("ostrovel-task-%1").arg(connectionCount.fetchAndAddRelaxed(1)))
    , m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name))
{
    if (mode == Mode::ReadOnly)
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!openWithForeignKeys(m_db, fileName))
        m_error = m_db.lastError().text();
}

TaskConnection::~TaskConnection()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}
