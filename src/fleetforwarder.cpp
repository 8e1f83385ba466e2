#include "fleetforwarder.h"

#include "journalfile.h"
#include "journalsource.h"
#include "pgconnection.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

namespace {

// How often the backlog and the panel's last sighting are reported when no batch tells them.
constexpr int IdleReportMs = 30000;
// How often the local journal is asked for new records.
constexpr int PollMs = 200;

// The columns of a record as the journal's query returns them.
enum Column {
    Seq,
    Id,
    StoredFrom,
    StoredUntil,
    Key,
    Text,
    Detail,
    Port,
    Database,
    Owner,
    User,
    Kind,
    Code,
    Raw
};
constexpr int LabelColumns[] = {Text, Detail, Port, Database, User};

qint64 monthOf(qint64 id)
{
    const QDate day = QDateTime::fromMSecsSinceEpoch(id >> 4, Qt::UTC).date();
    return day.year() * 12 + day.month();
}

// The statement that stores a batch: the records in arrays, one a column ($2…$14, the bytes in
// hexadecimal), with the site ($1), how far they reach in the journal ($15, $16), and what the
// recorder reports ($17, $18, as fleet.report takes them). One
// statement is one transaction: the server's position never runs ahead of what it holds, nor
// behind it, and a record it holds already is passed over.
const char* const StoreBatch =
    "WITH added AS (INSERT INTO fleet.record (id, stored_from, stored_until, site, key, text,"
    " detail, port, database, owner, \"user\", kind, code, raw) SELECT r.id, r.stored_from,"
    " r.stored_until, $1, r.key, r.text, r.detail, r.port, r.database, r.owner, r.who, r.kind,"
    " r.code, decode(r.raw, 'hex') FROM unnest($2::bigint[], $3::bigint[], $4::bigint[],"
    " $5::integer[], $6::integer[], $7::integer[], $8::integer[], $9::integer[], $10::integer[],"
    " $11::integer[], $12::smallint[], $13::smallint[], $14::text[]) AS r (id, stored_from,"
    " stored_until, key, text, detail, port, database, owner, who, kind, code, raw)"
    " ON CONFLICT DO NOTHING) SELECT fleet.acknowledge($15, $16, $17, $18)";

// Texts as a PostgreSQL array literal, each element quoted.
QString arrayLiteral(const QStringList& texts)
{
    QStringList quoted;
    for (QString text : texts)
        quoted.append(QLatin1Char('"') +
                      text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                          .replace(QLatin1Char('"'), QLatin1String("\\\"")) +
                      QLatin1Char('"'));
    return QLatin1Char('{') + quoted.join(QLatin1Char(',')) + QLatin1Char('}');
}

// The numbers of an integer array the server returned, e.g. "{3,1,2}".
QList<qint64> numbers(const QVariant& array)
{
    QList<qint64> result;
    const QString text = array.toString().mid(1).chopped(1);
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        result.append(part.toLongLong());
    return result;
}

} // namespace

struct FleetForwarder::Batch
{
    // The columns as PostgreSQL array literals, without their braces: Id, StoredFrom … Raw.
    QByteArray columns[Raw];
    QList<qint64> monthIds;
    qint64 lastSeq = 0;
    qint64 lastId = 0;
    qint64 waiting = 0;  // records written after it
    qint64 sighting = 0; // when the panel was last seen with nothing waiting
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
    if (journal.openForReading() == JournalFile::State::ReadOnly) {
        if (QSqlQuery(journal.database()).exec(QStringLiteral("SELECT seq FROM record LIMIT 0")))
            return true;
        // A journal of an earlier version numbers its records when opened for writing.
        journal.close();
        if (journal.openForWriting() == JournalFile::State::Writable) {
            journal.close();
            if (journal.openForReading() == JournalFile::State::ReadOnly)
                return true;
        }
    }
    *error = journal.errorText();
    journal.close();
    return false;
}

qint64 FleetForwarder::waiting(JournalFile& journal, qint64 after)
{
    if (!journal.isOpen())
        return -1;
    QSqlQuery query(journal.database());
    if (!query.exec(QStringLiteral("SELECT coalesce(max(seq), 0) FROM record")) || !query.next())
        return -1;
    return qMax<qint64>(0, query.value(0).toLongLong() - after);
}

