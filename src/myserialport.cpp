#include "myserialport.h"

#include "protocol.h"
#include "qpacket.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QThread>
#include <QTime>

#include <utility>

// The frames and failures of the link: silent unless switched on with
// QT_LOGGING_RULES="ostrovel.link.debug=true".
Q_LOGGING_CATEGORY(lcLink, "ostrovel.link", QtWarningMsg)

namespace {

constexpr int Attempts = 3;
constexpr int RetryPauseMs = 10;
constexpr int PollIntervalMs = 200;
constexpr int PollTimeoutMs = 1000;

QString timeOfDay()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
}

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

MySerialPort::MySerialPort(QObject* parent)
    : QSerialPort(parent)
{
    registerSerialPortErrorType();
}

MySerialPort::~MySerialPort()
{
    dropQueuedPackets();
}

void MySerialPort::onHandler()
{
    // The flags start cleared with every new port; clearing them here again could lose an
    // abort that arrived before the loop began, and stop() would then wait forever.
    QElapsedTimer sincePoll;
    sincePoll.start();
    while (!isAborted()) {
        if (sincePoll.elapsed() > PollIntervalMs) {
            const int mode = eventMode();
            if (mode != 0)
                poll(mode);
            sincePoll.restart();
        }
        if (QPacket* packet = takeNextPacket()) {
            serve(packet);
            QThread::msleep(1);
        } else {
            // Idle until the next poll is due rather than waking every millisecond: a
            // recorder left running for months should cost next to nothing.
            waitForWork(PollIntervalMs + 1 - sincePoll.elapsed());
        }
    }
    dropQueuedPackets();
}

void MySerialPort::poll(int mode)
{
    const QByteArray header =
        Protocol::sealedHeader(Protocol::PollEvents, mode == 2 ? 0xFF : 0x00, 0);
    QByteArray answer;
    QSerialPortError error = QSerialPortError::NoError;
    QString errorString;
    int next = 1;
    if (sendData(header.constData(), header.size(), answer, error, errorString, PollTimeoutMs)) {
        const int length = quint8(answer.at(Protocol::OffsetLength));
        next = length == 1 ? 1 : 2;
        emit event(answer.mid(Protocol::OffsetData, length), QDateTime::currentDateTime());
    }
    {
        // A requester may have switched polling off while this poll ran; keep it off.
        QMutexLocker locker(&m_mutex);
        if (m_eventMode != 0)
            m_eventMode = next;
    }
    emit errorEvent(error, errorString);
}

void MySerialPort::serve(QPacket* packet)
{
    const QByteArray frame = packet->frame();
    QByteArray answer;
    QSerialPortError error = QSerialPortError::NoError;
    QString errorString;
    if (isCancelled()) {
        // Cancelled while it waited in the queue: it never goes out.
        error = QSerialPortError::CancelledByUser;
        errorString = linkErrorText(error);
    } else {
        sendData(frame.constData(), frame.size(), answer, error, errorString,
                 Protocol::answerTimeout(packet->command()));
    }
    {
        // A cancel that comes after the exchange has nothing left to stop.
        QMutexLocker locker(&m_mutex);
        m_serving = false;
        m_cancel = false;
    }
    emit errorEvent(error, errorString);
    emit packet->handleEvent(error, errorString, answer);
    delete packet;
}

bool MySerialPort::sendData(const char* frame, const qint64& size, QByteArray& answer,
                            QSerialPortError& error, QString& errorString, const qint64& timeout)
{
    for (int attempt = 1;; ++attempt) {
        error = QSerialPortError::NoError;
        errorString.clear();
        answer.clear();
        clear(QSerialPort::AllDirections);
        clearError();

        // The address byte carries the ninth bit (mark parity) so the panel sees a frame start.
        setParity(QSerialPort::MarkParity);
        write(frame, 1);
        waitWritten(1);
        QThread::msleep(1);
        setParity(QSerialPort::SpaceParity);
        write(frame + 1, size - 1);
        waitWritten(int(size - 1));
        qCDebug(lcLink).noquote() << timeOfDay() << "<-" << hex(QByteArray(frame, int(size)));

        if (QSerialPort::error() == QSerialPort::ResourceError) {
            // The device is gone: no answer can come, and no attempt can reach it.
            error = QSerialPortError::PortGone;
            errorString = linkErrorText(error);
            return false;
        }
        if (receiveAnswer(int(timeout), answer, error, errorString)) {
            if (answer.at(Protocol::OffsetResult) == 0) {
                qCDebug(lcLink).noquote() << timeOfDay() << "->" << hex(answer);
                return true;
            }
            qCDebug(lcLink).noquote() << "ERROR ERROR ERROR ERROR ERROR ERROR ERROR" << timeOfDay()
                                      << answer.size() << hex(answer);
        } else if (error == QSerialPortError::PortGone) {
            return false;
        } else {
            const bool aborted = isAborted();
            if (aborted || isCancelled()) {
                error =
                    aborted ? QSerialPortError::ClosedByUser : QSerialPortError::CancelledByUser;
                errorString = linkErrorText(error);
                if (!aborted) {
                    QMutexLocker locker(&m_mutex);
                    m_cancel = false;
                }
                return false;
            }
            qCDebug(lcLink).noquote() << QStringLiteral("%1 Error: %2 Description: %3")
                                             .arg(timeOfDay())
                                             .arg(int(error))
                                             .arg(errorString);
        }
        if (attempt == Attempts)
            return false;
        QThread::msleep(RetryPauseMs);
    }
}

