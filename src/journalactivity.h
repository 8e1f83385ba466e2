#pragma once

#include <QDate>
#include <QVector>

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

    // Days from the start of first to the end of last (local days), or the hours of that day
    // when they are the same one, each counted as nothing yet.
    void setRange(const QDate& first, const QDate& last);
};
