#include "journalfile.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace {

// Puts a finished draft in place under target unless target exists, never touching a journal
// another process made meanwhile. (QFile::rename, when the target appears between its check
// and the rename, copies the draft over it.)
bool publishNew(const QString& draft, const QString& target)
{
    const QByteArray from = QFile::encodeName(draft);
    const QByteArray to = QFile::encodeName(target);
    if (::link(from.constData(), to.constData()) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    // A file system without hard links.
    return !QFileInfo::exists(target) && ::rename(from.constData(), to.constData()) == 0;
}

QAtomicInt connectionCount;

QString newConnectionName()
{
    return QStringLiteral("ostrovel-journal-%1").arg(connectionCount.fetchAndAddRelaxed(1));
}

// When the panel on a port was last seen with no record waiting (ms since the epoch).
const char* const SightingTable = "CREATE TABLE sighting (port INTEGER PRIMARY KEY REFERENCES"
                                  " label (id), time INTEGER NOT NULL)";

// seq numbers the records in the order they were committed, whatever their time of reception
// (a writer may commit records it held while the journal could not be written, or two writers
// interleave): a reader that forwards the journal resumes after the last seq it sent and can
// miss nothing. The trigger numbers what an earlier version of the program adds.
const char* const SequenceSchema[] = {
    "CREATE UNIQUE INDEX record_seq ON record (seq)",
    "CREATE TRIGGER record_seq AFTER INSERT ON record WHEN new.seq IS NULL BEGIN"
    " UPDATE record SET seq = (SELECT coalesce(max(seq), 0) + 1 FROM record) WHERE id = new.id;"
    " END",
};

// Texts (event descriptions, ports, database files, users) repeat endlessly; each is stored
// once and the records refer to it, which keeps a record near 100 bytes with its indexes.
const char* const Schema[] = {
    "CREATE TABLE label (id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE)",
    "CREATE TABLE owner (id INTEGER PRIMARY KEY, subscriber INTEGER NOT NULL,"
    " apartment TEXT NOT NULL, name TEXT NOT NULL, UNIQUE (subscriber, apartment, name))",
    // id: time of reception in ms × 16 + serial; kind: JournalKind; code: the panel's event
    // code, NULL for the program's own actions; raw: the panel's six bytes; stored_from and
    // stored_until: the interval a record the panel kept while nobody polled it fell in.
    "CREATE TABLE record (id INTEGER PRIMARY KEY, kind INTEGER NOT NULL, code INTEGER,"
    " key INTEGER, raw BLOB, text INTEGER NOT NULL REFERENCES label (id),"
    " detail INTEGER REFERENCES label (id), port INTEGER REFERENCES label (id),"
    " database INTEGER REFERENCES label (id), owner INTEGER REFERENCES owner (id),"
    " user INTEGER REFERENCES label (id), stored_from INTEGER, stored_until INTEGER,"
    " seq INTEGER)",
    SightingTable,
    "CREATE INDEX record_kind ON record (kind)",
    "CREATE INDEX record_key ON record (key) WHERE key IS NOT NULL",
    "CREATE INDEX record_owner ON record (owner) WHERE owner IS NOT NULL",
};

} // namespace

JournalFile::JournalFile(const QString& fileName)
    : m_fileName(fileName)
{}

JournalFile::~JournalFile()
{
    close();
}

JournalFile::State JournalFile::inspectHeader(const QByteArray& header, int* version)
{
    static const QByteArray magic("SQLite format 3\0", 16);
    if (header.size() < 100 || !header.startsWith(magic))
        return State::NotJournal;
    const auto* bytes = reinterpret_cast<const uchar*>(header.constData());
    if (qFromBigEndian<quint32>(bytes + 68) != ApplicationId)
        return State::NotJournal;
    const int found = int(qFromBigEndian<qint32>(bytes + 60));
    if (version)
        *version = found;
    return found == Version ? State::Writable : State::UnknownVersion;
}

JournalFile::State JournalFile::openForWriting()
{
    return open(true);
}

JournalFile::State JournalFile::openForReading()
{
    return open(false);
}

void JournalFile::close()
{
    if (!m_connection.isEmpty()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
        m_connection.clear();
    }
    m_labels.clear();
    m_owners.clear();
    m_state = State::Closed;
}

JournalFile::State JournalFile::fail(State state, const QString& text)
{
    close();
    m_state = state;
    m_error = text;
    return state;
}

