#include "fleetforwarder.h"

#include "journalfile.h"
#include "pgconnection.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

// Records a writer may commit after newer ones (two writers, a short hold) are sent again
// when nothing else waits: the server keeps each once.
constexpr qint64 LateMarginMs = 60000;
constexpr int LateCheckMs = 30000;
// How often the backlog and the panel's last sighting are reported while records flow.
constexpr int ReportMs = 2000;
constexpr int IdleReportMs = 30000;
// How often the local journal is asked for new records.
constexpr int PollMs = 200;

qint64 monthOf(qint64 id)
{
    const QDate day = QDateTime::fromMSecsSinceEpoch(id >> 4, Qt::UTC).date();
    return day.year() * 12 + day.month();
}

QString number(const QVariant& value)
{
    return value.isNull() ? QStringLiteral("NULL") : QString::number(value.toLongLong());
}

} // namespace

struct FleetForwarder::Batch
{
    QStringList rows; // the records as SQL values
    QSet<qint64> labels;
    QSet<qint64> owners;
    QList<qint64> monthIds;
    qint64 last = 0;
};

FleetForwarder::FleetForwarder(const QString& journalFile, const QString& site,
                               const QString& conninfo, QObject* parent)
    : QThread(parent)
    , m_journalFile(journalFile)
    , m_site(site)
    , m_conninfo(conninfo)
{}

FleetForwarder::~FleetForwarder()
{
    stop();
}

void FleetForwarder::stop()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_wake.wakeAll();
    }
    wait();
}

bool FleetForwarder::stopping()
{
    QMutexLocker lock(&m_mutex);
    return m_stop;
}

bool FleetForwarder::pause(int ms)
{
    QMutexLocker lock(&m_mutex);
    if (!m_stop)
        m_wake.wait(&m_mutex, ulong(ms));
    return !m_stop;
}

bool FleetForwarder::openJournal(JournalFile& journal, QString* error)
{
    if (journal.isOpen())
        return true;
    if (journal.openForReading() == JournalFile::State::ReadOnly)
        return true;
    *error = journal.errorText();
    return false;
}

qint64 FleetForwarder::waiting(JournalFile& journal)
{
    if (!journal.isOpen())
        return -1;
    QSqlQuery query(journal.database());
    query.prepare(QStringLiteral("SELECT count(*) FROM record WHERE id > :after"));
    query.bindValue(QStringLiteral(":after"), m_acknowledged);
    if (!query.exec() || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

bool FleetForwarder::connectServer(PgConnection& server, JournalFile& journal, QString* error)
{
    m_labels.clear();
    m_owners.clear();
    m_months.clear();
    if (!server.open(m_conninfo)) {
        *error = server.errorText();
        return false;
    }
    PgConnection::Rows rows;
    if (!server.exec(QStringLiteral("SELECT id, last_record, records FROM fleet.site"
                                    " WHERE name = $1"),
                     {m_site}, &rows)) {
        *error = server.errorText();
        server.close();
        return false;
    }
    if (rows.isEmpty()) {
        *error = tr("на сервере нет объекта «%1», или роль подключения не его (объект заводит "
                    "администратор: ostrovel-cli fleet init … --site %1)")
                     .arg(m_site);
        server.close();
        return false;
    }
    m_siteId = rows[0][0].toInt();
    m_acknowledged = rows[0][1].toLongLong();
    m_cursor = m_acknowledged;
    // A record committed late, beyond the margin, leaves the server with fewer of the site's
    // records than the journal holds up to the same point: everything is sent again then, and
    // the server keeps what it lacked.
    const qint64 held = rows[0][2].toLongLong();
    QSqlQuery query(journal.database());
    query.prepare(QStringLiteral("SELECT count(*) FROM record WHERE id <= :last"));
    query.bindValue(QStringLiteral(":last"), m_acknowledged);
    if (query.exec() && query.next() && query.value(0).toLongLong() > held)
        m_cursor = 0;
    return true;
}

int FleetForwarder::sendNext(PgConnection& server, JournalFile& journal, qint64 from,
                             QString* error)
{
    QSqlQuery query(journal.database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, stored_from, stored_until, key, text, detail, port,"
                                 " database, owner, user, kind, code, raw FROM record"
                                 " WHERE id > :from ORDER BY id LIMIT %1")
                      .arg(BatchSize));
    query.bindValue(QStringLiteral(":from"), from);
    if (!query.exec()) {
        *error =
            tr("не удалось прочитать журнал %1: %2").arg(m_journalFile, query.lastError().text());
        journal.close();
        return -1;
    }
    Batch batch;
    const QString site = QString::number(m_siteId);
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        QString row = QLatin1Char('(') + QString::number(id);
        for (int column : {1, 2})
            row += QLatin1Char(',') + number(query.value(column));
        row += QLatin1Char(',') + site;
        for (int column = 3; column <= 11; ++column)
            row += QLatin1Char(',') + number(query.value(column));
        const QByteArray raw = query.value(12).toByteArray();
        row += query.isNull(12)
                   ? QStringLiteral(",NULL)")
                   : QStringLiteral(",'\\x%1'::bytea)").arg(QString::fromLatin1(raw.toHex()));
        batch.rows.append(row);
        for (int column : {4, 5, 6, 7, 9}) {
            if (!query.isNull(column) && !m_labels.contains(query.value(column).toLongLong()))
                batch.labels.insert(query.value(column).toLongLong());
        }
        if (!query.isNull(8) && !m_owners.contains(query.value(8).toLongLong()))
            batch.owners.insert(query.value(8).toLongLong());
        const qint64 month = monthOf(id);
        if (!m_months.contains(month)) {
            m_months.insert(month);
            batch.monthIds.append(id);
        }
        batch.last = id;
    }
    if (query.lastError().isValid()) {
        *error =
            tr("не удалось прочитать журнал %1: %2").arg(m_journalFile, query.lastError().text());
        journal.close();
        return -1;
    }
    query.finish();
    if (batch.rows.isEmpty())
        return 0;
    if (!send(server, journal, batch, error))
        return -1;
    m_cursor = qMax(m_cursor, batch.last);
    m_acknowledged = qMax(m_acknowledged, batch.last);
    return batch.rows.size();
}

