#include "soakwindows.h"

#include <QMutexLocker>

SoakWindows::SoakWindows()
{
    // Grown in advance, so that the list does not weigh on the memory trend.
    m_windows.reserve(8192);
}

bool SoakWindows::Window::covers(qint64 from, qint64 to, qint64 openEndUs) const
{
    const qint64 last = recoveredUs >= 0 ? recoveredUs : openEndUs;
    return from <= last && to >= fromUs;
}

int SoakWindows::open(Kind kind, qint64 fromUs)
{
    QMutexLocker locker(&m_mutex);
    Window window;
    window.kind = kind;
    window.fromUs = fromUs;
    m_windows.append(window);
    return m_windows.size() - 1;
}

void SoakWindows::end(int id, qint64 us)
{
    QMutexLocker locker(&m_mutex);
    if (id >= 0 && id < m_windows.size() && m_windows[id].endUs < 0)
        m_windows[id].endUs = us;
}

void SoakWindows::pollAnswered(qint64 us)
{
    QMutexLocker locker(&m_mutex);
    // Only the newest windows can still be waiting.
    for (int i = m_windows.size() - 1; i >= 0 && i >= m_windows.size() - 64; --i) {
        Window& window = m_windows[i];
        if (window.endUs >= 0 && window.recoveredUs < 0 && window.endUs <= us)
            window.recoveredUs = us;
    }
}

QVector<SoakWindows::Window> SoakWindows::all() const
{
    QMutexLocker locker(&m_mutex);
    return m_windows;
}

double SoakWindows::recoveryMs(const Window& fault, const QVector<Window>& windows)
{
    if (fault.endUs < 0 || fault.recoveredUs < 0)
        return -1;
    // No poll can be answered while polling is off or the adapter is out, and one may have
    // begun inside the other: step over each until the moment is free of both.
    qint64 from = fault.endUs;
    for (bool moved = true; moved;) {
        moved = false;
        for (const Window& other : windows)
            if ((other.kind == Pause || other.kind == Unplug) && other.fromUs <= from &&
                from < other.endUs && other.endUs <= fault.recoveredUs) {
                from = other.endUs;
                moved = true;
            }
    }
    return (fault.recoveredUs - from) / 1000.0;
}
