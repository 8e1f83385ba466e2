// Fleet benchmark. A PostgreSQL server of its own, started as the tests start theirs but
// keeping every commit on disk as a real server does, and on it, each figure beside its
// baseline:
//  1. a backlog of a million records (a busy site a week offline) forwarded by the recorder's
//     forwarder, beside psql's \copy of the same rows into a plain table with the same indexes;
//  2. the steady state: `ostrovel-cli watch --forward` with the simulator, the time from a
//     record's reception to the central journal, beside the time to the local journal;
//  3. what a site at one event per ten seconds costs the server: a hundred sites forwarding a
//     record every 2.5 s each, the server's processor time a record beside its time while they
//     have nothing to send, and from it the number of such sites one server of this machine
//     carries;
//  4. a central journal of ten million records over 200 sites and a year, made on the server:
//     its size a record beside the local journal's, the journal window's fleet view timed
//     offscreen as a dispatcher uses it, and `fleet status` beside psql reading the same rows.
// Arguments: --backlog N and --central N change the two sizes, for a quick run. To time the
// fleet view again on a central journal once made: BENCH_FLEET_HOLD=1 keeps the server after
// making it and prints how to reach it; BENCH_FLEET_CENTRAL (its connection string) and
// BENCH_FLEET_DATA (its data folder) then time that journal as it is.
#include "application.h"
#include "benchsupport.h"
#include "fleetforwarder.h"
#include "fleetquery.h"
#include "fleetschema.h"
#include "journalfile.h"
#include "journalmodel.h"
#include "panelsimulator.h"
#include "pgconnection.h"
#include "pgtestserver.h"
#include "qjournalwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr qint64 DayMs = 86400000;
const QString Psql = QStringLiteral("/usr/lib/postgresql/15/bin/psql");

// What a real server runs with, sized for this machine: every commit flushed (the defaults),
// room for a hundred recorders' connections, checkpoints not forced by the bulk loads.
const QString Settings = QStringLiteral(
    "-c shared_buffers=1GB -c max_connections=300 -c max_wal_size=8GB -c checkpoint_timeout=30min");

double processSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The processor time of one process from /proc: its own, and with its children that ended.
double procSeconds(qint64 pid, bool withChildren)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // Fields 14 to 17 of the line, counted from the state (field 3).
    double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    if (withChildren)
        ticks += fields.value(13).toDouble() + fields.value(14).toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// The server's data folder, whose postmaster.pid names its processes.
QString dataDirectory;

// The server's processor time so far: the postmaster with the backends that ended, and those
// that live.
double serverSeconds()
{
    QFile pidFile(dataDirectory + QStringLiteral("/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return 0;
    const qint64 postmaster = pidFile.readLine().trimmed().toLongLong();
    double total = procSeconds(postmaster, true);
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number || pid == postmaster)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.value(1).toLongLong() == postmaster)
            total += procSeconds(pid, false);
    }
    return total;
}

// Wall time and the processor time of this process and of the server.
Timing secondsOf(const std::function<void()>& work)
{
    QElapsedTimer clock;
    const double cpu = processSeconds() + serverSeconds();
    clock.start();
    work();
    return {clock.nsecsElapsed() / 1e9, processSeconds() + serverSeconds() - cpu};
}

// shown is asked for after the timing, which changes it.
void report(const QString& what, const Timing& time, const std::function<QString()>& shown,
            double target)
{
    std::printf("  %s %6.3f s (cpu %6.3f s) %16s (target %.1f s)%s\n",
                qPrintable(what.leftJustified(50)), time.wall, time.cpu, qPrintable(shown()),
                target, time.wall <= target ? "" : "  OVER");
}

// psql as the server's superuser; its wall time, or a fatal error.
double psql(const QString& conninfo, const QString& command)
{
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.start(Psql, {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                         QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), conninfo,
                         QStringLiteral("-c"), command});
    if (!process.waitForFinished(3600000) || process.exitCode() != 0)
        qFatal("psql failed: %s", process.readAllStandardError().constData());
    return clock.nsecsElapsed() / 1e9;
}

void exec(PgConnection& server, const QString& sql)
{
    if (!server.exec(sql))
        qFatal("%s\n%s", qPrintable(server.errorText()), qPrintable(sql.left(300)));
}