JournalFile::State JournalFile::open(bool writing)
{
    close();
    m_error.clear();
    if (!QFileInfo::exists(m_fileName)) {
        if (!writing)
            return fail(State::Unavailable,
                        QObject::tr("Файл журнала не найден: %1.").arg(m_fileName));
        if (!createNew())
            return m_state;
    }

    // The header says whether this is a journal before SQLite ever opens the file, so a
    // foreign file is not touched at all.
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(State::Unavailable, QObject::tr("Не удалось открыть файл журнала %1: %2.")
                                            .arg(m_fileName, file.errorString()));
    int version = 0;
    const State kind = inspectHeader(file.read(100), &version);
    file.close();
    if (kind == State::NotJournal)
        return fail(kind, QObject::tr("Файл %1 не является журналом событий.").arg(m_fileName));
    if (kind == State::UnknownVersion)
        return fail(kind, QObject::tr("Журнал %1 имеет неизвестную версию формата: %2.")
                              .arg(m_fileName)
                              .arg(version));

    // The write-ahead log lives beside the file, so its folder must be writable too. A
    // journal that cannot be written is not opened at all for recording: even a reading
    // connection could leave its shared-memory file in the folder.
    const QFileInfo info(m_fileName);
    const bool canWrite = info.isWritable() && QFileInfo(info.absolutePath()).isWritable();
    if (writing && !canWrite)
        return fail(State::ReadOnly,
                    QObject::tr("Журнал %1 доступен только для чтения.").arg(m_fileName));
    const bool readOnly = !writing;

    m_connection = newConnectionName();
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(m_fileName);
    m_db.setConnectOptions(readOnly
                               ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000")
                               : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!m_db.open())
        return fail(State::Unavailable, QObject::tr("Не удалось открыть журнал %1: %2.")
                                            .arg(m_fileName, m_db.lastError().text()));
    {
        // A damaged file can carry a journal's header; reading it shows.
        QSqlQuery check(m_db);
        if (!check.exec(QStringLiteral("SELECT count(*) FROM record WHERE id < 0")))
            return fail(State::Unavailable, QObject::tr("Не удалось прочитать журнал %1: %2.")
                                                .arg(m_fileName, check.lastError().text()));
    }
    if (readOnly) {
        m_state = State::ReadOnly;
        return m_state;
    }
    if (!prepareWriting())
        return m_state;
    m_state = State::Writable;
    return m_state;
}

bool JournalFile::prepareWriting()
{
    QSqlQuery query(m_db);
    // WAL lets one writer and any readers work at once; NORMAL keeps every committed record
    // across a crash of the program, which is what a journal needs.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !query.next() ||
        query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        fail(State::Unavailable, QObject::tr("Не удалось перевести журнал %1 в режим WAL: %2.")
                                     .arg(m_fileName, query.lastError().text()));
        return false;
    }
    query.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
    query.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    // Journals made before the sightings were kept gain their table.
    if (!query.exec(QString::fromLatin1(SightingTable)
                        .replace(QLatin1String("CREATE TABLE"),
                                 QLatin1String("CREATE TABLE IF NOT EXISTS")))) {
        fail(State::Unavailable, QObject::tr("Не удалось подготовить журнал %1: %2.")
                                     .arg(m_fileName, query.lastError().text()));
        return false;
    }
    return numberRecords();
}

bool JournalFile::numberRecords()
{
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("SELECT seq FROM record LIMIT 0")))
        return true;
    // Journals made before the records were numbered: the records they hold are numbered in
    // the order of their ids, once, in one transaction (another writer may be doing the same).
    bool ok = query.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (ok && !query.exec(QStringLiteral("SELECT seq FROM record LIMIT 0"))) {
        ok = query.exec(QStringLiteral("ALTER TABLE record ADD COLUMN seq INTEGER")) &&
             query.exec(QStringLiteral(
                 "UPDATE record SET seq = n.seq FROM (SELECT id, row_number() OVER (ORDER BY id)"
                 " AS seq FROM record) AS n WHERE n.id = record.id"));
        for (const char* statement : SequenceSchema)
            ok = ok && query.exec(QString::fromLatin1(statement));
    }
    if (ok && query.exec(QStringLiteral("COMMIT")))
        return true;
    const QString error = query.lastError().text();
    QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    fail(State::Unavailable,
         QObject::tr("Не удалось подготовить журнал %1: %2.").arg(m_fileName, error));
    return false;
}

