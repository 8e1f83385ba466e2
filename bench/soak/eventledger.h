#pragma once

#include "soakwindows.h"

#include <QStringList>
#include <QVector>

// Every event the soak queued into the panel, identified by its key (a sequence number from 1),
// and when the worker delivered it. Its memory is taken at once, so that the ledger does not
// weigh on the memory trend.
class EventLedger
{
public:
    explicit EventLedger(int capacity);

    // The key of the next event to queue; 0 when the ledger is full.
    quint32 next();
    int queued() const { return m_queued; }
    // The worker delivered the event with this key at us.
    void shown(quint32 key, qint64 us);

    struct Verdict
    {
        int once = 0;
        int lostToFault = 0;
        int repeatedByFault = 0; // events shown more than once near a fault
        int repeatedByPause = 0; // the record a pause of polling left unconfirmed
        int lost = 0;            // unexplained
        int repeated = 0;        // unexplained
        int foreign = 0;         // keys the soak never queued
        QStringList examples;    // the first unexplained ones, for the report
    };
    // Compares what was queued with what was shown. A loss is explained by a fault whose span
    // meets the time between the neighbouring events shown; a repeat by a fault whose span meets
    // the time between its showings, or by a pause of polling (one event per pause).
    Verdict judge(const QVector<SoakWindows::Window>& windows, qint64 endUs) const;

private:
    struct Entry
    {
        qint64 firstUs = 0;
        qint64 lastUs = 0;
        int count = 0;
    };
    QVector<Entry> m_entries;
    int m_queued = 0;
    int m_foreign = 0;
};
