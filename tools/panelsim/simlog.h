#pragma once

#include "panelsimulator.h"

#include <QHash>

#include <mutex>

// What the panel received, for tests to read back: every frame as it came (also fragments and
// bad frames), the requests counted per command, the bytes in all; and the trace handler that
// sees frames and answers as they pass. Thread-safe.
namespace panelsim {

class SimLog
{
public:
    // Frame times are counted from here.
    void setStart(qint64 ns);
    // A frame whose bytes follow one by one until it is closed.
    void open(qint64 ns);
    void append(char byte);
    void close();
    // A frame received whole; its bytes are counted apart.
    void add(qint64 ns, const QByteArray& bytes);
    void countBytes(qint64 count);
    void countRequest(int command);

    QList<PanelSimulator::Frame> frames(int command) const;
    int requestCount(int command) const;
    qint64 bytesReceived() const;
    void clear();

    void setTraceHandler(PanelSimulator::TraceHandler handler);
    // Calls the trace handler, without any lock held.
    void trace(bool incoming, const QByteArray& bytes) const;

private:
    mutable std::mutex m_mutex;
    qint64 m_startNs = 0;
    QList<PanelSimulator::Frame> m_frames;
    int m_open = -1;
    QHash<int, int> m_requests;
    qint64 m_bytesIn = 0;
    PanelSimulator::TraceHandler m_trace;
};

} // namespace panelsim
