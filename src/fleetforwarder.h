#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QThread>
#include <QWaitCondition>

class JournalFile;
class PgConnection;

// Sends a local journal's records, in the order they were written and in batches, to a fleet
// journal on a PostgreSQL server, on a thread and connections of its own: the local journal is
// the buffer, so recording never waits for the server. A record is its site's and its local
// id, so a batch sent twice is stored once; each batch tells the server, in its own
// transaction, the journal's seq it reached, and sending resumes there after a restart of
// either side (from the start when the server's records came from another journal). While the
// server is away the pause between attempts grows to a minute; message() tells when sending
// stops and resumes and how many records wait.
class FleetForwarder : public QThread
{
    Q_OBJECT
public:
    static constexpr int BatchSize = 5000;
    static constexpr int MaxPauseMs = 60000;

    FleetForwarder(const QString& journalFile, const QString& site, const QString& conninfo,
                   QObject* parent = nullptr);
    // Stops and waits for the thread.
    ~FleetForwarder() override;

    // Ends the sending after the batch under way; returns when the thread has ended.
    void stop();
    // The pause before the first attempt again (and before each one after it is cut short):
    // tests and benchmarks shorten it.
    void setFirstPauseMs(int ms) { m_firstPause = ms; }

signals:
    // A line for standard error, from the forwarder's thread.
    void message(const QString& text);
    // A batch arrived: the journal's seq the server holds up to and how many records still wait.
    void forwarded(qint64 seq, qint64 waiting);

protected:
    void run() override;

private:
    struct Batch;

    bool openJournal(JournalFile& journal, QString* error);
    bool connectServer(PgConnection& server, JournalFile& journal, QString* error);
    // Sends the records after m_sentSeq, while the previous batch is being stored; the number
    // sent, -1 on a failure.
    int sendNext(PgConnection& server, JournalFile& journal, QString* error);
    // The server's numbers of the batch's texts and owners it has not learnt yet.
    bool mapLabels(PgConnection& server, JournalFile& journal, const QSet<qint64>& ids,
                   QString* error);
    bool mapOwners(PgConnection& server, JournalFile& journal, const QSet<qint64>& ids,
                   QString* error);
    // select reads each of ids with the values function takes, one array a column, in order;
    // the numbers it returns go into map, failure said when they do not match.
    bool mapNumbers(PgConnection& server, JournalFile& journal, const QSet<qint64>& ids,
                    const QString& select, const QString& function, const QString& failure,
                    QHash<qint64, qint64>* map, QString* error);
    // Starts storing a batch; the server's answer is taken by confirm(), before anything else
    // is sent.
    bool send(PgConnection& server, const Batch& batch, QString* error);
    bool confirm(PgConnection& server, QString* error);
    bool report(PgConnection& server, JournalFile& journal, QString* error);
    // The records written after seq; -1 when the journal cannot be read.
    qint64 waiting(JournalFile& journal, qint64 after);
    // When the panel was last seen with nothing waiting; 0 when unknown.
    qint64 sighting(JournalFile& journal);
    // Sleeps up to ms unless stopped; false when stopped.
    bool pause(int ms);
    bool stopping();

    const QString m_journalFile;
    const QString m_site;
    const QString m_conninfo;
    int m_firstPause = 250;
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stop = false;

    int m_siteId = 0;
    qint64 m_seq = 0;            // the journal's seq of the last record the server holds in order
    qint64 m_sentSeq = 0;        // … and of the last record sent, perhaps not stored yet
    qint64 m_pendingSeq = 0;     // the last of a batch sent whose storing is not confirmed; 0: none
    qint64 m_pendingWaiting = 0; // how many records waited after that batch
    QElapsedTimer m_sinceReport; // since the server was last told the backlog
    // The journal's texts and owners by their local numbers, as the server numbers them; learnt
    // anew on each connection.
    QHash<qint64, qint64> m_labels;
    QHash<qint64, qint64> m_owners;
    QSet<qint64> m_months;
};