bool MySerialPort::receiveAnswer(int timeout, QByteArray& answer, QSerialPortError& error,
                                 QString& errorString)
{
    error = QSerialPortError::NoError;
    errorString.clear();
    int expected = Protocol::HeaderSize;
    QElapsedTimer clock; // monotonic, so a clock change cannot stretch or cut the wait
    clock.start();
    while (!isInterrupted() && answer.size() < expected && clock.elapsed() < timeout) {
        waitForReadyRead(1);
        answer.append(readAll());
        if (QSerialPort::error() == QSerialPort::ResourceError) {
            error = QSerialPortError::PortGone;
            errorString = linkErrorText(error);
            return false;
        }
        QThread::msleep(1);
        const Protocol::AnswerCheck check = Protocol::checkAnswer(answer);
        expected = check.expected;
        if (check.status == Protocol::AnswerCheck::HeaderCrcError ||
            check.status == Protocol::AnswerCheck::DataCrcError) {
            // Keep only the bytes that were examined; the rest is not part of any frame.
            answer.truncate(expected);
            error = check.status == Protocol::AnswerCheck::HeaderCrcError
                        ? QSerialPortError::HeaderCrcError
                        : QSerialPortError::DataCrcError;
            errorString = linkErrorText(error);
            return false;
        }
    }
    if (answer.size() >= expected) {
        // Whatever follows the frame is line noise, not part of the answer.
        answer.truncate(expected);
        return true;
    }
    error = QSerialPortError::Timeout;
    errorString = linkErrorText(error, answer.size(), expected);
    return false;
}

void MySerialPort::waitWritten(int bytes)
{
    // 0.2 ms is about the line time of one 11-bit character at 57600 baud.
    const int pause = int(bytes * 0.2) + 1;
    waitForBytesWritten(pause);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < pause && !isInterrupted())
        QThread::msleep(1);
    QThread::msleep(pause);
}

void MySerialPort::waitForWork(qint64 ms)
{
    QMutexLocker locker(&m_mutex);
    if (ms > 0 && !m_abort && m_queue.isEmpty())
        m_work.wait(&m_mutex, QDeadlineTimer(ms));
}

QPacket* MySerialPort::takeNextPacket()
{
    QMutexLocker locker(&m_mutex);
    if (m_queue.isEmpty())
        return nullptr;
    // Taken and marked in one step, so that a cancel reaches either the queue or the exchange.
    m_serving = true;
    m_cancel = std::exchange(m_cancelNext, false);
    return m_queue.takeFirst();
}

void MySerialPort::sendPacket(QPacket* packet)
{
    // Runs in the requester's thread; from now on the packet belongs to the worker.
    packet->moveToThread(thread());
    QMutexLocker locker(&m_mutex);
    m_queue.append(packet);
    m_work.wakeAll();
}

void MySerialPort::onStartEvents(const bool& value)
{
    qCDebug(lcLink).noquote() << timeOfDay() << (value ? "events on" : "events off");
    QMutexLocker locker(&m_mutex);
    m_eventMode = value ? 1 : 0;
    m_work.wakeAll();
}

void MySerialPort::onCancel()
{
    // Meant for the requester's request: the one being exchanged, else the next one queued.
    // With neither, its answer is already on its way, and the cancel must not hit the next
    // request after its frame went out.
    QMutexLocker locker(&m_mutex);
    if (m_serving)
        m_cancel = true;
    else if (!m_queue.isEmpty())
        m_cancelNext = true;
}

void MySerialPort::onAbort()
{
    QMutexLocker locker(&m_mutex);
    m_abort = true;
    m_work.wakeAll();
}

bool MySerialPort::isAborted()
{
    QMutexLocker locker(&m_mutex);
    return m_abort;
}

bool MySerialPort::isCancelled()
{
    QMutexLocker locker(&m_mutex);
    return m_cancel;
}

bool MySerialPort::isInterrupted()
{
    QMutexLocker locker(&m_mutex);
    return m_abort || m_cancel;
}

int MySerialPort::eventMode()
{
    QMutexLocker locker(&m_mutex);
    return m_eventMode;
}

void MySerialPort::dropQueuedPackets()
{
    QList<QPacket*> dropped;
    {
        QMutexLocker locker(&m_mutex);
        dropped.swap(m_queue);
    }
    qDeleteAll(dropped);
}
