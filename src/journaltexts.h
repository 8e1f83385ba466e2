#pragma once

#include "journalrecord.h"

#include <QString>
#include <QStringList>

// The texts the journal view shows for a record and its CSV export writes: the events list's
// time format, the key in a chosen key format, the owner and the event with an action's outcome.
// Times are turned into local time with a cached offset, since a million rows are formatted
// for one export.
class JournalTexts
{
public:
    explicit JournalTexts(int keyFormat = 2);

    int keyFormat() const { return m_keyFormat; }

    // "yyyy.MM.dd HH:mm:ss.zzz" in local time, as the events list shows a time of reception.
    QString localTime(qint64 ms);
    // The record's time, or for a record the panel kept while nobody polled it, the interval
    // it happened in: it has no precise time.
    QString time(const JournalRecord& record);
    // Empty without a key.
    QString key(const JournalRecord& record) const;
    // The owner's name with the subscriber number; empty without an owner.
    static QString owner(const JournalOwner& owner);
    // The event's description; for this program's own actions with the outcome and the user.
    static QString event(const JournalRecord& record);

    // The header line of the export: the events list's columns and then the owner's.
    static QStringList csvTitles();
    QStringList csvRow(const JournalRecord& record);

private:
    qint64 offsetAt(qint64 ms);

    int m_keyFormat;
    // The local time's offset from UTC between m_offsetFrom and m_offsetUntil.
    qint64 m_offsetFrom = 0;
    qint64 m_offsetUntil = 0;
    qint64 m_offsetMs = 0;
    qint64 m_day = -1; // the local day (days since 1970-01-01) m_dayText holds for
    QString m_dayText;
};
