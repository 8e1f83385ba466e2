#include "eventledger.h"

#include <QHash>

EventLedger::EventLedger(int capacity)
    : m_entries(capacity + 1)
{}

quint32 EventLedger::next()
{
    if (m_queued + 1 >= m_entries.size())
        return 0;
    return quint32(++m_queued);
}

void EventLedger::shown(quint32 key, qint64 us)
{
    if (key == 0 || int(key) > m_queued) {
        ++m_foreign;
        return;
    }
    Entry& entry = m_entries[int(key)];
    if (entry.count++ == 0)
        entry.firstUs = us;
    entry.lastUs = us;
}

EventLedger::Verdict EventLedger::judge(const QVector<SoakWindows::Window>& windows,
                                        qint64 endUs) const
{
    const auto faultMeets = [&](qint64 from, qint64 to) {
        for (const SoakWindows::Window& window : windows)
            if (window.kind != SoakWindows::Pause && window.covers(from, to, endUs))
                return true;
        return false;
    };
    const auto pauseMeeting = [&](qint64 from, qint64 to) {
        for (int i = 0; i < windows.size(); ++i)
            if (windows[i].kind == SoakWindows::Pause && windows[i].covers(from, to, endUs))
                return i;
        return -1;
    };
    // Events are delivered in the order they were queued, so a lost one fell between the last
    // showing of the one before it and the first showing of the one after it.
    QVector<qint64> before(m_queued + 2, 0);
    for (int key = 1; key <= m_queued; ++key)
        before[key + 1] = m_entries[key].count > 0 ? m_entries[key].lastUs : before[key];
    QVector<qint64> after(m_queued + 2, endUs);
    for (int key = m_queued; key >= 1; --key)
        after[key - 1] = m_entries[key].count > 0 ? m_entries[key].firstUs : after[key];

    Verdict verdict;
    verdict.foreign = m_foreign;
    QHash<int, int> repeatsInPause;
    for (int key = 1; key <= m_queued; ++key) {
        const Entry& entry = m_entries[key];
        if (entry.count == 1) {
            ++verdict.once;
        } else if (entry.count == 0) {
            if (faultMeets(before[key], after[key])) {
                ++verdict.lostToFault;
            } else {
                ++verdict.lost;
                if (verdict.examples.size() < 10)
                    verdict.examples << QStringLiteral("key %1 never shown").arg(key);
            }
        } else if (faultMeets(entry.firstUs, entry.lastUs)) {
            ++verdict.repeatedByFault;
        } else {
            const int pause = pauseMeeting(entry.firstUs, entry.lastUs);
            if (entry.count == 2 && pause >= 0 && repeatsInPause[pause]++ == 0) {
                ++verdict.repeatedByPause;
            } else {
                ++verdict.repeated;
                if (verdict.examples.size() < 10)
                    verdict.examples
                        << QStringLiteral("key %1 shown %2 times").arg(key).arg(entry.count);
            }
        }
    }
    return verdict;
}
