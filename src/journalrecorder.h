#pragma once

#include "actionjournal.h"
#include "journalrecord.h"
#include "qserialporterror.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

class QSerialPortThread;

// Keeps what the panel reports, and the program's own actions, in the event journal. The
// caller's thread only queues what arrives; a writer thread of the recorder's own marks the
// records the panel kept while nobody polled it, resolves each key's owner on a read-only
// connection to the database file, and writes into the journal on its own connection. When
// the journal cannot be written, the records are held and tried again every few seconds; past
// the hold limit the oldest are dropped and counted as lost. Used by the window and by
// ostrovel-cli alike.
class JournalRecorder : public QObject, public ActionJournal::Recorder
{
    Q_OBJECT
public:
    explicit JournalRecorder(const QString& journalFile, QObject* parent = nullptr);
    ~JournalRecorder() override;

    QString journalFile() const { return m_journalFile; }

    // Follows the serial worker: its answers, polling switched off and on by chains, failed
    // exchanges and its end.
    void attach(QSerialPortThread* thread);
    // A connection to the panel on port has just started.
    void linkStarted(const QString& port);
    // The port the program's actions are recorded with when no connection was started here.
    void setPort(const QString& port) { m_port = port; }
    // The database file owners are resolved from from now on; empty for none.
    void setDatabase(const QString& file);
    // An action of this program on the panel, with its outcome.
    void recordAction(const QString& text, const QString& outcome) override;
    // How many records are held while the journal cannot be written.
    void setHoldLimit(int records);

    // Waits until everything queued so far has been written, or has failed to be.
    void flush();
    // Flushes and ends the writer; nothing is recorded afterwards.
    void close();
    // After close(): the records of this run that never reached the journal.
    qint64 unwritten() const { return m_unwritten; }

    static constexpr int DefaultHoldLimit = 20000;
    static constexpr int RetryMs = 10000;

public slots:
    void onEvent(const QByteArray& data, QDateTime datetime);
    void onError(QSerialPortError error, const QString& errorString);
    void onStartEvents(const bool& value);
    void onLinkEnded();

signals:
    // Every record as it goes to the journal, marked and with its owner; also while the
    // journal cannot be written. Emitted from the writer thread.
    void recorded(const JournalRecord& record);
    // The journal cannot be written, and why; said once until it can be again.
    void recordingFailed(const QString& reason);
    // The journal is written again; lost records were dropped in the meantime.
    void recordingResumed(qint64 lost);
    // The database set cannot be opened to find the keys' owners, and why; said once until it
    // opens or another one is set. It is tried again for every key that follows.
    void ownersUnavailable(const QString& message);

private:
    struct Input;
    class Writer;
    friend class Writer;
    void push(const Input& input, bool wake);

    QString m_journalFile;
    QString m_port;
    Writer* m_writer;
    qint64 m_unwritten = 0;
};