bool JournalFile::createNew()
{
    const QFileInfo info(m_fileName);
    if (!QDir().mkpath(info.absolutePath())) {
        fail(State::Unavailable,
             QObject::tr("Не удалось создать папку журнала: %1.").arg(info.absolutePath()));
        return false;
    }
    // Built under another name and then renamed, so nobody ever opens half a journal, and a
    // journal another process made in the meantime is kept.
    const QString draft =
        QStringLiteral("%1.new-%2").arg(m_fileName).arg(QCoreApplication::applicationPid());
    QFile::remove(draft);
    QString error;
    {
        const QString name = newConnectionName();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(draft);
            if (!db.open()) {
                error = db.lastError().text();
            } else {
                QSqlQuery query(db);
                bool ok = query.exec(QStringLiteral("BEGIN"));
                for (const char* statement : Schema)
                    ok = ok && query.exec(QString::fromLatin1(statement));
                for (const char* statement : SequenceSchema)
                    ok = ok && query.exec(QString::fromLatin1(statement));
                ok = ok &&
                     query.exec(
                         QStringLiteral("PRAGMA application_id = %1").arg(qint32(ApplicationId))) &&
                     query.exec(QStringLiteral("PRAGMA user_version = %1").arg(Version)) &&
                     query.exec(QStringLiteral("COMMIT"));
                if (!ok)
                    error = query.lastError().text();
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(name);
    }
    if (error.isEmpty() && !publishNew(draft, m_fileName) && !QFileInfo::exists(m_fileName))
        error = QObject::tr("не удалось переименовать %1").arg(draft);
    QFile::remove(draft);
    if (!error.isEmpty()) {
        fail(State::Unavailable,
             QObject::tr("Не удалось создать журнал %1: %2.").arg(m_fileName, error));
        return false;
    }
    return true;
}

qint64 JournalFile::failedStep(const QSqlQuery& query)
{
    m_error = query.lastError().text();
    return -1;
}

qint64 JournalFile::labelId(const QString& text)
{
    if (text.isEmpty())
        return 0;
    const auto cached = m_labels.constFind(text);
    if (cached != m_labels.constEnd())
        return *cached;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO label (text) VALUES (:text)"));
    query.bindValue(QStringLiteral(":text"), text);
    if (!query.exec())
        return failedStep(query);
    query.prepare(QStringLiteral("SELECT id FROM label WHERE text = :text"));
    query.bindValue(QStringLiteral(":text"), text);
    if (!query.exec() || !query.next())
        return failedStep(query);
    const qint64 id = query.value(0).toLongLong();
    m_labels.insert(text, id);
    return id;
}

qint64 JournalFile::ownerId(const JournalOwner& owner)
{
    if (!owner.isValid())
        return 0;
    // Empty texts, never NULL, so that the unique key finds the owner again.
    const QString apartment = owner.apartment.isNull() ? QStringLiteral("") : owner.apartment;
    const QString name = owner.name.isNull() ? QStringLiteral("") : owner.name;
    const QString key = QStringLiteral("%1/%2/%3").arg(owner.subscriber).arg(apartment, name);
    const auto cached = m_owners.constFind(key);
    if (cached != m_owners.constEnd())
        return *cached;
    QSqlQuery query(m_db);
    const auto run = [&](const QString& statement) {
        query.prepare(statement);
        query.bindValue(QStringLiteral(":subscriber"), owner.subscriber);
        query.bindValue(QStringLiteral(":apartment"), apartment);
        query.bindValue(QStringLiteral(":name"), name);
        return query.exec();
    };
    if (!run(QStringLiteral("INSERT OR IGNORE INTO owner (subscriber, apartment, name)"
                            " VALUES (:subscriber, :apartment, :name)")))
        return failedStep(query);
    if (!run(QStringLiteral("SELECT id FROM owner WHERE subscriber = :subscriber"
                            " AND apartment = :apartment AND name = :name")) ||
        !query.next())
        return failedStep(query);
    const qint64 id = query.value(0).toLongLong();
    m_owners.insert(key, id);
    return id;
}

qint64 JournalFile::freeId(QSqlQuery& lastId, qint64 ms)
{
    // Several records in one millisecond (two writers, a burst) take the next serial numbers.
    const qint64 first = firstIdAt(ms);
    lastId.bindValue(QStringLiteral(":first"), first);
    lastId.bindValue(QStringLiteral(":end"), first + 16);
    if (!lastId.exec() || !lastId.next())
        return failedStep(lastId);
    const qint64 id = lastId.isNull(0) ? first : lastId.value(0).toLongLong() + 1;
    lastId.finish();
    return id;
}

bool JournalFile::insertRecord(QSqlQuery& insert, QSqlQuery& lastId, const JournalRecord& record,
                               qint64 seq)
{
    const qint64 id = freeId(lastId, record.received);
    const qint64 text = labelId(record.text.isEmpty() ? QStringLiteral("?") : record.text);
    const qint64 detail = labelId(record.detail);
    const qint64 port = labelId(record.port);
    const qint64 database = labelId(record.database);
    const qint64 owner = ownerId(record.owner);
    const qint64 user = labelId(record.user);
    if (id < 0 || text < 0 || detail < 0 || port < 0 || database < 0 || owner < 0 || user < 0)
        return false;
    // An invalid value binds as NULL with both Qt versions' drivers.
    const auto orNone = [](bool present, qint64 value) {
        return present ? QVariant(value) : QVariant();
    };
    insert.bindValue(QStringLiteral(":id"), id);
    insert.bindValue(QStringLiteral(":seq"), seq);
    insert.bindValue(QStringLiteral(":kind"), int(record.kind));
    insert.bindValue(QStringLiteral(":code"), orNone(record.code >= 0, record.code));
    insert.bindValue(QStringLiteral(":key"), orNone(record.key != 0, record.key));
    insert.bindValue(QStringLiteral(":raw"),
                     record.raw.isEmpty() ? QVariant() : QVariant(record.raw));
    insert.bindValue(QStringLiteral(":text"), text);
    insert.bindValue(QStringLiteral(":detail"), orNone(detail > 0, detail));
    insert.bindValue(QStringLiteral(":port"), orNone(port > 0, port));
    insert.bindValue(QStringLiteral(":database"), orNone(database > 0, database));
    insert.bindValue(QStringLiteral(":owner"), orNone(owner > 0, owner));
    insert.bindValue(QStringLiteral(":user"), orNone(user > 0, user));
    insert.bindValue(QStringLiteral(":stored_from"),
                     orNone(record.stored && record.storedFrom > 0, record.storedFrom));
    insert.bindValue(QStringLiteral(":stored_until"), orNone(record.stored, record.storedUntil));
    if (!insert.exec())
        return failedStep(insert) >= 0;
    return true;
}

bool JournalFile::keepSighting(const Sighting& sighting)
{
    const qint64 port = labelId(sighting.port.isEmpty() ? QStringLiteral("?") : sighting.port);
    if (port < 0)
        return false;
    QSqlQuery query(m_db);
    query.prepare(
        QStringLiteral("INSERT INTO sighting (port, time) VALUES (:port, :time)"
                       " ON CONFLICT (port) DO UPDATE SET time = max(time, excluded.time)"));
    query.bindValue(QStringLiteral(":port"), port);
    query.bindValue(QStringLiteral(":time"), sighting.time);
    return query.exec() || failedStep(query) >= 0;
}

qint64 JournalFile::lastSighting(const QString& port)
{
    if (!isOpen())
        return 0;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "SELECT s.time FROM sighting s JOIN label l ON l.id = s.port WHERE l.text = :port"));
    query.bindValue(QStringLiteral(":port"), port);
    if (!query.exec() || !query.next())
        return 0;
    return query.value(0).toLongLong();
}