qint64 FleetForwarder::sighting(JournalFile& journal)
{
    QSqlQuery query(journal.database());
    if (query.exec(QStringLiteral("SELECT max(time) FROM sighting")) && query.next())
        return query.value(0).toLongLong();
    return 0;
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
    if (!server.exec(QStringLiteral("SELECT id, forwarded_seq, forwarded_id FROM fleet.site"
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
    m_seq = rows[0][1].toLongLong();
    m_sentSeq = m_seq;
    m_pendingSeq = 0;
    if (m_seq == 0)
        return true;
    // The record the server holds last must be this journal's record of that seq; otherwise
    // the journal was made anew or put back from a copy, and all of it is sent again.
    QSqlQuery query(journal.database());
    query.prepare(QStringLiteral("SELECT id FROM record WHERE seq = :seq"));
    query.bindValue(QStringLiteral(":seq"), m_seq);
    if (!query.exec()) {
        *error =
            tr("не удалось прочитать журнал %1: %2").arg(m_journalFile, query.lastError().text());
        journal.close();
        server.close();
        return false;
    }
    if (!query.next() || query.value(0).toLongLong() != rows[0][2].toLongLong()) {
        m_seq = 0;
        m_sentSeq = 0;
        emit message(tr("Записи объекта %1 на сервере пришли не из журнала %2 (журнал создан "
                        "заново или восстановлен из копии): журнал отправляется с начала, "
                        "записи, которые на сервере уже есть, не повторятся.")
                         .arg(m_site, m_journalFile));
    }
    return true;
}

bool FleetForwarder::mapLabels(PgConnection& server, JournalFile& journal, const QSet<qint64>& ids,
                               QString* error)
{
    return mapNumbers(server, journal, ids,
                      QStringLiteral("SELECT id, text FROM label WHERE id IN (%1)"),
                      QStringLiteral("SELECT fleet.label_ids($1::text[])"),
                      tr("сервер не дал номера текстам журнала"), &m_labels, error);
}

bool FleetForwarder::mapOwners(PgConnection& server, JournalFile& journal, const QSet<qint64>& ids,
                               QString* error)
{
    return mapNumbers(
        server, journal, ids,
        QStringLiteral("SELECT id, subscriber, apartment, name FROM owner WHERE id IN (%1)"),
        QStringLiteral("SELECT fleet.owner_ids($1::integer[], $2::text[], $3::text[])"),
        tr("сервер не дал номера владельцам ключей журнала"), &m_owners, error);
}

bool FleetForwarder::mapNumbers(PgConnection& server, JournalFile& journal, const QSet<qint64>& ids,
                                const QString& select, const QString& function,
                                const QString& failure, QHash<qint64, qint64>* map, QString* error)
{
    if (ids.isEmpty())
        return true;
    QSqlQuery query(journal.database());
    if (!query.exec(select.arg(sqlNumberList(ids.values())))) {
        *error =
            tr("не удалось прочитать журнал %1: %2").arg(m_journalFile, query.lastError().text());
        return false;
    }
    // The local number, then one array a column for the server's function.
    QList<qint64> local;
    QVector<QStringList> columns(qMax(0, query.record().count() - 1));
    while (query.next()) {
        local.append(query.value(0).toLongLong());
        for (int column = 0; column < columns.size(); ++column)
            columns[column].append(query.value(column + 1).toString());
    }
    QVariantList arrays;
    for (const QStringList& column : qAsConst(columns))
        arrays.append(arrayLiteral(column));
    PgConnection::Rows rows;
    if (!server.exec(function, arrays, &rows)) {
        *error = server.errorText();
        return false;
    }
    const QList<qint64> remote = numbers(rows.value(0).value(0));
    if (remote.size() != local.size() || local.size() != ids.size()) {
        *error = failure;
        return false;
    }
    for (int n = 0; n < local.size(); ++n)
        map->insert(local[n], remote[n]);
    return true;
}

int FleetForwarder::sendNext(PgConnection& server, JournalFile& journal, QString* error)
{
    // While the server stores one batch, the next is read and prepared here.
    QSqlQuery query(journal.database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT seq, id, stored_from, stored_until, key, text, detail,"
                                 " port, database, owner, user, kind, code, raw FROM record"
                                 " WHERE seq > :after ORDER BY seq LIMIT %1")
                      .arg(BatchSize));
    query.bindValue(QStringLiteral(":after"), m_sentSeq);
    struct Row
    {
        qint64 value[Raw];
        bool null[Raw];
        QByteArray raw;
    };
    QVector<Row> records;
    QSet<qint64> labels;
    QSet<qint64> owners;
    if (query.exec()) {
        while (query.next()) {
            Row row;
            for (int column = Seq; column < Raw; ++column) {
                const QVariant value = query.value(column);
                row.null[column] = value.isNull();
                row.value[column] = value.toLongLong();
            }
            row.raw = query.value(Raw).toByteArray();
            for (int column : LabelColumns) {
                if (!row.null[column] && !m_labels.contains(row.value[column]))
                    labels.insert(row.value[column]);
            }
            if (!row.null[Owner] && !m_owners.contains(row.value[Owner]))
                owners.insert(row.value[Owner]);
            records.append(row);
        }
    }
    if (query.lastError().isValid()) {
        *error =
            tr("не удалось прочитать журнал %1: %2").arg(m_journalFile, query.lastError().text());
        journal.close();
        return -1;
    }
    query.finish();
    if (records.isEmpty())
        return confirm(server, error) ? 0 : -1;
    // Texts and owners are numbered outside the batch's transaction: other recorders may
    // need the same new text meanwhile.
    if ((!labels.isEmpty() || !owners.isEmpty()) &&
        (!confirm(server, error) || !mapLabels(server, journal, labels, error) ||
         !mapOwners(server, journal, owners, error)))
        return -1;
    // Each column an array: numbers and NULL, the bytes in hexadecimal.
    Batch batch;
    const auto put = [&batch](int column, const QByteArray& value) {
        QByteArray& array = batch.columns[column - Id];
        if (!array.isEmpty())
            array += ',';
        array += value;
    };
    // Texts and owners go by the server's numbers.
    const QHash<qint64, qint64>* maps[Raw] = {};
    for (int column : LabelColumns)
        maps[column] = &m_labels;
    maps[Owner] = &m_owners;
    for (const Row& row : records) {
        for (int column = Id; column < Raw; ++column) {
            const QHash<qint64, qint64>* map = maps[column];
            put(column, row.null[column] ? QByteArray("NULL")
                                         : QByteArray::number(map ? map->value(row.value[column])
                                                                  : row.value[column]));
        }
        put(Raw, row.raw.isNull() ? QByteArray("NULL") : row.raw.toHex());
        const qint64 month = monthOf(row.value[Id]);
        if (!m_months.contains(month)) {
            m_months.insert(month);
            batch.monthIds.append(row.value[Id]);
        }
    }
    batch.lastSeq = records.last().value[Seq];
    batch.lastId = records.last().value[Id];
    batch.waiting = qMax<qint64>(0, waiting(journal, batch.lastSeq));
    batch.sighting = sighting(journal);
    if (!confirm(server, error) || !send(server, batch, error))
        return -1;
    m_sentSeq = batch.lastSeq;
    m_pendingSeq = batch.lastSeq;
    m_pendingWaiting = batch.waiting;
    return records.size();
}

bool FleetForwarder::confirm(PgConnection& server, QString* error)
{
    if (m_pendingSeq == 0)
        return true;
    const qint64 stored = m_pendingSeq;
    m_pendingSeq = 0;
    if (!server.finish()) {
        *error = server.errorText();
        return false;
    }
    m_seq = stored;
    m_sinceReport.start();
    emit forwarded(m_seq, m_pendingWaiting);
    return true;
}

bool FleetForwarder::send(PgConnection& server, const Batch& batch, QString* error)
{
    // Partitions are made outside the batch's transaction, which they would lock for others.
    if (!batch.monthIds.isEmpty()) {
        if (!server.exec(QStringLiteral("SELECT fleet.prepare_months($1::bigint[])"),
                         {QLatin1Char('{') + sqlNumberList(batch.monthIds) + QLatin1Char('}')})) {
            *error = server.errorText();
            return false;
        }
    }
    // The end is not waited for here: confirm() takes it.
    QVariantList params{m_siteId};
    for (const QByteArray& column : batch.columns)
        params.append(QString::fromLatin1('{' + column + '}'));
    params << batch.lastSeq << batch.lastId << batch.waiting << batch.sighting;
    if (!server.start(QString::fromLatin1(StoreBatch), params)) {
        *error = server.errorText();
        return false;
    }
    return true;
}

bool FleetForwarder::report(PgConnection& server, JournalFile& journal, QString* error)
{
    if (!confirm(server, error))
        return false;
    const qint64 backlog = qMax<qint64>(0, waiting(journal, m_seq));
    if (!server.exec(QStringLiteral("SELECT fleet.report($1, $2)"), {backlog, sighting(journal)})) {
        *error = server.errorText();
        return false;
    }
    m_sinceReport.start();
    emit forwarded(m_seq, backlog);
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
                const qint64 count = waiting(journal, m_seq);
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
                m_sinceReport.invalidate();
            }
        }
        int sent = 0;
        if (ok) {
            sent = sendNext(server, journal, &error);
            ok = sent >= 0;
        }
        // Each batch reports with it; a recorder with nothing to send reports now and then.
        if (ok && (!m_sinceReport.isValid() || m_sinceReport.hasExpired(IdleReportMs)))
            ok = report(server, journal, &error);
        if (ok) {
            if (sent < BatchSize && !pause(PollMs))
                break;
            continue;
        }
        // Stopped: say so, and again whenever the reason or the number waiting changes.
        server.close();
        const qint64 count = waiting(journal, m_seq);
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
