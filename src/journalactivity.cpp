#include "journalactivity.h"

#include <QDateTime>

namespace {

constexpr qint64 HourMs = 3600000;

qint64 startOf(const QDate& day)
{
    return day.startOfDay().toMSecsSinceEpoch();
}

} // namespace

void JournalActivity::setRange(const QDate& first, const QDate& last)
{
    hourly = first == last;
    bounds.clear();
    if (hourly) {
        // A day of a clock change has 23 or 25 hours.
        const qint64 end = startOf(first.addDays(1));
        for (qint64 start = startOf(first); start < end; start += HourMs)
            bounds.append(start);
        bounds.append(end);
    } else {
        for (QDate day = first; day <= last.addDays(1); day = day.addDays(1))
            bounds.append(startOf(day));
    }
    passes.fill(0, bounds.size() - 1);
    refusals.fill(0, bounds.size() - 1);
}
