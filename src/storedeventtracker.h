#pragma once

#include <QtGlobal>

// Tells the records the panel kept while nobody polled it from those it reports as they
// happen. The panel keeps its records in order and hands them over one per poll; a poll
// answered with the status byte alone means none is waiting. After polling was off, the link
// was down or the connection has just started, the records received until the first
// status-only answer were kept by the panel: each happened after the panel was last seen with
// nothing waiting and before it was received. Times are ms since the epoch; the inputs may
// arrive out of order by a little, as the worker's answers and the requesters' switches come
// by different roads, so each is judged by its time.
class StoredEventTracker
{
public:
    struct Mark
    {
        bool stored = false;
        qint64 from = 0; // the record happened after this; 0 when unknown
    };

    // A connection started at now; lastSeen is when the panel on that port was last seen with
    // nothing waiting (0: unknown).
    void connectionStarted(qint64 now, qint64 lastSeen);
    // Polling switched off (a chain runs) or on again.
    void pollingStopped(qint64 now);
    void pollingResumed(qint64 now);
    // A request or a poll failed: the panel may have kept records since.
    void linkFailed(qint64 now);

    // A poll answered with the status byte alone at received.
    void statusAnswered(qint64 received);
    // A record received at received: kept by the panel, or reported as it happened.
    Mark recordReceived(qint64 received);

    // When the panel was last seen with nothing waiting; 0 when unknown.
    qint64 lastSeen() const { return m_lastSeen; }

private:
    void beginGap(qint64 now);

    qint64 m_lastSeen = 0;
    bool m_inBurst = false;
    qint64 m_gapStart = 0;
    bool m_pollingOff = false;
    qint64 m_resumed = 0;
};
