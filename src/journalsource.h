#pragma once

#include "journalrecord.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVector>

#include <functional>

struct JournalActivity;

// Which journal records to show: the filters of the journal view and of
// `ostrovel-cli journal`. Empty members do not filter.
struct JournalFilter
{
    qint64 since = 0;         // ms since the epoch, inclusive; 0: from the first record
    qint64 until = 0;         // ms since the epoch, exclusive; 0: up to the last
    QList<JournalKind> kinds; // any of these
    // A key (as shown in keyFormat, or its decimal code), an owner's apartment or subscriber
    // number, or part of an owner's name, in any letter case.
    QString text;
    int keyFormat = 2;
    QList<quint32> keys; // any of these key codes
    QString apartment;   // exactly this apartment
    QStringList sites;   // a fleet journal's records of these sites only

    // The key codes text may stand for: a key as shown in keyFormat, or a decimal code.
    QList<qint64> textKeys() const;
};

// Numbers as an SQL list, "1,2,3", for IN (…) and array literals.
QString sqlNumberList(const QList<qint64>& numbers);

// A record read back from a journal.
struct JournalEntry
{
    qint64 id = 0;        // the record's place in its journal's order
    JournalRecord record; // received is the time the record's id carries
    QString site;         // the site a fleet journal's record came from
};

// One filter applied to a journal, the local file or a fleet's server: the matching records
// counted, read newest first a page at a time or all in order, and counted per day for the
// chart. Used in the thread that made it.
class JournalSource
{
public:
    virtual ~JournalSource();

    // False when the journal could not be read; errorText() says why.
    virtual bool isValid() const = 0;
    virtual QString errorText() const = 0;

    // The number of matching records; -1 when the reading failed.
    virtual qint64 count() = 0;
    // Up to limit matching records before the one with id beforeId (0: from the newest),
    // newest first. Empty at the end; short and !isValid() when the reading failed.
    virtual QVector<JournalEntry> page(qint64 beforeId, int limit) = 0;
    // Up to limit matching records after afterId, newest first: what was written since.
    virtual QVector<JournalEntry> after(qint64 afterId, int limit) = 0;
    // Every matching record, oldest first (or newest first), until visit returns false.
    // False when the reading failed.
    virtual bool forEach(const std::function<bool(const JournalEntry&)>& visit,
                         bool newestFirst = false) = 0;
    // The id of the journal's oldest or newest record, whatever the filter; 0 when none.
    virtual qint64 firstId() = 0;
    virtual qint64 lastId() = 0;
    // The first id a record received at ms can have.
    virtual qint64 idAt(qint64 ms) const = 0;
    // The time a record's id carries.
    virtual qint64 timeOf(qint64 id) const = 0;
    // A number that changes whenever records were added; -1 when unknown.
    virtual qint64 version() = 0;
    // Passes and refusals among the matching records per local day from first to last, per
    // hour when they are one day. False with error.
    virtual bool activity(const QDate& first, const QDate& last, JournalActivity* activity,
                          QString* error) = 0;
};