// The n-th record of a busy entrance: mostly passes by the residents' keys, then refusals,
// the keypad, the phone, the lock from the computer, power and fire, the program's actions.
JournalRecord sampleRecord(qint64 ms, QRandomGenerator& random)
{
    const auto panel = [&](quint32 key, quint8 code) {
        const char bytes[] = {char(key), char(key >> 8), char(key >> 16), 0, char(code), 0};
        return JournalRecord::fromPanel(QByteArray(bytes, 6), ms, QStringLiteral("/dev/ttyUSB0"));
    };
    const int roll = random.bounded(1000);
    const int subscriber = random.bounded(320);
    const quint32 key = 100000 + subscriber * 37 + random.bounded(3) * 5003;
    JournalRecord record;
    if (roll < 700 || (roll >= 940 && roll < 960)) {
        record = panel(key, roll < 700 ? 0x00 : 0x05);
        record.owner = {subscriber, QString::number(subscriber / 2 + 1),
                        QStringLiteral("Жилец %1 А.Б.").arg(subscriber)};
        record.database = QStringLiteral("/home/caretaker/Дом 12.zelkor");
    } else if (roll < 760) {
        record = panel(0, 0x00);
    } else if (roll < 830) {
        record = panel(key % 9000, 0x01);
    } else if (roll < 860) {
        record = panel(0, 0x02);
    } else if (roll < 940) {
        record = panel(5000000 + random.bounded(400000), 0x05);
    } else if (roll < 975) {
        record = panel(0x02, 0x26);
    } else if (roll < 980) {
        record = panel(0, roll % 2 ? 0x0D : 0x13);
    } else if (roll < 990) {
        record =
            JournalRecord::action(QStringLiteral("Открывание замка"), QStringLiteral("выполнено"),
                                  QStringLiteral("/dev/ttyUSB0"), ms);
    } else {
        record = panel(0, 0x0B);
    }
    return record;
}

void writeJournal(const QString& file, int count, qint64 first, qint64 last)
{
    QRandomGenerator random(29);
    JournalFile journal(file);
    if (journal.openForWriting() != JournalFile::State::Writable)
        qFatal("cannot write %s", qPrintable(journal.errorText()));
    QVector<JournalRecord> records;
    for (int n = 0; n < count; ++n) {
        records.append(sampleRecord(first + (last - first) * n / count, random));
        if (records.size() == 10000 || n == count - 1) {
            if (!journal.append(records))
                qFatal("append failed: %s", qPrintable(journal.errorText()));
            records.clear();
        }
    }
}

// Runs the event loop until done() holds, checking every ms milliseconds.
void waitFor(const std::function<bool()>& done, int ms = 20)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(ms);
    if (!done())
        loop.exec();
}

// 1. A million records forwarded, beside psql's \copy of them.
double backlog(PgTestServer& pg, const QString& folder, int count, double* serverCostMs)
{
    std::printf("\n1. Backlog: %d records of a site a week offline, forwarded to the server\n",
                count);
    const QString file = folder + QStringLiteral("/backlog.sqlite");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    writeJournal(file, count, now - 7 * DayMs, now);
    const double localBytes = double(QFileInfo(file).size()) / count;

    FleetForwarder forwarder(file, QStringLiteral("backlog"), pg.conninfo("ostrovel_backlog"));
    forwarder.setFirstPauseMs(50);
    qint64 arrived = 0;
    QObject::connect(&forwarder, &FleetForwarder::forwarded, &forwarder,
                     [&arrived](qint64 seq, qint64) { arrived = seq; });
    double serverCpu = serverSeconds();
    const Timing sent = secondsOf([&] {
        forwarder.start();
        waitFor([&] { return arrived >= count; });
    });
    serverCpu = serverSeconds() - serverCpu;
    forwarder.stop();
    *serverCostMs = serverCpu * 1000 / count;
    std::printf("  forwarder: %.1f s, %.0f records/s (target 50000)%s; cpu %.1f s, of it the "
                "server's %.1f s (%.3f ms a record)\n",
                sent.wall, count / sent.wall, count / sent.wall >= 50000 ? "" : "  UNDER", sent.cpu,
                serverCpu, *serverCostMs);

    const QString rows = folder + QStringLiteral("/backlog.copy");
    const QString super = pg.conninfo();
    psql(super, QStringLiteral("\\copy (SELECT * FROM fleet.record WHERE site = (SELECT id FROM "
                               "fleet.site WHERE name = 'backlog')) TO '%1'")
                    .arg(rows));
    psql(super, QStringLiteral(
                    "CREATE TABLE public.copied (LIKE fleet.record); ALTER TABLE public.copied ADD"
                    " PRIMARY KEY (id, site); CREATE INDEX ON public.copied (site);"
                    " CREATE INDEX ON public.copied (key) WHERE key IS NOT NULL;"
                    " CREATE INDEX ON public.copied (owner) WHERE owner IS NOT NULL"));
    const double copied = psql(super, QStringLiteral("\\copy public.copied FROM '%1'").arg(rows));
    psql(super, QStringLiteral("DROP TABLE public.copied"));
    std::printf("  baseline, psql \\copy of the same rows into one table with the same indexes: "
                "%.1f s, %.0f records/s\n",
                copied, count / copied);
    std::printf("    (%s -d '%s' -c \"\\copy public.copied FROM '…'\")\n", qPrintable(Psql),
                qPrintable(super));
    return localBytes;
}

