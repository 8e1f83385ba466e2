#pragma once

#include <QByteArray>

#include <atomic>
#include <functional>

// The panel's end of the line, run by the service thread: it finds request frames in the bytes
// that arrive, hands each to the panel, and sends the answers, at the line rate if asked.
namespace panelsim {

class SimLog;

class SimLine
{
public:
    struct Answer
    {
        QByteArray bytes; // empty: no answer at all
        int delayMs = 0;
    };
    // Called for every request frame whose CRCs were good.
    using Responder = std::function<Answer(const QByteArray& frame, qint64 now)>;

    SimLine(SimLog& log, Responder responder);

    // Thread-safe; applies from the next answer on.
    void setPacing(bool on);

    // Serves the master side of a pseudo-terminal until `stop` is set and `wake` (an eventfd)
    // is signalled. Starts with an empty line: nothing received, nothing to send.
    void serve(int master, int wake, const std::atomic<bool>& stop);

private:
    void reset();
    qint64 nextDeadline() const;
    void waitForWork(int wake);
    void readInput(qint64 now);
    void catchUp(qint64 now);
    void feed(char byte, qint64 now);
    void expireFragment(qint64 now);
    void beginFrame(qint64 now);
    void checkHeader(qint64 now);
    void completeFrame(qint64 now);
    void sendAnswer(const QByteArray& bytes, int delayMs, qint64 now);
    void flushOutput(qint64 now);
    int dueBytes(qint64 now) const;

    SimLog& m_log;
    Responder m_responder;
    std::atomic<bool> m_pacing{false};

    // Service thread only.
    int m_master = -1;
    qint64 m_lastWakeNs = 0;
    bool m_away = false; // frozen since the last input was read
    QByteArray m_rx;
    qint64 m_lastByteNs = 0;
    // When the last byte received so far has fully crossed a real line: bytes reach the
    // pseudo-terminal as soon as they are written, a line delivers them one character time
    // after another from the moment each was written.
    qint64 m_lineEndNs = 0;
    bool m_dropping = false;
    QByteArray m_out;
    int m_outSent = 0;
    qint64 m_outStartNs = 0;
    qint64 m_lastWriteNs = 0;
    bool m_outPaced = false;
    bool m_outBlocked = false;
};

} // namespace panelsim
