#include "journalactivity.h"

#include "journalfile.h"
#include "journalquery.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr qint64 HourMs = 3600000;

qint64 startOf(const QDate& day)
{
    return QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
}

} // namespace

bool JournalActivity::count(QSqlDatabase db, const JournalQuery& query, const QDate& first,
                            const QDate& last, QString* error)
{
    hourly = first == last;
    bounds.clear();
    passes.clear();
    refusals.clear();
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

    QSqlQuery counter(db);
    counter.setForwardOnly(true);
    counter.prepare(QStringLiteral("SELECT count(*) FROM record r WHERE r.kind = :chart_kind"
                                   " AND r.id >= :chart_from AND r.id < :chart_to AND ") +
                    query.condition());
    query.bindTo(counter);
    for (int n = 0; n + 1 < bounds.size(); ++n) {
        counter.bindValue(QStringLiteral(":chart_from"), JournalFile::firstIdAt(bounds[n]));
        counter.bindValue(QStringLiteral(":chart_to"), JournalFile::firstIdAt(bounds[n + 1]));
        for (JournalKind kind : {JournalKind::Pass, JournalKind::Refusal}) {
            counter.bindValue(QStringLiteral(":chart_kind"), int(kind));
            if (!counter.exec() || !counter.next()) {
                *error = counter.lastError().text();
                return false;
            }
            (kind == JournalKind::Pass ? passes : refusals).append(counter.value(0).toInt());
            counter.finish();
        }
    }
    return true;
}