// 2. Reception to the central journal, beside reception to the local journal.
void steadyState(PgTestServer& pg, const QString& folder)
{
    std::printf("\n2. Steady state: ostrovel-cli watch --site steady --forward, the simulator "
                "sending a key every 0.5 s\n");
    PanelSimulator sim;
    QString error;
    if (!sim.start(&error))
        qFatal("simulator: %s", qPrintable(error));
    sim.setLinePacing(true);
    const QString file = folder + QStringLiteral("/steady.sqlite");
    QProcess watch;
    watch.setStandardOutputFile(QProcess::nullDevice());
    watch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    watch.start(OSTROVEL_CLI, {QStringLiteral("watch"), QStringLiteral("--port"), sim.slavePath(),
                               QStringLiteral("--journal"), file, QStringLiteral("--site"),
                               QStringLiteral("steady"), QStringLiteral("--forward"),
                               pg.conninfo("ostrovel_steady")});
    if (!watch.waitForStarted())
        qFatal("ostrovel-cli did not start");
    QThread::msleep(1500);
    PgConnection server;
    if (!server.open(pg.conninfo()))
        qFatal("%s", qPrintable(server.errorText()));
    QVector<double> central;
    QVector<double> local;
    QSet<qint64> seenLocally;
    qint64 last = 0;
    constexpr int Keys = 40;
    QElapsedTimer clock;
    clock.start();
    int queued = 0;
    while (central.size() < Keys && clock.elapsed() < 60000) {
        if (queued < Keys && clock.elapsed() >= queued * 500)
            sim.queueKey(quint32(7000 + queued++));
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        PgConnection::Rows rows;
        server.exec(QStringLiteral("SELECT id FROM fleet.record WHERE id > $1 AND site ="
                                   " (SELECT id FROM fleet.site WHERE name = 'steady')"
                                   " ORDER BY id"),
                    {last}, &rows);
        for (const QVariantList& row : rows) {
            last = row[0].toLongLong();
            central.append((now - (last >> 4)) / 1000.0);
        }
        JournalFile journal(file);
        if (journal.openForReading() == JournalFile::State::ReadOnly) {
            QSqlQuery query(journal.database());
            query.exec(QStringLiteral("SELECT id FROM record ORDER BY id DESC LIMIT 5"));
            while (query.next()) {
                const qint64 id = query.value(0).toLongLong();
                if (!seenLocally.contains(id)) {
                    seenLocally.insert(id);
                    local.append((now - (id >> 4)) / 1000.0);
                }
            }
        }
        QThread::msleep(10);
    }
    watch.terminate();
    watch.waitForFinished();
    std::sort(central.begin(), central.end());
    std::sort(local.begin(), local.end());
    if (central.isEmpty() || local.isEmpty())
        qFatal("no record arrived");
    std::printf("  reception to the central journal: median %.3f s, slowest %.3f s of %lld "
                "records (target 2 s)%s\n",
                central[central.size() / 2], central.last(), qint64(central.size()),
                central.last() <= 2 ? "" : "  OVER");
    std::printf("  baseline, reception to the local journal: median %.3f s, slowest %.3f s\n",
                local[local.size() / 2], local.last());
}

