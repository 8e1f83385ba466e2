#pragma once

#include <QSqlDatabase>
#include <QString>

// A database connection of its own for work in another thread: a Qt SQL connection may be
// used only in the thread that opened it, so a background task never borrows the window's.
// Opened on construction with foreign keys on, closed and unregistered on destruction.
class TaskConnection
{
public:
    enum class Mode { ReadWrite, ReadOnly };

    explicit TaskConnection(const QString& fileName, Mode mode = Mode::ReadWrite);
    ~TaskConnection();
    TaskConnection(const TaskConnection&) = delete;
    TaskConnection& operator=(const TaskConnection&) = delete;

    bool isOpen() const { return m_db.isOpen(); }
    QSqlDatabase& database() { return m_db; }
    // Why the connection could not be opened.
    QString errorText() const { return m_error; }

private:
    QString m_name;
    QSqlDatabase m_db;
    QString m_error;
};

// Opens db on the existing file fileName, never creating it, and switches its foreign keys on:
// every connection to a database file needs it for the cascades from subscriber to card. The
// connection's database name stays fileName.
bool openWithForeignKeys(QSqlDatabase& db, const QString& fileName);
// Why db did not open on fileName: the missing file's message when it is not there (any more),
// else a sentence naming the file with the driver's error.
QString openFailure(const QSqlDatabase& db, const QString& fileName);
// The SQLite URI that opens fileName, read-write or read-only, only if it exists.
QString existingFileUri(const QString& fileName, bool readOnly = false);