bool JournalFile::append(const QVector<JournalRecord>& records, const Sighting& sighting)
{
    if (!isWritable()) {
        if (m_error.isEmpty())
            m_error = QObject::tr("Журнал не открыт для записи.");
        return false;
    }
    m_error.clear();
    QSqlQuery query(m_db);
    // IMMEDIATE takes the write lock at once, waiting for another writer within the busy
    // time-out, instead of failing at the first insert.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failedStep(query) >= 0;
    QSqlQuery insert(m_db);
    insert.prepare(QStringLiteral(
        "INSERT INTO record (id, kind, code, key, raw, text, detail, port, database, owner, user,"
        " stored_from, stored_until, seq) VALUES (:id, :kind, :code, :key, :raw, :text, :detail,"
        " :port, :database, :owner, :user, :stored_from, :stored_until, :seq)"));
    QSqlQuery lastId(m_db);
    lastId.prepare(QStringLiteral("SELECT max(id) FROM record WHERE id >= :first AND id < :end"));
    // The write lock is held from BEGIN IMMEDIATE on: nobody else numbers records meanwhile.
    QSqlQuery lastSeq(m_db);
    bool ok =
        lastSeq.exec(QStringLiteral("SELECT coalesce(max(seq), 0) FROM record")) && lastSeq.next();
    qint64 seq = ok ? lastSeq.value(0).toLongLong() : failedStep(lastSeq);
    lastSeq.finish();
    for (int n = 0; ok && n < records.size(); ++n)
        ok = insertRecord(insert, lastId, records[n], ++seq);
    if (ok && sighting.time > 0)
        ok = keepSighting(sighting);
    if (ok) {
        if (query.exec(QStringLiteral("COMMIT")))
            return true;
        failedStep(query);
    }
    QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    // Labels and owners made in the rolled-back transaction are gone again.
    m_labels.clear();
    m_owners.clear();
    return false;
}