// 3. A hundred sites at a record every 2.5 s each: the server's time a record, beside its time
// while the same recorders are connected with nothing to send.
void load(PgTestServer& pg, const QString& folder, int sites, double* costMs)
{
    std::printf("\n3. Load: %d sites forwarding a record every 2.5 s each (a batch of one record "
                "each time, as a site at one event per 10 s sends)\n",
                sites);
    std::vector<std::unique_ptr<JournalFile>> journals;
    std::vector<std::unique_ptr<FleetForwarder>> forwarders;
    QRandomGenerator random(3);
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    for (int n = 0; n < sites; ++n) {
        const QString name = QStringLiteral("load%1").arg(n, 3, 10, QLatin1Char('0'));
        const QString file = folder + QStringLiteral("/%1.sqlite").arg(name);
        // A day's records first: the site's texts and owners are known to the server before
        // the measuring, as they are after a recorder's first day.
        writeJournal(file, 2000, start - DayMs, start);
        journals.push_back(std::make_unique<JournalFile>(file));
        if (journals.back()->openForWriting() != JournalFile::State::Writable)
            qFatal("cannot write %s", qPrintable(file));
        forwarders.push_back(
            std::make_unique<FleetForwarder>(file, name, pg.conninfo("ostrovel_" + name)));
        forwarders.back()->start();
    }
    PgConnection server;
    if (!server.open(pg.conninfo()))
        qFatal("%s", qPrintable(server.errorText()));
    const auto held = [&] {
        return server
            .value(QStringLiteral("SELECT coalesce(sum(records), 0) FROM fleet.site WHERE name"
                                  " LIKE 'load%'"))
            .toLongLong();
    };
    waitFor([&] { return held() == 2000 * sites; }, 200);
    const int intervalMs = 2500 / sites;
    const auto run = [&](int ms) {
        QElapsedTimer clock;
        clock.start();
        for (int n = 0; clock.elapsed() < ms; ++n) {
            const qint64 due = qint64(n) * intervalMs;
            if (due > clock.elapsed())
                QThread::msleep(ulong(due - clock.elapsed()));
            if (!journals[size_t(n % sites)]->append(
                    {sampleRecord(QDateTime::currentMSecsSinceEpoch(), random)}))
                qFatal("append failed");
        }
    };
    double idle = serverSeconds();
    QThread::sleep(10);
    idle = serverSeconds() - idle;
    run(5000);
    const qint64 before = held();
    const double cpu = serverSeconds();
    run(20000);
    const double used = serverSeconds() - cpu;
    const qint64 arrived = held() - before;
    for (auto& forwarder : forwarders)
        forwarder->stop();
    *costMs = used * 1000 / double(arrived);
    std::printf("  %lld records in 20 s, the server's processor time %.2f s: %.3f ms a record\n",
                arrived, used, *costMs);
    std::printf("  baseline, the same recorders connected with nothing to send: %.2f s in "
                "20 s\n",
                idle * 2);
}

