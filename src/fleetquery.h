#pragma once

#include "journalsource.h"

#include <QHash>
#include <QVariantList>

class PgConnection;

// One filter applied to the fleet journal on a PostgreSQL server: the same reading as the
// local journal's (count, pages newest first, everything in order, the chart), with each
// record's site. A record's id here is its local id × 65536 + its site's number, which orders
// the records of all sites by time and tells two of one moment apart. Counts of whole days
// come from the per-day table, so a year of a hundred sites is counted without reading it.
// Used in the thread that opened the connection.
class FleetQuery : public JournalSource
{
public:
    FleetQuery(PgConnection& server, const JournalFilter& filter);

    bool isValid() const override { return m_error.isEmpty(); }
    QString errorText() const override { return m_error; }
    qint64 count() override;
    QVector<JournalEntry> page(qint64 beforeId, int limit) override;
    QVector<JournalEntry> after(qint64 afterId, int limit) override;
    bool forEach(const std::function<bool(const JournalEntry&)>& visit,
                 bool newestFirst = false) override;
    qint64 firstId() override { return endId(false); }
    qint64 lastId() override { return endId(true); }
    qint64 idAt(qint64 ms) const override { return ms * 16 * 65536; }
    qint64 timeOf(qint64 id) const override { return id >> 20; }
    // The number of records the server holds of all sites.
    qint64 version() override;
    bool activity(const QDate& first, const QDate& last, JournalActivity* activity,
                  QString* error) override;

    // The names of the sites the server knows, in order.
    QStringList siteNames() const;

    // A site as `fleet status` shows it.
    struct SiteStatus
    {
        QString name;
        qint64 lastRecord = 0; // ms of its newest record; 0: none yet
        qint64 lastSeen = 0;   // ms of its recorder's last report; 0: never
        qint64 panelSeen = 0;  // ms its panel was last seen with nothing waiting; 0: unknown
        qint64 backlog = 0;    // records waiting at the site when it last reported
        qint64 records = 0;
        bool silent = false; // no record and no sighting for the given time
    };
    // Every site, the silent ones (nothing for silentMs before now) first. False with error.
    static bool status(PgConnection& server, qint64 silentMs, qint64 now,
                       QVector<SiteStatus>* sites, QString* error);

private:
    QString where(const QString& more = QString()) const;
    QVector<JournalEntry> read(const QString& bound, int limit, bool newestFirst);
    JournalEntry entry(const QVariantList& row) const;
    qint64 endId(bool newest);
    bool failed(const QString& error);
    // The ids of the owners matching condition (with params $1…), as a list for "IN (…)", or
    // a subquery when they are many; empty when none.
    QString ownerIds(const QString& condition, const QVariantList& params);
    // The filter on the per-day table's columns: site and kind only.
    bool countsByDay() const;

    PgConnection& m_server;
    JournalFilter m_filter;
    QHash<int, QString> m_sites;
    QStringList m_terms; // the filter as SQL over fleet.record r
    QString m_siteList;  // the chosen sites' numbers; empty: all
    QString m_kindList;
    QString m_error;
};
