#include "fleetquery.h"

#include "journalactivity.h"
#include "pgconnection.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>

#include <algorithm>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("FleetQuery", text);
}

constexpr qint64 DayMs = 86400000;
// More owners than this matching a filter are chosen by a subquery instead of a list.
constexpr int MaxListedOwners = 5000;

// text matched letter for letter by LIKE, whose wildcards "%" and "_" it may hold.
QString likeLiteral(QString text)
{
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('%'), QLatin1String("\\%"))
        .replace(QLatin1Char('_'), QLatin1String("\\_"));
}

// The record's columns with its texts and owner, for a subquery r of chosen records.
const char* const Columns =
    "SELECT r.id, r.site, r.kind, r.code, r.key, encode(r.raw, 'hex'), t.text, d.text, p.text,"
    " b.text, o.subscriber, o.apartment, o.name, u.text, r.stored_from, r.stored_until FROM (%1) r"
    " LEFT JOIN fleet.label t ON t.id = r.text LEFT JOIN fleet.label d ON d.id = r.detail"
    " LEFT JOIN fleet.label p ON p.id = r.port LEFT JOIN fleet.label b ON b.id = r.database"
    " LEFT JOIN fleet.label u ON u.id = r.\"user\" LEFT JOIN fleet.owner o ON o.id = r.owner";

qint64 dayOf(qint64 ms)
{
    return ms >= 0 ? ms / DayMs : -((-ms + DayMs - 1) / DayMs);
}

} // namespace

FleetQuery::FleetQuery(PgConnection& server, const JournalFilter& filter)
    : m_server(server)
    , m_filter(filter)
{
    PgConnection::Rows rows;
    if (!m_server.exec(QStringLiteral("SELECT id, name FROM fleet.site ORDER BY name"), {},
                       &rows)) {
        failed(m_server.errorText());
        return;
    }
    for (const QVariantList& row : rows)
        m_sites.insert(row[0].toInt(), row[1].toString());
    if (filter.since > 0)
        m_terms.append(QStringLiteral("r.id >= %1").arg(filter.since * 16));
    if (filter.until > 0)
        m_terms.append(QStringLiteral("r.id < %1").arg(filter.until * 16));
    if (!filter.sites.isEmpty()) {
        QList<qint64> ids;
        for (const QString& name : filter.sites) {
            const int id = m_sites.key(name, 0);
            if (id == 0) {
                failed(tr("На сервере журнала нет объекта «%1».").arg(name));
                return;
            }
            ids.append(id);
        }
        m_siteList = sqlNumberList(ids);
        m_terms.append(QStringLiteral("r.site IN (%1)").arg(m_siteList));
    }
    if (!filter.kinds.isEmpty()) {
        QList<qint64> kinds;
        for (JournalKind kind : filter.kinds)
            kinds.append(int(kind));
        m_kindList = sqlNumberList(kinds);
        m_terms.append(QStringLiteral("r.kind IN (%1)").arg(m_kindList));
    }
    if (!filter.keys.isEmpty()) {
        QList<qint64> keys;
        for (quint32 key : filter.keys)
            keys.append(key);
        m_terms.append(QStringLiteral("r.key IN (%1)").arg(sqlNumberList(keys)));
    }
    if (!filter.apartment.isEmpty()) {
        const QString owners = ownerIds(QStringLiteral("apartment = $1"), {filter.apartment});
        if (!isValid())
            return;
        m_terms.append(owners.isEmpty() ? QStringLiteral("false")
                                        : QStringLiteral("r.owner IN (%1)").arg(owners));
    }
    const QString text = filter.text.trimmed();
    if (!text.isEmpty()) {
        // Owners are matched on the server; a name in any letter case as its locale folds it.
        const QList<qint64> keys = filter.textKeys();
        const QString owners = ownerIds(
            QStringLiteral("apartment = $1 OR subscriber::text = $1 OR lower(name) LIKE $2"),
            {text, QStringLiteral("%") + likeLiteral(text.toLower()) + QStringLiteral("%")});
        if (!isValid())
            return;
        QStringList either;
        if (!keys.isEmpty())
            either.append(QStringLiteral("r.key IN (%1)").arg(sqlNumberList(keys)));
        if (!owners.isEmpty())
            either.append(QStringLiteral("r.owner IN (%1)").arg(owners));
        m_terms.append(either.isEmpty() ? QStringLiteral("false")
                                        : QLatin1Char('(') + either.join(QStringLiteral(" OR ")) +
                                              QLatin1Char(')'));
    }
}

