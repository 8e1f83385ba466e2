#include "storedeventtracker.h"

#include <algorithm>

void StoredEventTracker::connectionStarted(qint64 now, qint64 lastSeen)
{
    m_lastSeen = lastSeen;
    m_pollingOff = false;
    m_inBurst = false;
    beginGap(now);
    m_resumed = now;
}

void StoredEventTracker::beginGap(qint64 now)
{
    // The first gap since the panel was last seen empty counts: later ones change nothing.
    if (m_inBurst)
        return;
    m_inBurst = true;
    m_gapStart = now;
}

void StoredEventTracker::pollingStopped(qint64 now)
{
    m_pollingOff = true;
    beginGap(now);
}

void StoredEventTracker::pollingResumed(qint64 now)
{
    m_pollingOff = false;
    m_resumed = now;
}

void StoredEventTracker::linkFailed(qint64 now)
{
    beginGap(now);
}

void StoredEventTracker::statusAnswered(qint64 received)
{
    // Nothing was waiting then, also when the answer was to a poll still under way as polling
    // was switched off; but only an answer after polling resumed shows the kept records gone.
    m_lastSeen = std::max(m_lastSeen, received);
    if (m_inBurst && !m_pollingOff && received >= m_resumed && received >= m_gapStart)
        m_inBurst = false;
}

StoredEventTracker::Mark StoredEventTracker::recordReceived(qint64 received)
{
    Mark mark;
    // A record received before the gap began was reported as it happened.
    if (m_inBurst && received >= m_gapStart) {
        mark.stored = true;
        mark.from = m_lastSeen;
    }
    return mark;
}
