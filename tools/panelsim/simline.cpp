#include "simline.h"

#include "simframe.h"
#include "simlog.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace panelsim {

namespace {

// A sender pauses only a few milliseconds between byte 0 and the rest of a request, but a
// loaded machine can stretch that to tens; only a much longer silence means it is stale.
constexpr qint64 FrameGapNs = 250 * NsPerMs;
// The rest of a frame with a bad header arrives together with it, while the sender's retry
// comes at least 10 ms after our answer.
constexpr qint64 DropGapNs = 5 * NsPerMs;
// Paced output is written in slices of about this length, not byte by byte.
constexpr qint64 PaceSliceNs = NsPerMs;
// The service thread looks at the line at least this often, so that a longer absence (its
// process stopped, or starved) shows.
constexpr qint64 HeartbeatNs = 100 * NsPerMs;

} // namespace

SimLine::SimLine(SimLog& log, Responder responder)
    : m_log(log)
    , m_responder(std::move(responder))
{}

void SimLine::setPacing(bool on)
{
    m_pacing = on;
}

void SimLine::serve(int master, int wake, const std::atomic<bool>& stop)
{
    reset();
    m_master = master;
    m_lastWakeNs = steadyNs();
    while (!stop.load()) {
        waitForWork(wake);
        const qint64 now = steadyNs();
        expireFragment(now);
        flushOutput(now);
    }
    m_master = -1;
}

void SimLine::reset()
{
    m_rx.clear();
    m_dropping = false;
    m_out.clear();
    m_outSent = 0;
    m_outBlocked = false;
}

qint64 SimLine::nextDeadline() const
{
    qint64 deadline = -1;
    auto consider = [&deadline](qint64 t) { deadline = deadline < 0 ? t : std::min(deadline, t); };
    if (m_dropping)
        consider(m_lastByteNs + DropGapNs + 1);
    if (!m_rx.isEmpty())
        consider(m_lastByteNs + FrameGapNs + 1);
    if (!m_out.isEmpty() && !m_outBlocked) {
        const qint64 next = m_outPaced ? m_outStartNs + lineNs(m_outSent + 1) : m_outStartNs;
        consider(m_outPaced ? std::max(next, m_lastWriteNs + PaceSliceNs) : next);
    }
    return deadline;
}

void SimLine::waitForWork(int wake)
{
    const short masterEvents = short(POLLIN | (m_outBlocked ? POLLOUT : 0));
    pollfd fds[2] = {{m_master, masterEvents, 0}, {wake, POLLIN, 0}};
    const qint64 deadline = nextDeadline();
    const qint64 ns =
        deadline < 0 ? HeartbeatNs : std::clamp<qint64>(deadline - steadyNs(), 0, HeartbeatNs);
    const timespec wait{time_t(ns / 1000000000), long(ns % 1000000000)};
    const int ready = ppoll(fds, 2, &wait, nullptr);
    const qint64 now = steadyNs();
    // A freeze noticed on a wake without input (the wait timed out, or was interrupted by the
    // resuming signal) still counts for the input that follows it.
    m_away = m_away || now - m_lastWakeNs > FrameGapNs;
    m_lastWakeNs = now;
    if (ready <= 0)
        return;
    if ((fds[0].revents & POLLIN) && m_away)
        catchUp(now);
    else if (fds[0].revents & POLLIN)
        readInput(now);
    if (fds[0].revents & POLLOUT)
        m_outBlocked = false;
}

void SimLine::readInput(qint64 now)
{
    m_away = false;
    char buffer[512];
    const ssize_t count = ::read(m_master, buffer, sizeof buffer);
    if (count <= 0)
        return;
    m_log.countBytes(count);
    for (ssize_t i = 0; i < count; ++i)
        feed(buffer[i], now);
}

