#include "journalrecorder.h"

#include "eventrecord.h"
#include "journalfile.h"
#include "ownerlookup.h"
#include "qserialportthread.h"
#include "storedeventtracker.h"
#include "taskconnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QVector>
#include <QWaitCondition>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

// The kept sighting is brought up to date at least this often while connected.
constexpr int SightingMs = 60000;
// Records that come close together are written in one transaction: the writer gathers them
// this long after the first one woke it.
constexpr int GatherMs = 50;

QString translate(const char* text)
{
    return QCoreApplication::translate("JournalRecorder", text);
}

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

struct JournalRecorder::Input
{
    enum Kind {
        Answer,
        PollingOff,
        PollingOn,
        LinkFailed,
        LinkStarted,
        LinkEnded,
        Database,
        Action
    };
    Kind kind = Answer;
    qint64 time = 0;
    // A poll's answer and when it came; turned into time by the writer, as converting a local
    // time costs the caller's thread tens of microseconds.
    QByteArray data;
    QDateTime received;
    QString text;   // port, database file or action
    QString detail; // an action's outcome
    QString port;   // an action's port
};

// The writer thread: everything from the queue in order, then into the journal.
class JournalRecorder::Writer : public QThread
{
public:
    explicit Writer(JournalRecorder* recorder)
        : m_recorder(recorder)
    {}

    // Shared with the recorder's thread, under the mutex.
    QMutex mutex;
    QWaitCondition wake;
    QWaitCondition done;
    QVector<Input> inputs;
    qint64 begun = 0;
    qint64 rounds = 0;
    bool stopping = false;
    bool forced = false;
    bool woken = false; // a wake is on its way; the next records need not send another
    int holdLimit = DefaultHoldLimit;
    qint64 unwritten = 0;

protected:
    void run() override;

private:
    void handle(const Input& input);
    void keep(const JournalRecord& record);
    // While the journal cannot be written: drops the oldest records beyond the hold limit.
    void holdWithinLimit();
    void resolveOwner(JournalRecord& record);
    bool journalOpen();
    void write(bool force);
    void fault(const QString& reason);
    int waitMs() const;

    JournalRecorder* m_recorder;
    std::unique_ptr<JournalFile> m_journal;
    QElapsedTimer m_sinceAttempt;
    bool m_faulted = false;
    qint64 m_lostInFault = 0;
    qint64 m_lost = 0;
    QVector<JournalRecord> m_held;
    int m_holdLimit = DefaultHoldLimit;

    QString m_port;
    StoredEventTracker m_tracker;
    qint64 m_sightingKept = 0;
    QElapsedTimer m_sinceSighting;
    bool m_sightingDue = false;

    QString m_database;
    bool m_ownersFailed = false;
    std::unique_ptr<TaskConnection> m_connection;
    std::unique_ptr<OwnerLookup> m_owners;
};

void JournalRecorder::Writer::run()
{
    m_journal = std::make_unique<JournalFile>(m_recorder->m_journalFile);
    m_sinceSighting.start();
    for (;;) {
        QVector<Input> batch;
        bool stop = false;
        bool force = false;
        {
            QMutexLocker locker(&mutex);
            while (inputs.isEmpty() && !stopping && !forced) {
                // Status answers are queued without waking the writer; a timed wake takes
                // them, and tries a journal that could not be written again.
                if (!wake.wait(&mutex, QDeadlineTimer(waitMs())))
                    break;
            }
            const QDeadlineTimer gathered(GatherMs);
            while (woken && !stopping && !forced && wake.wait(&mutex, gathered)) {
            }
            woken = false;
            batch.swap(inputs);
            ++begun;
            stop = stopping;
            force = forced || stopping;
            forced = false;
            m_holdLimit = holdLimit;
        }
        for (const Input& input : batch)
            handle(input);
        write(force);
        QMutexLocker locker(&mutex);
        ++rounds;
        done.wakeAll();
        if (stop) {
            unwritten = m_lost + m_held.size();
            break;
        }
    }
    m_owners.reset();
    m_connection.reset();
    m_journal.reset();
}

int JournalRecorder::Writer::waitMs() const
{
    if (m_faulted && !m_held.isEmpty())
        return int(std::max<qint64>(0, RetryMs - m_sinceAttempt.elapsed()));
    return SightingMs;
}

