#include "journalquery.h"

#include "journalactivity.h"
#include "journalfile.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

qint64 singleId(QSqlDatabase db, const char* statement)
{
    QSqlQuery query(db);
    if (!query.exec(QString::fromLatin1(statement)) || !query.next())
        return 0;
    return query.value(0).toLongLong();
}

} // namespace

JournalQuery::JournalQuery(QSqlDatabase db, const JournalFilter& filter)
    : m_db(db)
    , m_filter(filter)
{
    QStringList terms;
    if (filter.since > 0) {
        terms.append(QStringLiteral("r.id >= :since"));
        m_values.insert(QStringLiteral(":since"), JournalFile::firstIdAt(filter.since));
    }
    if (filter.until > 0) {
        terms.append(QStringLiteral("r.id < :until"));
        m_values.insert(QStringLiteral(":until"), JournalFile::firstIdAt(filter.until));
    }
    if (!filter.kinds.isEmpty()) {
        QList<qint64> kinds;
        for (JournalKind kind : filter.kinds)
            kinds.append(int(kind));
        terms.append(QStringLiteral("r.kind IN (%1)").arg(sqlNumberList(kinds)));
    }
    if (!filter.keys.isEmpty()) {
        QList<qint64> keys;
        for (quint32 key : filter.keys)
            keys.append(key);
        terms.append(QStringLiteral("r.key IN (%1)").arg(sqlNumberList(keys)));
    }
    if (!filter.apartment.isEmpty()) {
        terms.append(
            QStringLiteral("r.owner IN (SELECT id FROM owner WHERE apartment = :apartment)"));
        m_values.insert(QStringLiteral(":apartment"), filter.apartment);
    }
    const QString text = filter.text.trimmed();
    if (!text.isEmpty())
        terms.append(ownerCondition());
    m_condition = terms.isEmpty() ? QStringLiteral("1") : terms.join(QStringLiteral(" AND "));
}

QString JournalQuery::ownerCondition()
{
    const QString text = m_filter.text.trimmed();
    const QList<qint64> keys = m_filter.textKeys();

    // Owners are few beside the records, so they are matched here, where a name can be
    // compared in any letter case, Cyrillic included.
    QList<qint64> owners;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, subscriber, apartment, name FROM owner")))
        m_error = query.lastError().text();
    while (query.next()) {
        if (query.value(2).toString() == text || query.value(1).toString() == text ||
            query.value(3).toString().contains(text, Qt::CaseInsensitive))
            owners.append(query.value(0).toLongLong());
    }

    QStringList alternatives;
    if (!keys.isEmpty())
        alternatives.append(QStringLiteral("r.key IN (%1)").arg(sqlNumberList(keys)));
    if (!owners.isEmpty())
        alternatives.append(QStringLiteral("r.owner IN (%1)").arg(sqlNumberList(owners)));
    if (alternatives.isEmpty())
        return QStringLiteral("0");
    return QLatin1Char('(') + alternatives.join(QStringLiteral(" OR ")) + QLatin1Char(')');
}

void JournalQuery::bindTo(QSqlQuery& query) const
{
    for (auto value = m_values.cbegin(); value != m_values.cend(); ++value)
        query.bindValue(value.key(), value.value());
}

QString JournalQuery::plainColumns()
{
    return QStringLiteral("SELECT r.id, r.kind, r.code, r.key, r.raw, r.text, r.detail, r.port,"
                          " r.database, r.owner, r.user, r.stored_from, r.stored_until"
                          " FROM record r");
}

JournalEntry JournalQuery::plainEntry(const QSqlQuery& query)
{
    JournalEntry entry;
    entry.id = query.value(0).toLongLong();
    JournalRecord& record = entry.record;
    record.received = JournalFile::timeOfId(entry.id);
    record.kind = JournalKind(query.value(1).toInt());
    record.code = query.isNull(2) ? -1 : query.value(2).toInt();
    record.key = query.value(3).toUInt();
    record.raw = query.value(4).toByteArray();
    record.text = label(query.value(5));
    record.detail = label(query.value(6));
    record.port = label(query.value(7));
    record.database = label(query.value(8));
    if (!query.isNull(9))
        record.owner = owner(query.value(9).toLongLong());
    record.user = label(query.value(10));
    record.stored = !query.isNull(12);
    record.storedFrom = query.value(11).toLongLong();
    record.storedUntil = query.value(12).toLongLong();
    return entry;
}