// 4. Ten million records over 200 sites and a year, made on the server in time order.
void makeCentral(PgConnection& db, qint64 records)
{
    const qint64 end = QDateTime::currentMSecsSinceEpoch();
    const qint64 start = end - 365 * DayMs;
    const qint64 step = (end - start) / records;
    exec(db, QStringLiteral("SELECT setseed(0.29)"));
    exec(db, QStringLiteral(
                 "INSERT INTO fleet.site (name, recorder) SELECT 'site' || lpad(n::text, 3, '0'),"
                 " 'ostrovel_site' || lpad(n::text, 3, '0') FROM generate_series(1, 200) n"));
    exec(db, QStringLiteral(
                 "INSERT INTO fleet.label (id, text) VALUES (1, 'Проход по ключу'),"
                 " (2, 'Выход по кнопке'), (3, 'Проход по коду'), (4, 'Открыто с телефона'),"
                 " (5, 'Отказ: ключ не найден'), (6, 'Замок открыт с компьютера'),"
                 " (7, 'Включение питания'), (8, 'Пожарный датчик'), (9, 'Открывание замка'),"
                 " (10, 'выполнено'), (11, 'Неизвестное событие 0x0B'), (12, '/dev/ttyUSB0'),"
                 " (13, 'caretaker')"));
    exec(db, QStringLiteral(
                 "INSERT INTO fleet.label (id, text) SELECT 100 + n,"
                 " '/home/caretaker/Дом ' || n || '.zelkor' FROM generate_series(1, 200) n"));
    exec(db, QStringLiteral(
                 "INSERT INTO fleet.owner (id, site, subscriber, apartment, name)"
                 " SELECT s * 1000 + n, s, n, (n / 2 + 1)::text, (ARRAY['Иванов', 'Смирнов',"
                 " 'Кузнецов', 'Попов', 'Васильев', 'Петров', 'Соколов', 'Михайлов', 'Новиков',"
                 " 'Фёдоров', 'Морозов', 'Волков', 'Алексеев', 'Лебедев', 'Семёнов', 'Егоров',"
                 " 'Павлов', 'Козлов', 'Степанов', 'Николаев'])[1 + (s * 7 + n) % 20]"
                 " || CASE WHEN n % 2 = 0 THEN 'а ' ELSE ' ' END || chr(1040 + n * 13 % 32) || '.'"
                 " || chr(1040 + n * 7 % 32) || '.' FROM generate_series(1, 200) s,"
                 " generate_series(0, 319) n"));
    QStringList months;
    for (qint64 ms = start; ms < end + 31 * DayMs; ms += 27 * DayMs)
        months.append(QString::number(ms * 16));
    exec(db, QStringLiteral("SELECT fleet.prepare_months('{%1}')").arg(months.join(',')));
    // A roll per record: 70 % passes by the residents' keys, refusals of unknown keys and of
    // known ones, the button, the keypad, the phone, control, power and fire, actions, others.
    const QString insert = QStringLiteral(
        "INSERT INTO fleet.record (id, site, key, text, detail, port, database, owner, \"user\","
        " kind, code, raw) SELECT id, site,"
        " CASE WHEN roll < 700 OR roll BETWEEN 940 AND 959 THEN site * 10000 + who * 3 + k"
        " WHEN roll BETWEEN 760 AND 829 THEN 1 + who * 27 WHEN roll BETWEEN 860 AND 939"
        " THEN 5000000 + (roll * 7919 + who) % 400000 END,"
        " CASE WHEN roll < 700 THEN 1 WHEN roll < 760 THEN 2 WHEN roll < 830 THEN 3"
        " WHEN roll < 860 THEN 4 WHEN roll < 960 THEN 5 WHEN roll < 975 THEN 6"
        " WHEN roll < 980 THEN 7 + roll % 2 WHEN roll < 990 THEN 9 ELSE 11 END,"
        " CASE WHEN roll BETWEEN 980 AND 989 THEN 10 END, 12,"
        " CASE WHEN roll < 700 OR roll BETWEEN 940 AND 959 THEN 100 + site END,"
        " CASE WHEN roll < 700 OR roll BETWEEN 940 AND 959 THEN site * 1000 + who END,"
        " CASE WHEN roll BETWEEN 980 AND 989 THEN 13 END,"
        " CASE WHEN roll < 860 THEN 0 WHEN roll < 960 THEN 1 WHEN roll < 975 THEN 2"
        " WHEN roll < 980 THEN 3 WHEN roll < 990 THEN 5 ELSE 4 END,"
        " CASE WHEN roll < 700 THEN 0 WHEN roll < 760 THEN 0 WHEN roll < 830 THEN 1"
        " WHEN roll < 860 THEN 2 WHEN roll < 960 THEN 5 WHEN roll < 975 THEN 38"
        " WHEN roll < 980 THEN 13 WHEN roll < 990 THEN NULL ELSE 11 END,"
        " CASE WHEN roll NOT BETWEEN 980 AND 989 THEN"
        " substring(int8send(((site * 10000 + who * 3 + k)::bigint << 24) | ((roll % 64) << 8))"
        " FROM 3)"
        " END FROM (SELECT (%1 + n * %2 + floor(random() * %3))::bigint * 16 AS id,"
        " 1 + floor(random() * 200)::integer AS site, floor(random() * 1000)::integer AS roll,"
        " floor(random() * 320)::integer AS who, floor(random() * 3)::integer AS k"
        " FROM generate_series(%4::bigint, %5) n) g ORDER BY id");
    QElapsedTimer clock;
    clock.start();
    constexpr qint64 Chunk = 1000000;
    for (qint64 first = 0; first < records; first += Chunk) {
        exec(db, insert.arg(start).arg(step).arg(step - 1).arg(first).arg(
                     qMin(records, first + Chunk) - 1));
        std::printf("\r  made %lld of %lld records (%.0f s)", qMin(records, first + Chunk), records,
                    clock.elapsed() / 1000.0);
        std::fflush(stdout);
    }
    // Recorders report; a few sites went silent two days ago.
    exec(db, QStringLiteral("UPDATE fleet.site SET last_seen = now() - (id % 7) * interval '1 min',"
                            " panel_seen = (extract(epoch FROM now()) * 1000)::bigint,"
                            " backlog = id % 3 WHERE id % 40 <> 0"));
    exec(db, QStringLiteral("VACUUM (ANALYZE) fleet.record"));
    exec(db, QStringLiteral("VACUUM (ANALYZE) fleet.record_day"));
    exec(db, QStringLiteral("ANALYZE"));
    std::printf("\r  made %lld records over 200 sites and a year in %.0f s (with VACUUM "
                "ANALYZE)\n",
                records, clock.elapsed() / 1000.0);
}