void JournalRecorder::Writer::handle(const Input& input)
{
    switch (input.kind) {
    case Input::Answer: {
        const qint64 time = input.received.toMSecsSinceEpoch();
        if (input.data.size() == 1) {
            m_tracker.statusAnswered(time);
        } else {
            JournalRecord record = JournalRecord::fromPanel(input.data, time, m_port);
            const StoredEventTracker::Mark mark = m_tracker.recordReceived(time);
            record.stored = mark.stored;
            record.storedFrom = mark.from;
            record.storedUntil = mark.stored ? time : 0;
            resolveOwner(record);
            keep(record);
        }
        break;
    }
    case Input::PollingOff:
        m_tracker.pollingStopped(input.time);
        break;
    case Input::PollingOn:
        m_tracker.pollingResumed(input.time);
        break;
    case Input::LinkFailed:
        m_tracker.linkFailed(input.time);
        break;
    case Input::LinkStarted: {
        // The last sighting of the previous port goes out first.
        if (m_tracker.lastSeen() > m_sightingKept)
            write(true);
        // The same port again: what was seen here counts even when it could not be kept.
        const qint64 seenHere = input.text == m_port ? m_tracker.lastSeen() : 0;
        m_port = input.text;
        m_sightingKept = journalOpen() ? m_journal->lastSighting(m_port) : 0;
        m_tracker.connectionStarted(input.time, std::max(seenHere, m_sightingKept));
        break;
    }
    case Input::LinkEnded:
        m_sightingDue = true;
        break;
    case Input::Database:
        if (input.text != m_database) {
            m_owners.reset();
            m_connection.reset();
            m_ownersFailed = false;
            m_database = input.text;
        }
        break;
    case Input::Action: {
        JournalRecord record =
            JournalRecord::action(input.text, input.detail, input.port, input.time);
        record.database = m_database;
        keep(record);
        break;
    }
    }
}

void JournalRecorder::Writer::resolveOwner(JournalRecord& record)
{
    record.database = m_database;
    if (m_database.isEmpty() || record.key == 0)
        return;
    if (!m_connection) {
        auto connection =
            std::make_unique<TaskConnection>(m_database, TaskConnection::Mode::ReadOnly);
        if (!connection->isOpen()) {
            // Not kept: the next key tries again, as the file may be there by then.
            if (!std::exchange(m_ownersFailed, true))
                emit m_recorder->ownersUnavailable(
                    translate("Владельцы ключей не определяются: не открывается БД %1: %2")
                        .arg(m_database, connection->errorText()));
            return;
        }
        m_ownersFailed = false;
        m_connection = std::move(connection);
        m_owners = std::make_unique<OwnerLookup>(&m_connection->database());
    }
    record.owner = m_owners->owner(record.key);
}

void JournalRecorder::Writer::keep(const JournalRecord& record)
{
    emit m_recorder->recorded(record);
    m_held.append(record);
}

void JournalRecorder::Writer::holdWithinLimit()
{
    if (m_held.size() <= m_holdLimit)
        return;
    // The newest are kept: a journal that works again shows what happened last.
    const int dropped = m_held.size() - m_holdLimit;
    m_held.remove(0, dropped);
    m_lost += dropped;
    m_lostInFault += dropped;
}

bool JournalRecorder::Writer::journalOpen()
{
    if (m_journal->isWritable())
        return true;
    if (m_sinceAttempt.isValid() && m_faulted && m_sinceAttempt.elapsed() < RetryMs)
        return false;
    m_sinceAttempt.start();
    if (m_journal->openForWriting() == JournalFile::State::Writable)
        return true;
    fault(m_journal->errorText());
    return false;
}

void JournalRecorder::Writer::write(bool force)
{
    const bool newSighting = m_tracker.lastSeen() > m_sightingKept;
    const bool sightingDue =
        newSighting && (force || m_sightingDue || m_sinceSighting.elapsed() >= SightingMs);
    if (m_held.isEmpty() && !sightingDue)
        return;
    if (m_faulted && !force && m_sinceAttempt.elapsed() < RetryMs)
        return holdWithinLimit();
    if (force && m_faulted)
        m_sinceAttempt.invalidate();
    if (!journalOpen())
        return holdWithinLimit();
    m_sinceAttempt.start();
    const JournalFile::Sighting seen{m_port, newSighting ? m_tracker.lastSeen() : qint64(0)};
    if (!m_journal->append(m_held, seen)) {
        const QString reason = translate("Не удалось записать журнал событий %1: %2.")
                                   .arg(m_journal->fileName(), m_journal->errorText());
        // Opened anew for the next attempt, which checks the file again.
        m_journal->close();
        fault(reason);
        return holdWithinLimit();
    }
    m_held.clear();
    if (seen.time > 0)
        m_sightingKept = seen.time;
    m_sightingDue = false;
    m_sinceSighting.restart();
    if (m_faulted) {
        m_faulted = false;
        emit m_recorder->recordingResumed(m_lostInFault);
        m_lostInFault = 0;
    }
}

