#pragma once

#include <QMutex>
#include <QVector>

#include <chrono>

// Microseconds on the steady clock, the one time base of every thread of the soak.
inline qint64 soakNowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Spans of time in which an event may be lost or repeated for a reason the soak made itself:
// an injected fault, a pause of polling, a port the link had to open again. Each span runs from
// its start over its end to the first poll answer after that end, its recovery. Thread-safe:
// the simulator's thread ends the faults it sees on the line.
class SoakWindows
{
public:
    enum Kind {
        Silence,
        HeaderCrc,
        DataCrc,
        CutAnswer,
        ShortData,
        Delay,
        Unplug,
        FaultKinds,
        Pause = FaultKinds,
        Reopen,
        Kinds
    };

    struct Window
    {
        Kind kind = Silence;
        qint64 fromUs = 0;
        qint64 endUs = -1;       // -1 while the cause lasts
        qint64 recoveredUs = -1; // -1 until a poll is answered after the end
        // The time a loss or a repeat may fall into.
        bool covers(qint64 fromUs, qint64 toUs, qint64 openEndUs) const;
    };

    SoakWindows();
    int open(Kind kind, qint64 fromUs);
    void end(int id, qint64 us);
    // A poll was answered at us: every ended window waiting for it has recovered.
    void pollAnswered(qint64 us);
    QVector<Window> all() const;

    // Milliseconds from the end of a fault to the next poll answered, or -1 when none was. A
    // fault that ended while polling was switched off, or while the adapter was unplugged,
    // counts from when polling was on again and the adapter back.
    static double recoveryMs(const Window& fault, const QVector<Window>& windows);

private:
    mutable QMutex m_mutex;
    QVector<Window> m_windows;
};