QString JournalQuery::label(const QVariant& id)
{
    if (id.isNull())
        return QString();
    const qint64 key = id.toLongLong();
    const auto known = m_labels.constFind(key);
    if (known != m_labels.constEnd())
        return *known;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT text FROM label WHERE id = :id"));
    query.bindValue(QStringLiteral(":id"), key);
    const QString text = query.exec() && query.next() ? query.value(0).toString() : QString();
    m_labels.insert(key, text);
    return text;
}

JournalOwner JournalQuery::owner(qint64 id)
{
    const auto known = m_owners.constFind(id);
    if (known != m_owners.constEnd())
        return *known;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT subscriber, apartment, name FROM owner WHERE id = :id"));
    query.bindValue(QStringLiteral(":id"), id);
    JournalOwner owner;
    if (query.exec() && query.next())
        owner = {query.value(0).toInt(), query.value(1).toString(), query.value(2).toString()};
    m_owners.insert(id, owner);
    return owner;
}

qint64 JournalQuery::count()
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT count(*) FROM record r WHERE ") + m_condition);
    bindTo(query);
    if (!query.exec() || !query.next()) {
        m_error = query.lastError().text();
        return -1;
    }
    return query.value(0).toLongLong();
}

QVector<JournalEntry> JournalQuery::page(qint64 beforeId, int limit)
{
    return newestFirst(beforeId > 0 ? QStringLiteral(" AND r.id < :bound") : QString(), beforeId,
                       limit);
}

QVector<JournalEntry> JournalQuery::after(qint64 afterId, int limit)
{
    return newestFirst(QStringLiteral(" AND r.id > :bound"), afterId, limit);
}

QVector<JournalEntry> JournalQuery::newestFirst(const QString& bound, qint64 boundId, int limit)
{
    QVector<JournalEntry> entries;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(plainColumns() + QStringLiteral(" WHERE ") + m_condition + bound +
                  QStringLiteral(" ORDER BY r.id DESC LIMIT %1").arg(limit));
    bindTo(query);
    if (!bound.isEmpty())
        query.bindValue(QStringLiteral(":bound"), boundId);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return entries;
    }
    entries.reserve(limit);
    while (query.next())
        entries.append(plainEntry(query));
    // A page that cannot be read ends the loop like the last record does.
    if (query.lastError().isValid())
        m_error = query.lastError().text();
    return entries;
}

qint64 JournalQuery::oldestId(QSqlDatabase db)
{
    return singleId(db, "SELECT min(id) FROM record");
}

qint64 JournalQuery::newestId(QSqlDatabase db)
{
    return singleId(db, "SELECT max(id) FROM record");
}

bool JournalQuery::forEach(const std::function<bool(const JournalEntry&)>& visit, bool newestFirst)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(
        plainColumns() + QStringLiteral(" WHERE ") + m_condition +
        (newestFirst ? QStringLiteral(" ORDER BY r.id DESC") : QStringLiteral(" ORDER BY r.id")));
    bindTo(query);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    while (query.next()) {
        if (!visit(plainEntry(query)))
            break;
    }
    if (query.lastError().isValid()) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

qint64 JournalQuery::version()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA data_version")) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

bool JournalQuery::activity(const QDate& first, const QDate& last, JournalActivity* activity,
                            QString* error)
{
    activity->setRange(first, last);
    // Each day is counted on the kind index alone, so a year takes a few hundred small reads
    // rather than a pass over every record.
    QSqlQuery counter(m_db);
    counter.setForwardOnly(true);
    counter.prepare(QStringLiteral("SELECT count(*) FROM record r WHERE r.kind = :chart_kind"
                                   " AND r.id >= :chart_from AND r.id < :chart_to AND ") +
                    condition());
    bindTo(counter);
    const QVector<qint64>& bounds = activity->bounds;
    for (int n = 0; n + 1 < bounds.size(); ++n) {
        counter.bindValue(QStringLiteral(":chart_from"), JournalFile::firstIdAt(bounds[n]));
        counter.bindValue(QStringLiteral(":chart_to"), JournalFile::firstIdAt(bounds[n + 1]));
        for (JournalKind kind : {JournalKind::Pass, JournalKind::Refusal}) {
            counter.bindValue(QStringLiteral(":chart_kind"), int(kind));
            if (!counter.exec() || !counter.next()) {
                *error = counter.lastError().text();
                return false;
            }
            (kind == JournalKind::Pass ? activity->passes : activity->refusals)[n] =
                counter.value(0).toInt();
            counter.finish();
        }
    }
    return true;
}