QString FleetQuery::ownerIds(const QString& condition, const QVariantList& params)
{
    // The owners are found first, so that the records are then found through the owner index
    // (as the keys are through theirs); many owners stay a subquery.
    QString query = QStringLiteral("SELECT id FROM fleet.owner WHERE (%1)").arg(condition);
    if (!m_siteList.isEmpty())
        query += QStringLiteral(" AND site IN (%1)").arg(m_siteList);
    PgConnection::Rows rows;
    if (!m_server.exec(query + QStringLiteral(" LIMIT %1").arg(MaxListedOwners + 1), params,
                       &rows)) {
        failed(m_server.errorText());
        return QString();
    }
    if (rows.size() > MaxListedOwners) {
        QString subquery = query;
        for (int n = params.size(); n >= 1; --n)
            subquery.replace(QStringLiteral("$%1").arg(n),
                             PgConnection::literal(params[n - 1].toString()));
        return subquery;
    }
    QList<qint64> ids;
    for (const QVariantList& row : rows)
        ids.append(row[0].toLongLong());
    return sqlNumberList(ids);
}

bool FleetQuery::failed(const QString& error)
{
    m_error = error;
    return false;
}

QString FleetQuery::where(const QString& more) const
{
    QStringList terms = m_terms;
    if (!more.isEmpty())
        terms.append(more);
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

QStringList FleetQuery::siteNames() const
{
    QStringList names = m_sites.values();
    std::sort(names.begin(), names.end());
    return names;
}

bool FleetQuery::countsByDay() const
{
    return m_filter.text.trimmed().isEmpty() && m_filter.keys.isEmpty() &&
           m_filter.apartment.isEmpty();
}

qint64 FleetQuery::count()
{
    if (!isValid())
        return -1;
    if (!countsByDay()) {
        const QVariant total =
            m_server.value(QStringLiteral("SELECT count(*) FROM fleet.record r") + where());
        if (!total.isValid())
            return failed(m_server.errorText()), -1;
        return total.toLongLong();
    }
    // Every record of the sites: the sites' own counts.
    if (m_filter.since <= 0 && m_filter.until <= 0 && m_kindList.isEmpty()) {
        const QVariant total = m_server.value(
            QStringLiteral("SELECT coalesce(sum(records), 0) FROM fleet.site") +
            (m_siteList.isEmpty() ? QString()
                                  : QStringLiteral(" WHERE id IN (%1)").arg(m_siteList)));
        if (!total.isValid())
            return failed(m_server.errorText()), -1;
        return total.toLongLong();
    }
    // Whole UTC days from the per-day table; the parts of a day at either end from the records.
    const qint64 firstDay = m_filter.since > 0 ? dayOf(m_filter.since + DayMs - 1) : 0;
    const qint64 endDay = m_filter.until > 0 ? dayOf(m_filter.until) : 0;
    QStringList dayTerms{QStringLiteral("true")};
    if (m_filter.since > 0)
        dayTerms.append(QStringLiteral("day >= %1").arg(firstDay));
    if (m_filter.until > 0)
        dayTerms.append(QStringLiteral("day < %1").arg(endDay));
    if (!m_siteList.isEmpty())
        dayTerms.append(QStringLiteral("site IN (%1)").arg(m_siteList));
    if (!m_kindList.isEmpty())
        dayTerms.append(QStringLiteral("kind IN (%1)").arg(m_kindList));
    QStringList parts{QStringLiteral("(SELECT coalesce(sum(count), 0) FROM fleet.record_day"
                                     " WHERE %1)")
                          .arg(dayTerms.join(QStringLiteral(" AND ")))};
    if (m_filter.since > 0)
        parts.append(QStringLiteral("(SELECT count(*) FROM fleet.record r%1)")
                         .arg(where(QStringLiteral("r.id < %1").arg(firstDay * DayMs * 16))));
    if (m_filter.until > 0)
        parts.append(
            QStringLiteral("(SELECT count(*) FROM fleet.record r%1)")
                .arg(where(QStringLiteral("r.id >= %1")
                               .arg((m_filter.since > 0 ? qMax(endDay, firstDay) : endDay) * DayMs *
                                    16))));
    const QVariant total =
        m_server.value(QStringLiteral("SELECT ") + parts.join(QStringLiteral(" + ")));
    if (!total.isValid())
        return failed(m_server.errorText()), -1;
    return total.toLongLong();
}

JournalEntry FleetQuery::entry(const QVariantList& row) const
{
    JournalEntry entry;
    const qint64 id = row[0].toLongLong();
    const int site = row[1].toInt();
    entry.id = id * 65536 + site;
    entry.site = m_sites.value(site);
    JournalRecord& record = entry.record;
    record.received = id >> 4;
    record.kind = JournalKind(row[2].toInt());
    record.code = row[3].isNull() ? -1 : row[3].toInt();
    record.key = row[4].toUInt();
    record.raw = QByteArray::fromHex(row[5].toString().toLatin1());
    record.text = row[6].toString();
    record.detail = row[7].toString();
    record.port = row[8].toString();
    record.database = row[9].toString();
    if (!row[10].isNull())
        record.owner = {row[10].toInt(), row[11].toString(), row[12].toString()};
    record.user = row[13].toString();
    record.stored = !row[15].isNull();
    record.storedFrom = row[14].toLongLong();
    record.storedUntil = row[15].toLongLong();
    return entry;
}

QVector<JournalEntry> FleetQuery::read(const QString& bound, int limit, bool newestFirst)
{
    QVector<JournalEntry> entries;
    if (!isValid())
        return entries;
    const QString order = newestFirst ? QStringLiteral(" ORDER BY r.id DESC, r.site DESC")
                                      : QStringLiteral(" ORDER BY r.id, r.site");
    const QString chosen = QStringLiteral("SELECT * FROM fleet.record r") + where(bound) + order +
                           QStringLiteral(" LIMIT %1").arg(limit);
    PgConnection::Rows rows;
    if (!m_server.exec(QString::fromLatin1(Columns).arg(chosen) + order, {}, &rows)) {
        failed(m_server.errorText());
        return entries;
    }
    entries.reserve(rows.size());
    for (const QVariantList& row : rows)
        entries.append(entry(row));
    return entries;
}

QVector<JournalEntry> FleetQuery::page(qint64 beforeId, int limit)
{
    return read(
        beforeId > 0
            ? QStringLiteral("(r.id, r.site) < (%1, %2)").arg(beforeId >> 16).arg(beforeId & 0xFFFF)
            : QString(),
        limit, true);
}

QVector<JournalEntry> FleetQuery::after(qint64 afterId, int limit)
{
    return read(
        QStringLiteral("(r.id, r.site) > (%1, %2)").arg(afterId >> 16).arg(afterId & 0xFFFF), limit,
        true);
}

bool FleetQuery::forEach(const std::function<bool(const JournalEntry&)>& visit, bool newestFirst)
{
    if (!isValid())
        return false;
    // A cursor in a read-only transaction, so that a million records never sit in memory.
    const QString order = newestFirst ? QStringLiteral(" ORDER BY r.id DESC, r.site DESC")
                                      : QStringLiteral(" ORDER BY r.id, r.site");
    const QString chosen = QStringLiteral("SELECT * FROM fleet.record r") + where();
    if (!m_server.exec(QStringLiteral("BEGIN READ ONLY")) ||
        !m_server.exec(QStringLiteral("DECLARE journal NO SCROLL CURSOR FOR ") +
                       QString::fromLatin1(Columns).arg(chosen) + order)) {
        failed(m_server.errorText());
        m_server.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    bool more = true;
    while (more) {
        PgConnection::Rows rows;
        if (!m_server.exec(QStringLiteral("FETCH 2000 FROM journal"), {}, &rows)) {
            failed(m_server.errorText());
            m_server.exec(QStringLiteral("ROLLBACK"));
            return false;
        }
        more = rows.size() == 2000;
        for (const QVariantList& row : rows) {
            if (!visit(entry(row))) {
                more = false;
                break;
            }
        }
    }
    m_server.exec(QStringLiteral("COMMIT"));
    return true;
}

qint64 FleetQuery::endId(bool newest)
{
    PgConnection::Rows rows;
    if (!m_server.exec(QStringLiteral("SELECT id, site FROM fleet.record ORDER BY id %1, site %1"
                                      " LIMIT 1")
                           .arg(newest ? QLatin1String("DESC") : QLatin1String("ASC")),
                       {}, &rows) ||
        rows.isEmpty())
        return 0;
    return rows[0][0].toLongLong() * 65536 + rows[0][1].toInt();
}

qint64 FleetQuery::version()
{
    const QVariant records =
        m_server.value(QStringLiteral("SELECT coalesce(sum(records), 0) FROM fleet.site"));
    return records.isValid() ? records.toLongLong() : -1;
}

bool FleetQuery::activity(const QDate& first, const QDate& last, JournalActivity* activity,
                          QString* error)
{
    if (!isValid()) {
        *error = m_error;
        return false;
    }
    JournalActivity& chart = *activity;
    chart.setRange(first, last);
    // Grouped on the server by the local day or hour of this computer's time zone.
    const QString zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    const QVariantList params{zone.isEmpty() ? QStringLiteral("UTC") : zone};
    const QString local =
        QStringLiteral("(to_timestamp((r.id >> 4) / 1000.0) AT TIME ZONE $%1)").arg(params.size());
    const QString bucket =
        chart.hourly
            ? QStringLiteral("extract(hour FROM %1)::integer").arg(local)
            : QStringLiteral("(%1::date - DATE '%2')").arg(local, first.toString(Qt::ISODate));
    const QString range = QStringLiteral("r.id >= %1 AND r.id < %2 AND r.kind IN (0, 1)")
                              .arg(chart.bounds.first() * 16)
                              .arg(chart.bounds.last() * 16);
    PgConnection::Rows rows;
    if (!m_server.exec(QStringLiteral("SELECT %1, r.kind, count(*) FROM fleet.record r%2"
                                      " GROUP BY 1, 2")
                           .arg(bucket, where(range)),
                       params, &rows)) {
        *error = m_server.errorText();
        return false;
    }
    for (const QVariantList& row : rows) {
        int n = row[0].toInt();
        // A day of a clock change has 23 or 25 hours: its hours are counted by their start.
        if (chart.hourly && n >= chart.size())
            n = chart.size() - 1;
        if (n < 0 || n >= chart.size())
            continue;
        (row[1].toInt() == int(JournalKind::Pass) ? chart.passes : chart.refusals)[n] +=
            row[2].toInt();
    }
    return true;
}

bool FleetQuery::status(PgConnection& server, qint64 silentMs, qint64 now,
                        QVector<SiteStatus>* sites, QString* error)
{
    PgConnection::Rows rows;
    if (!server.exec(QStringLiteral("SELECT name, last_record >> 4,"
                                    " (extract(epoch FROM last_seen) * 1000)::bigint, panel_seen,"
                                    " backlog, records FROM fleet.site ORDER BY name"),
                     {}, &rows)) {
        *error = server.errorText();
        return false;
    }
    sites->clear();
    for (const QVariantList& row : rows) {
        SiteStatus site;
        site.name = row[0].toString();
        site.lastRecord = row[1].toLongLong();
        site.lastSeen = row[2].toLongLong();
        site.panelSeen = row[3].toLongLong();
        site.backlog = row[4].toLongLong();
        site.records = row[5].toLongLong();
        site.silent = qMax(site.lastRecord, site.panelSeen) < now - silentMs;
        sites->append(site);
    }
    std::stable_sort(sites->begin(), sites->end(), [](const SiteStatus& a, const SiteStatus& b) {
        return a.silent && !b.silent;
    });
    return true;
}