void JournalRecorder::Writer::fault(const QString& reason)
{
    if (m_faulted)
        return;
    m_faulted = true;
    emit m_recorder->recordingFailed(reason);
}

JournalRecorder::JournalRecorder(const QString& journalFile, QObject* parent)
    : QObject(parent)
    , m_journalFile(journalFile)
    , m_writer(new Writer(this))
{
    qRegisterMetaType<JournalRecord>("JournalRecord");
    registerSerialPortErrorType();
    m_writer->start();
}

JournalRecorder::~JournalRecorder()
{
    close();
    delete m_writer;
    ActionJournal::unsetRecorder(this);
}

void JournalRecorder::attach(QSerialPortThread* thread)
{
    connect(thread, &QSerialPortThread::event, this, &JournalRecorder::onEvent);
    connect(thread, &QSerialPortThread::errorEvent, this, &JournalRecorder::onError);
    // In the requester's call, so that the switch is queued before the answers that follow.
    connect(thread, &QSerialPortThread::startEvents, this, &JournalRecorder::onStartEvents,
            Qt::DirectConnection);
    connect(thread, &QThread::finished, this, &JournalRecorder::onLinkEnded);
}

void JournalRecorder::push(const Input& input, bool wakeWriter)
{
    QMutexLocker locker(&m_writer->mutex);
    if (m_writer->stopping)
        return;
    // Of a run of status answers only the last one tells anything more.
    QVector<Input>& inputs = m_writer->inputs;
    if (input.kind == Input::Answer && input.data.size() == 1 && !inputs.isEmpty() &&
        inputs.last().kind == Input::Answer && inputs.last().data.size() == 1)
        inputs.last() = input;
    else
        inputs.append(input);
    if (wakeWriter && !m_writer->woken) {
        m_writer->woken = true;
        m_writer->wake.wakeOne();
    }
}

void JournalRecorder::onEvent(const QByteArray& data, QDateTime datetime)
{
    if (data.size() != 1 && data.size() != EventRecordSize)
        return;
    Input input;
    input.received = datetime;
    input.data = data;
    push(input, data.size() == EventRecordSize);
}

void JournalRecorder::onError(QSerialPortError error, const QString&)
{
    if (error == NoError || error == ClosedByUser || error == CancelledByUser)
        return;
    Input input;
    input.kind = Input::LinkFailed;
    input.time = now();
    push(input, false);
}

void JournalRecorder::onStartEvents(const bool& value)
{
    Input input;
    input.kind = value ? Input::PollingOn : Input::PollingOff;
    input.time = now();
    push(input, false);
}

void JournalRecorder::onLinkEnded()
{
    Input input;
    input.kind = Input::LinkEnded;
    input.time = now();
    push(input, true);
}

void JournalRecorder::linkStarted(const QString& port)
{
    m_port = port;
    Input input;
    input.kind = Input::LinkStarted;
    input.time = now();
    input.text = port;
    push(input, true);
}

void JournalRecorder::setDatabase(const QString& file)
{
    Input input;
    input.kind = Input::Database;
    input.text = file;
    // At once: the file closed in the window is let go of, not held until the next round.
    push(input, true);
}

void JournalRecorder::recordAction(const QString& text, const QString& outcome)
{
    Input input;
    input.kind = Input::Action;
    input.time = now();
    input.text = text;
    input.detail = outcome;
    input.port = m_port;
    push(input, true);
}

void JournalRecorder::setHoldLimit(int records)
{
    QMutexLocker locker(&m_writer->mutex);
    m_writer->holdLimit = std::max(0, records);
}

void JournalRecorder::flush()
{
    QMutexLocker locker(&m_writer->mutex);
    // A whole round that begins after this call: one under way took its inputs before.
    const qint64 round = m_writer->begun + 1;
    m_writer->forced = true;
    m_writer->wake.wakeOne();
    while (m_writer->rounds < round && !m_writer->stopping)
        m_writer->done.wait(&m_writer->mutex);
}

void JournalRecorder::close()
{
    {
        QMutexLocker locker(&m_writer->mutex);
        m_writer->stopping = true;
        m_writer->wake.wakeOne();
    }
    m_writer->wait();
    m_unwritten = m_writer->unwritten;
}