bool FleetForwarder::send(PgConnection& server, JournalFile& journal, const Batch& batch,
                          QString* error)
{
    const auto fail = [&](const QString& text) {
        *error = text;
        server.exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    // Partitions are made outside the batch's transaction, which they would lock for others.
    if (!batch.monthIds.isEmpty()) {
        QStringList ids;
        for (qint64 id : batch.monthIds)
            ids.append(QString::number(id));
        if (!server.exec(QStringLiteral("SELECT fleet.prepare_months($1::bigint[])"),
                         {QLatin1Char('{') + ids.join(QLatin1Char(',')) + QLatin1Char('}')}))
            return fail(server.errorText());
    }
    if (!server.exec(QStringLiteral("BEGIN")))
        return fail(server.errorText());
    const QString site = QString::number(m_siteId);
    if (!batch.labels.isEmpty()) {
        QSqlQuery labels(journal.database());
        QStringList ids;
        for (qint64 id : batch.labels)
            ids.append(QString::number(id));
        labels.exec(QStringLiteral("SELECT id, text FROM label WHERE id IN (%1)")
                        .arg(ids.join(QLatin1Char(','))));
        QStringList values;
        QVariantList params;
        while (labels.next()) {
            values.append(QStringLiteral("(%1,$%2::integer,$%3)")
                              .arg(site)
                              .arg(params.size() + 1)
                              .arg(params.size() + 2));
            params << labels.value(0) << labels.value(1);
        }
        if (!values.isEmpty() &&
            !server.exec(QStringLiteral("INSERT INTO fleet.label (site, id, text) VALUES ") +
                             values.join(QLatin1Char(',')) +
                             QStringLiteral(" ON CONFLICT DO NOTHING"),
                         params))
            return fail(server.errorText());
    }
    if (!batch.owners.isEmpty()) {
        QSqlQuery owners(journal.database());
        QStringList ids;
        for (qint64 id : batch.owners)
            ids.append(QString::number(id));
        owners.exec(QStringLiteral("SELECT id, subscriber, apartment, name FROM owner"
                                   " WHERE id IN (%1)")
                        .arg(ids.join(QLatin1Char(','))));
        QStringList values;
        QVariantList params;
        while (owners.next()) {
            const int n = params.size();
            values.append(QStringLiteral("(%1,$%2::integer,$%3::integer,$%4,$%5)")
                              .arg(site)
                              .arg(n + 1)
                              .arg(n + 2)
                              .arg(n + 3)
                              .arg(n + 4));
            params << owners.value(0) << owners.value(1) << owners.value(2) << owners.value(3);
        }
        if (!values.isEmpty() &&
            !server.exec(QStringLiteral("INSERT INTO fleet.owner (site, id, subscriber,"
                                        " apartment, name) VALUES ") +
                             values.join(QLatin1Char(',')) +
                             QStringLiteral(" ON CONFLICT DO NOTHING"),
                         params))
            return fail(server.errorText());
    }
    // Only numbers and hexadecimal bytes: the values are written into the statement itself.
    if (!server.exec(QStringLiteral("INSERT INTO fleet.record (id, stored_from, stored_until,"
                                    " site, key, text, detail, port, database, owner, \"user\","
                                    " kind, code, raw) VALUES ") +
                     batch.rows.join(QLatin1Char(',')) +
                     QStringLiteral(" ON CONFLICT DO NOTHING")) ||
        !server.exec(QStringLiteral("COMMIT")))
        return fail(server.errorText());
    m_labels.unite(batch.labels);
    m_owners.unite(batch.owners);
    return true;
}

bool FleetForwarder::report(PgConnection& server, JournalFile& journal, QString* error)
{
    qint64 sighting = 0;
    QSqlQuery query(journal.database());
    if (query.exec(QStringLiteral("SELECT max(time) FROM sighting")) && query.next())
        sighting = query.value(0).toLongLong();
    const qint64 backlog = qMax<qint64>(0, waiting(journal));
    if (!server.exec(QStringLiteral("SELECT fleet.report($1, $2)"), {backlog, sighting})) {
        *error = server.errorText();
        return false;
    }
    emit forwarded(m_acknowledged, backlog);
    return true;
}

void FleetForwarder::run()
{
    JournalFile journal(m_journalFile);
    PgConnection server;
    const QString where = PgConnection::withoutPassword(m_conninfo);
    int delay = m_firstPause;
    bool everUp = false;
    QString lastError;
    QElapsedTimer sinceReport;
    QElapsedTimer sinceLateCheck;
    while (!stopping()) {
        QString error;
        if (!QFileInfo::exists(m_journalFile)) {
            // Nothing to send before the first event makes the journal.
            if (!pause(PollMs * 5))
                break;
            continue;
        }
        bool ok = openJournal(journal, &error);
        if (ok && !server.isOpen()) {
            ok = connectServer(server, journal, &error);
            if (ok) {
                const qint64 count = waiting(journal);
                emit message(everUp ? tr("Пересылка журнала на сервер возобновлена (объект %1), "
                                         "ждут отправки записей: %2.")
                                          .arg(m_site)
                                          .arg(count)
                                    : tr("Пересылка журнала на сервер %1 (объект %2), ждут "
                                         "отправки записей: %3.")
                                          .arg(where, m_site)
                                          .arg(count));
                everUp = true;
                lastError.clear();
                delay = m_firstPause;
                sinceReport.invalidate();
                sinceLateCheck.start();
            }
        }
        int sent = 0;
        if (ok) {
            sent = sendNext(server, journal, m_cursor, &error);
            ok = sent >= 0;
        }
        if (ok && sent < BatchSize && sinceLateCheck.hasExpired(LateCheckMs)) {
            // Nothing else waits: what was committed late within the margin goes now.
            const int late =
                sendNext(server, journal, qMax<qint64>(0, m_cursor - LateMarginMs * 16), &error);
            ok = late >= 0;
            sinceLateCheck.start();
        }
        if (ok && (!sinceReport.isValid() ||
                   sinceReport.hasExpired(sent > 0 ? ReportMs : IdleReportMs))) {
            ok = report(server, journal, &error);
            sinceReport.start();
        }
        if (ok) {
            if (sent < BatchSize && !pause(PollMs))
                break;
            continue;
        }
        // Stopped: say so, and again whenever the reason or the number waiting changes.
        server.close();
        const qint64 count = waiting(journal);
        const QString said = error + QLatin1Char('/') + QString::number(count);
        if (said != lastError) {
            while (error.endsWith(QLatin1Char('.')))
                error.chop(1);
            emit message(
                tr("Пересылка журнала на сервер %1 прервана: %2. Ждут отправки "
                   "записей: %3; повтор через %4 с.")
                    .arg(where, error, count < 0 ? tr("неизвестно") : QString::number(count))
                    .arg((delay + 999) / 1000));
            lastError = said;
        }
        if (!pause(delay))
            break;
        delay = qMin(delay * 2, MaxPauseMs);
    }
    if (server.isOpen()) {
        QString error;
        report(server, journal, &error);
    }
}
