#include "simlog.h"

#include "simframe.h"

namespace panelsim {

void SimLog::setStart(qint64 ns)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_startNs = ns;
    m_open = -1;
}

void SimLog::open(qint64 ns)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.append(PanelSimulator::Frame{(ns - m_startNs) / 1000, QByteArray()});
    m_open = m_frames.size() - 1;
}

void SimLog::append(char byte)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_open >= 0 && m_open < m_frames.size())
        m_frames[m_open].bytes.append(byte);
}

void SimLog::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = -1;
}

void SimLog::add(qint64 ns, const QByteArray& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.append(PanelSimulator::Frame{(ns - m_startNs) / 1000, bytes});
}

void SimLog::countBytes(qint64 count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bytesIn += count;
}

void SimLog::countRequest(int command)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_requests[command];
}

QList<PanelSimulator::Frame> SimLog::frames(int command) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (command == PanelSimulator::AnyCommand)
        return m_frames;
    QList<PanelSimulator::Frame> selected;
    for (const PanelSimulator::Frame& frame : m_frames) {
        if (frame.bytes.size() > 1 && byteAt(frame.bytes, 1) == command)
            selected.append(frame);
    }
    return selected;
}

int SimLog::requestCount(int command) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (command != PanelSimulator::AnyCommand)
        return m_requests.value(command);
    int total = 0;
    for (const int count : m_requests)
        total += count;
    return total;
}

qint64 SimLog::bytesReceived() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytesIn;
}

void SimLog::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.clear();
    m_open = -1;
    m_requests.clear();
    m_bytesIn = 0;
}

void SimLog::setTraceHandler(PanelSimulator::TraceHandler handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_trace = std::move(handler);
}

void SimLog::trace(bool incoming, const QByteArray& bytes) const
{
    PanelSimulator::TraceHandler handler;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        handler = m_trace;
    }
    if (handler)
        handler(incoming, bytes);
}

} // namespace panelsim