// The database "central" made on the server; its superuser's connection string.
QString makeCentralDatabase(PgTestServer& pg, qint64 records)
{
    std::printf("\n4. Central journal: %lld records over 200 sites and a year\n", records);
    QString error;
    if (!pg.exec(QStringLiteral("CREATE DATABASE central"), &error))
        qFatal("%s", qPrintable(error));
    const QString conninfo =
        pg.conninfo().replace(QLatin1String("dbname=ostrovel"), QLatin1String("dbname=central"));
    PgConnection db;
    if (!db.open(conninfo) || !FleetSchema::install(db, {}, &error))
        qFatal("%s", qPrintable(error + db.errorText()));
    makeCentral(db, records);
    return conninfo;
}

void timeCentral(const QString& conninfo, const QString& folder, double localBytes)
{
    PgConnection db;
    if (!db.open(conninfo))
        qFatal("%s", qPrintable(db.errorText()));
    const qint64 records =
        db.value(QStringLiteral("SELECT sum(records) FROM fleet.site")).toLongLong();
    const QString size =
        QStringLiteral("SELECT sum(pg_total_relation_size(inhrelid)) FROM pg_inherits"
                       " WHERE inhparent = 'fleet.record'::regclass");
    const double bytes = db.value(size).toDouble() / double(records);
    const double all =
        db.value(QStringLiteral("SELECT sum(pg_total_relation_size(c.oid)) FROM pg_class c JOIN"
                                " pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname ="
                                " 'fleet' AND c.relkind = 'r'"))
            .toDouble() /
        double(records);
    std::printf("  size: %.1f bytes a record, indexes included (target 150)%s; with the texts, "
                "owners and day counts %.1f\n",
                bytes, bytes <= 150 ? "" : "  OVER", all);
    std::printf("    (%s)\n", qPrintable(size));
    if (localBytes > 0)
        std::printf("  baseline, the local journal (SQLite) of part 1: %.1f bytes a record\n",
                    localBytes);

    const QString dispatcher = QString(conninfo).replace(QLatin1String("user=postgres"),
                                                         QLatin1String("user=ostrovel_dispatcher"));
    const auto keyFormat = [] { return 2; };
    const QString none = folder + QStringLiteral("/none.sqlite");
    std::printf("\n  The journal window's fleet view, offscreen (best of %d):\n", BestOfRuns);
    report(
        QStringLiteral("opening the fleet view (count and first page)"), best([&] {
            return secondsOf([&] {
                QJournalWindow window(none, keyFormat);
                window.show();
                window.setServer(dispatcher);
                QApplication::processEvents();
            });
        }),
        [] { return QString(); }, 0.3);

    QJournalWindow window(none, keyFormat);
    window.show();
    window.setServer(dispatcher);
    QApplication::processEvents();
    const QString shown = QStringLiteral("%1 records");
    auto* period = child<QComboBox>(&window, "cboxPeriod");
    auto* kind = child<QComboBox>(&window, "cboxKind");
    auto* sites = child<QComboBox>(&window, "cboxSite");
    auto* text = child<QLineEdit>(&window, "leFilter");
    auto* since = child<QDateEdit>(&window, "deSince");
    auto* until = child<QDateEdit>(&window, "deUntil");
    auto* tabs = child<QTabWidget>(&window, "tabWidget");
    auto* table = child<QTableView>(&window, "tvJournal");
    auto* refresh = window.findChild<QAction*>(QStringLiteral("actionRefresh"));
    const std::function<QString()> matching = [&] { return shown.arg(window.model()->matching()); };

    // Each filter from its box's first choice, so that every run does the same work.
    const auto timeChoice = [&](const QString& what, QComboBox* box, int index, double target) {
        report(what, best([&] {
                   box->setCurrentIndex(0);
                   QApplication::processEvents();
                   return secondsOf([&] {
                       box->setCurrentIndex(index);
                       QApplication::processEvents();
                   });
               }),
               matching, target);
    };
    const QDate today = QDate::currentDate();
    since->setDate(today.addDays(-200));
    until->setDate(today.addDays(-170));
    timeChoice(QStringLiteral("period: today"), period, 1, 0.3);
    timeChoice(QStringLiteral("period: 7 days"), period, 2, 0.3);
    timeChoice(QStringLiteral("period: 30 days"), period, 3, 0.3);
    timeChoice(QStringLiteral("period: chosen dates (a month half a year ago)"), period, 4, 0.3);
    period->setCurrentIndex(0);
    for (int index = 1; index < kind->count(); ++index)
        timeChoice(QStringLiteral("kind: %1").arg(kind->itemText(index)), kind, index, 0.3);
    kind->setCurrentIndex(0);
    timeChoice(QStringLiteral("site: one of 200"), sites, 57, 0.3);
    sites->setCurrentIndex(0);

    const auto timeText = [&](const QString& what, const QString& typed) {
        report(what, best([&] {
                   text->clear();
                   emit text->returnPressed();
                   QApplication::processEvents();
                   return secondsOf([&] {
                       text->setText(typed);
                       emit text->returnPressed();
                       QApplication::processEvents();
                   });
               }),
               matching, 0.3);
    };
    timeText(QStringLiteral("text: a name (\"иванова\")"), QStringLiteral("иванова"));
    timeText(QStringLiteral("text: a key (\"570271\")"), QStringLiteral("570271"));
    timeText(QStringLiteral("text: an apartment (\"77\")"), QStringLiteral("77"));
    timeText(QStringLiteral("text: nothing matches (\"Щукин\")"), QStringLiteral("Щукин"));
    text->clear();
    emit text->returnPressed();
    QApplication::processEvents();

    // One site and one day: the site chosen, then the day.
    sites->setCurrentIndex(57);
    since->setDate(today.addDays(-100));
    until->setDate(today.addDays(-100));
    timeChoice(QStringLiteral("one site and one day"), period, 4, 0.1);

    constexpr int Pages = 20;
    period->setCurrentIndex(0);
    sites->setCurrentIndex(0);
    QApplication::processEvents();
    Timing scrolling = best([&] {
        refresh->trigger();
        QApplication::processEvents();
        return secondsOf([&] {
            for (int page = 0; page < Pages; ++page) {
                table->scrollToBottom();
                QApplication::processEvents();
            }
        });
    });
    scrolling.wall /= Pages;
    scrolling.cpu /= Pages;
    report(QStringLiteral("scrolling: one more page (mean of %1)").arg(Pages), scrolling, matching,
           0.3);

    const auto timeChart = [&](const QString& what, double target) {
        report(what, best([&] {
                   tabs->setCurrentIndex(0);
                   refresh->trigger();
                   QApplication::processEvents();
                   return secondsOf([&] {
                       tabs->setCurrentIndex(1);
                       QApplication::processEvents();
                   });
               }),
               matching, target);
    };
    sites->setCurrentIndex(57);
    period->setCurrentIndex(4);
    since->setDate(today.addDays(-364));
    until->setDate(today);
    timeChart(QStringLiteral("chart of a year, one site"), 0.5);
    tabs->setCurrentIndex(0);

    // fleet status through the command line, beside psql reading the same rows.
    const QStringList status{QStringLiteral("fleet"), QStringLiteral("status"), dispatcher};
    report(
        QStringLiteral("ostrovel-cli fleet status (200 sites)"), best([&] {
            return secondsOf([&] {
                QProcess cli;
                cli.start(OSTROVEL_CLI, status);
                if (!cli.waitForFinished() || cli.exitCode() != 0)
                    qFatal("fleet status failed: %s", cli.readAllStandardError().constData());
            });
        }),
        [] { return QString(); }, 0.5);
    std::printf("    (%s %s)\n", OSTROVEL_CLI, qPrintable(status.join(' ')));
    const QString same = QStringLiteral(
        "SELECT name, last_record, last_seen, panel_seen, backlog, records FROM fleet.site"
        " ORDER BY name");
    report(
        QStringLiteral("baseline: psql, the same rows"),
        best([&] { return secondsOf([&] { psql(dispatcher, same); }); }), [] { return QString(); },
        0.5);
    std::printf("    (%s -d '%s' -c \"%s\")\n", qPrintable(Psql), qPrintable(dispatcher),
                qPrintable(same));
}

} // namespace