void SimLine::catchUp(qint64 now)
{
    m_away = false;
    QByteArray backlog;
    char buffer[4096];
    for (ssize_t count; (count = ::read(m_master, buffer, sizeof buffer)) > 0;)
        backlog.append(buffer, int(count));
    if (backlog.isEmpty())
        return;
    m_log.countBytes(backlog.size());
    if (m_dropping) {
        m_dropping = false;
        m_log.close();
    }
    // The bytes piled up while nobody read them, so their silences are unknown. The sender
    // gave up on every request but its newest: that one alone is served. The fragment that
    // was waiting is where the backlog starts, unless it is stale too.
    const int pending = m_rx.size();
    const QByteArray joined = m_rx + backlog;
    const int newest = newestFrameStart(joined);
    if (pending > 0 && newest > 0) {
        m_log.trace(true, m_rx);
        m_rx.clear();
        m_log.close();
    }
    if (newest > pending) {
        m_log.add(now, backlog.left(newest - pending));
        m_log.trace(true, backlog.left(newest - pending));
    }
    if (newest > 0)
        backlog = joined.mid(newest);
    m_lastByteNs = now;
    for (const char byte : qAsConst(backlog))
        feed(byte, now);
}

void SimLine::feed(char byte, qint64 now)
{
    expireFragment(now);
    if (m_dropping) {
        m_log.append(byte);
        m_lastByteNs = now;
        return;
    }
    if (m_rx.isEmpty())
        beginFrame(now);
    m_lineEndNs = std::max(m_lineEndNs, now) + lineNs(1);
    m_rx.append(byte);
    m_log.append(byte);
    m_lastByteNs = now;
    if (m_rx.size() == HeaderSize)
        checkHeader(now);
    else if (m_rx.size() > HeaderSize && m_rx.size() == frameSize(m_rx))
        completeFrame(now);
}

void SimLine::expireFragment(qint64 now)
{
    if (m_dropping && now - m_lastByteNs > DropGapNs) {
        m_dropping = false;
        m_log.close();
    }
    if (!m_rx.isEmpty() && now - m_lastByteNs > FrameGapNs) {
        m_log.trace(true, m_rx);
        m_rx.clear();
        m_log.close();
    }
}

void SimLine::beginFrame(qint64 now)
{
    // One request at a time: a new request ends whatever answer was still pending.
    m_out.clear();
    m_outSent = 0;
    m_outBlocked = false;
    m_log.open(now);
}

void SimLine::checkHeader(qint64 now)
{
    if (!goodHeader(m_rx)) {
        m_log.trace(true, m_rx);
        sendAnswer(encodeAnswer(byteAt(m_rx, 1), failure(ResHeaderCrc)), 0, now);
        m_rx.clear();
        m_dropping = true;
        return;
    }
    if (byteAt(m_rx, 4) == 0)
        completeFrame(now);
}

void SimLine::completeFrame(qint64 now)
{
    const QByteArray frame = m_rx;
    m_rx.clear();
    m_log.close();
    m_log.trace(true, frame);
    const int n = byteAt(frame, 4);
    if (n > 0 && crc8(frame.constData() + HeaderSize, n) != byteAt(frame, HeaderSize + n)) {
        sendAnswer(encodeAnswer(byteAt(frame, 1), failure(ResDataCrc)), 0, now);
        return;
    }
    const Answer answer = m_responder(frame, now);
    if (!answer.bytes.isEmpty())
        sendAnswer(answer.bytes, answer.delayMs, now);
}

void SimLine::sendAnswer(const QByteArray& bytes, int delayMs, qint64 now)
{
    m_log.trace(false, bytes);
    const bool paced = m_pacing.load();
    qint64 start = now + qint64(delayMs) * NsPerMs;
    // On a real line the answer cannot begin before the request has crossed it.
    if (paced)
        start = std::max(start, m_lineEndNs);
    m_out = bytes;
    m_outSent = 0;
    m_outStartNs = start;
    m_outPaced = paced;
    m_lastWriteNs = 0;
    flushOutput(now);
}

int SimLine::dueBytes(qint64 now) const
{
    if (now < m_outStartNs)
        return 0;
    if (!m_outPaced)
        return m_out.size();
    return int(std::min<qint64>(m_out.size(), lineBytes(now - m_outStartNs)));
}

void SimLine::flushOutput(qint64 now)
{
    if (m_out.isEmpty() || m_outBlocked)
        return;
    const int due = dueBytes(now) - m_outSent;
    if (due <= 0)
        return;
    const ssize_t written = ::write(m_master, m_out.constData() + m_outSent, size_t(due));
    if (written < 0) {
        if (errno == EAGAIN)
            m_outBlocked = true;
        else
            m_out.clear();
        return;
    }
    m_outSent += int(written);
    m_lastWriteNs = now;
    if (m_outSent >= m_out.size()) {
        m_out.clear();
        m_outSent = 0;
    }
}

} // namespace panelsim
