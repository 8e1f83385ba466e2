#include "databasecompaction.h"

#include "taskconnection.h"
#include "workpool.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtConcurrent>

DatabaseCompaction::DatabaseCompaction(QObject* parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFutureWatcher<QString>::finished, this,
            [this] { emit finished(m_watcher.result()); });
}

DatabaseCompaction::~DatabaseCompaction()
{
    waitForFinished();
}

void DatabaseCompaction::start(const QString& fileName)
{
    waitForFinished();
    m_watcher.setFuture(QtConcurrent::run(workPool(), [fileName]() -> QString {
        TaskConnection connection(fileName);
        if (!connection.isOpen())
            return connection.errorText();
        QSqlQuery query(connection.database());
        return query.exec(QStringLiteral("VACUUM")) ? QString() : query.lastError().text();
    }));
}