int main(int argc, char** argv)
{
    prepareWidgetBenchmark();
    QApplication app(argc, argv);
    qInstallMessageHandler(quietOffscreen);
    qint64 backlogRecords = 1000000;
    qint64 centralRecords = 10000000;
    const QStringList arguments = QCoreApplication::arguments();
    for (int n = 1; n + 1 < arguments.size(); n += 2) {
        if (arguments[n] == QLatin1String("--backlog"))
            backlogRecords = arguments[n + 1].toLongLong();
        else if (arguments[n] == QLatin1String("--central"))
            centralRecords = arguments[n + 1].toLongLong();
    }
    QTemporaryDir dir;
    // A central journal kept from an earlier run (BENCH_FLEET_HOLD=1) is timed again as it is.
    if (qEnvironmentVariableIsSet("BENCH_FLEET_CENTRAL")) {
        dataDirectory = qEnvironmentVariable("BENCH_FLEET_DATA");
        timeCentral(qEnvironmentVariable("BENCH_FLEET_CENTRAL"), dir.path(), 0);
        return 0;
    }
    PgTestServer pg;
    pg.setSettings(Settings);
    dataDirectory = pg.dataDirectory();
    QString error;
    if (!pg.start(&error))
        qFatal("%s", qPrintable(error));
    std::printf("A PostgreSQL 15 server of its own, on this machine (%d processors): %s\n",
                QThread::idealThreadCount(), qPrintable(Settings));
    constexpr int LoadSites = 100;
    QStringList sites{QStringLiteral("backlog"), QStringLiteral("steady")};
    for (int n = 0; n < LoadSites; ++n)
        sites.append(QStringLiteral("load%1").arg(n, 3, 10, QLatin1Char('0')));
    PgConnection server;
    if (!server.open(pg.conninfo()) || !FleetSchema::install(server, sites, &error))
        qFatal("%s", qPrintable(error + server.errorText()));
    server.close();
    for (const QString& site : sites + QStringList{QStringLiteral("dispatcher")})
        pg.setPassword(QStringLiteral("ostrovel_") + site, site + QStringLiteral("-pass"));

    double bulkCostMs = 0;
    const double localBytes = backlog(pg, dir.path(), int(backlogRecords), &bulkCostMs);
    steadyState(pg, dir.path());
    double costMs = 0;
    load(pg, dir.path(), LoadSites, &costMs);
    // Half the processors for the recorders, the rest for dispatchers, vacuum and peaks.
    const int processors = QThread::idealThreadCount();
    const double sitesCarried = processors * 0.5 * 10000 / costMs;
    std::printf("  one server of this size, half its %d processors for recorders at one event "
                "per 10 s: %.0f sites\n  (in a backlog a record costs it %.3f ms)\n",
                processors, sitesCarried, bulkCostMs);
    const QString central = makeCentralDatabase(pg, centralRecords);
    if (qEnvironmentVariableIsSet("BENCH_FLEET_HOLD")) {
        std::printf("holding the server: BENCH_FLEET_CENTRAL='%s' BENCH_FLEET_DATA='%s' "
                    "PGPASSFILE='%s'\n",
                    qPrintable(central), qPrintable(pg.dataDirectory()),
                    qgetenv("PGPASSFILE").constData());
        std::fflush(stdout);
        QThread::sleep(100000);
    }
    timeCentral(central, dir.path(), localBytes);
    return 0;
}
