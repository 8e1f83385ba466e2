#pragma once

#include "journalrecord.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

class QSqlQuery;

// The event journal: an SQLite file of its own in write-ahead-log mode, so that the window and
// the headless recorder can write it at once while the journal view reads it. A file that is
// not a journal of this version, or cannot be written, is never changed: the caller keeps
// working without recording.
//
// A record's id is its time of reception in milliseconds × 16 plus a serial number within the
// millisecond, so the table itself is in time order and a period is a range of ids. Its seq
// numbers it in the order of writing, which only grows (what a forwarder follows).
class JournalFile
{
public:
    enum class State {
        Closed,
        Writable,
        ReadOnly,       // opened for reading; or, asked to write, the file or its folder
                        // cannot be written, and nothing was opened
        NotJournal,     // some other file, or not an SQLite database at all
        UnknownVersion, // a journal of a later version of the program
        Unavailable,    // cannot be opened or created (missing folder, no space, locked)
    };

    static constexpr int Version = 1;
    // Marks the file as this program's journal (SQLite's application id, "OsJr").
    static constexpr quint32 ApplicationId = 0x4F734A72;

    explicit JournalFile(const QString& fileName);
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    // Opens the journal for recording; where no file exists, a new journal is made.
    State openForWriting();
    // Opens the journal for reading only; creates and changes nothing.
    State openForReading();
    void close();

    State state() const { return m_state; }
    bool isWritable() const { return m_state == State::Writable; }
    bool isOpen() const { return m_db.isOpen(); }
    QString fileName() const { return m_fileName; }
    // Why the journal is not usable, or why the last append failed.
    QString errorText() const { return m_error; }

    // When the panel on a port was last seen with no record waiting: a record it still keeps
    // happened later. 0 when unknown.
    struct Sighting
    {
        QString port;
        qint64 time = 0;
    };

    // Adds records in one transaction: all of them or none. A sighting given (time > 0) is
    // kept in the same transaction. False with errorText().
    bool append(const QVector<JournalRecord>& records, const Sighting& sighting);
    bool append(const QVector<JournalRecord>& records) { return append(records, Sighting()); }
    // The last sighting of the panel on port that was kept; 0 when none is known.
    qint64 lastSighting(const QString& port);

    // The connection, for queries in the thread that opened the journal.
    QSqlDatabase& database() { return m_db; }

    static qint64 firstIdAt(qint64 ms) { return ms * 16; }
    static qint64 timeOfId(qint64 id) { return id >> 4; }

    // What the first 100 bytes of a file say it is: Writable for a journal of this version
    // (whether it can be written is found out later), else why it is not one. version receives
    // the version found.
    static State inspectHeader(const QByteArray& header, int* version = nullptr);

private:
    State open(bool writing);
    State fail(State state, const QString& text);
    bool createNew();
    bool prepareWriting();
    qint64 labelId(const QString& text);
    qint64 ownerId(const JournalOwner& owner);
    qint64 freeId(QSqlQuery& lastId, qint64 ms);
    bool insertRecord(QSqlQuery& insert, QSqlQuery& lastId, const JournalRecord& record,
                      qint64 seq);
    // Gives a journal made before records were numbered in the order of writing its numbers.
    bool numberRecords();
    bool keepSighting(const Sighting& sighting);
    // Keeps the failed statement's error as the reason; -1.
    qint64 failedStep(const QSqlQuery& query);

    QString m_fileName;
    QString m_connection;
    QSqlDatabase m_db;
    State m_state = State::Closed;
    QString m_error;
    QHash<QString, qint64> m_labels;
    QHash<QString, qint64> m_owners;
};
