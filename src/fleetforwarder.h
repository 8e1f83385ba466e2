#pragma once

#include <QMutex>
#include <QSet>
#include <QString>
#include <QThread>
#include <QWaitCondition>

class JournalFile;
class PgConnection;

// Sends a local journal's records, in order and in batches, to a fleet journal on a PostgreSQL
// server, on a thread and connections of its own: the local journal is the buffer, so recording
// never waits for the server. A record is its site's and its local id, so a batch sent twice is
// stored once; after a restart of either side the sending resumes from the newest record the
// server holds of the site (with a margin for records a writer committed late). While the
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
    // A batch arrived: the newest record the server holds and how many still wait.
    void forwarded(qint64 lastId, qint64 waiting);

protected:
    void run() override;

private:
    struct Batch;

    bool connectServer(PgConnection& server, JournalFile& journal, QString* error);
    // Sends the records after m_cursor; the number sent, -1 on a failure.
    int sendNext(PgConnection& server, JournalFile& journal, qint64 from, QString* error);
    bool send(PgConnection& server, JournalFile& journal, const Batch& batch, QString* error);
    bool report(PgConnection& server, JournalFile& journal, QString* error);
    qint64 waiting(JournalFile& journal);
    bool openJournal(JournalFile& journal, QString* error);
    // Sleeps up to ms unless stopped; false when stopped.
    bool pause(int ms);
    bool stopping();

    const QString m_journalFile;
    const QString m_site;
    const QString m_conninfo;
    int m_firstPause = 1000;
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stop = false;

    int m_siteId = 0;
    qint64 m_acknowledged = 0; // the newest record the server holds of the site
    qint64 m_cursor = 0;       // the newest record sent on this connection
    QSet<qint64> m_labels;     // labels and owners the server has been sent on this connection
    QSet<qint64> m_owners;
    QSet<qint64> m_months;
};
