#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

class JournalQuery;

// The passes and refusals among a filter's records per local day, or per hour of a single
// day: what the journal view's chart draws.
struct JournalActivity
{
    bool hourly = false;
    // Where each day or hour starts, in ms since the epoch, and where the last one ends: one
    // more than the counts.
    QVector<qint64> bounds;
    QVector<int> passes;
    QVector<int> refusals;

    int size() const { return passes.size(); }

    // Counts the records of query from the start of first to the end of last (local days),
    // hour by hour when they are the same day. False with error when the journal could not be
    // read. Each day is counted on the kind index alone, so a year takes a few hundred small
    // reads rather than a pass over every record.
    bool count(QSqlDatabase db, const JournalQuery& query, const QDate& first, const QDate& last,
               QString* error);
};
