#include "fleetforwarder.h"
#include "fleetquery.h"
#include "journalchartview.h"
#include "journalfile.h"
#include "journalmodel.h"
#include "pgconnection.h"
#include "pgtestserver.h"
#include "qjournalwindow.h"
#include "testsupport.h"
#include "watcher.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QSqlError>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace {

PgTestServer* server = nullptr;

// Runs ostrovel-cli to its end: exit code, standard output's lines, standard error.
int runCli(const QStringList& arguments, QStringList* lines = nullptr, QString* errors = nullptr)
{
    QProcess cli;
    cli.start(OSTROVEL_CLI, arguments);
    cli.waitForFinished(60000);
    if (lines)
        *lines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    if (errors)
        *errors = QString::fromUtf8(cli.readAllStandardError());
    return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

// The records of a journal file: their ids in order.
QList<qint64> localIds(const QString& file)
{
    JournalFile journal(file);
    QList<qint64> ids;
    if (journal.openForReading() != JournalFile::State::ReadOnly)
        return ids;
    QSqlQuery query(journal.database());
    query.exec("SELECT id FROM record ORDER BY id");
    while (query.next())
        ids.append(query.value(0).toLongLong());
    return ids;
}

// The records the server holds of a site: their local ids in the order they arrived in (the
// heap's order within each month is the order of the inserts).
QList<qint64> serverIds(const QString& site)
{
    PgConnection connection;
    PgConnection::Rows rows;
    QList<qint64> ids;
    if (!connection.open(server->conninfo()) ||
        !connection.exec("SELECT r.id FROM fleet.record r JOIN fleet.site s ON s.id = r.site"
                         " WHERE s.name = $1 ORDER BY r.id",
                         {site}, &rows))
        return ids;
    for (const QVariantList& row : rows)
        ids.append(row[0].toLongLong());
    return ids;
}

// The parity bits a process killed in the middle of an exchange left on a serial line.
void clearParity(const QString& port)
{
    const int fd = ::open(QFile::encodeName(port).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios line{};
    if (fd >= 0 && tcgetattr(fd, &line) == 0) {
        line.c_cflag &= ~tcflag_t(PARODD | CMSPAR);
        tcsetattr(fd, TCSANOW, &line);
    }
    if (fd >= 0)
        ::close(fd);
}

// How many records the server holds of a site.
int serverCount(const QString& site)
{
    return server
        ->value("SELECT count(*) FROM fleet.record r JOIN fleet.site s ON s.id = r.site"
                " WHERE s.name = '" +
                site + "'")
        .toInt();
}

// A journal file with count records of keys first.. received a millisecond apart (from start,
// or ending now): mostly panel records, some with their owner, stored by the panel, or the
// program's own actions.
void makeJournal(const QString& file, int count, quint32 first = 1, qint64 start = 0)
{
    JournalFile journal(file);
    QCOMPARE(journal.openForWriting(), JournalFile::State::Writable);
    if (start == 0)
        start = QDateTime::currentMSecsSinceEpoch() - count;
    QVector<JournalRecord> records;
    for (int n = 0; n < count; ++n) {
        const quint32 key = first + quint32(n);
        const qint64 ms = start + n;
        if (n % 50 == 49) {
            records.append(JournalRecord::action("Открыть замок", n % 100 ? "успешно" : "\"нет\"",
                                                 "/dev/ttyUSB0", ms));
            continue;
        }
        const char raw[] = {char(key), char(key >> 8), char(key >> 16), 0, char(n % 7 ? 0 : 5), 0};
        JournalRecord record = JournalRecord::fromPanel(QByteArray(raw, 6), ms, "/dev/ttyUSB0");
        if (n % 3 == 0) {
            record.owner = {int(key % 500), QString::number(key % 250),
                            "Жильцова А.\tБ. " + QString::number(key % 7)};
            record.database = "/home/консьерж/дом \\5.zelkor";
        }
        if (n % 40 == 1) {
            record.stored = true;
            record.storedFrom = n % 80 == 1 ? 0 : ms - 60000;
            record.storedUntil = ms + 5;
        }
        records.append(record);
    }
    QVERIFY2(journal.append(records), qPrintable(journal.errorText()));
}

// What `ostrovel-cli journal --json` prints of a local journal, or of a site on the server
// without its name, with a filter: the two must agree field by field.
QStringList printed(const QString& journalOrSite, const QStringList& filter = {})
{
    QStringList lines;
    const bool local = journalOrSite.contains('/');
    if (runCli(QStringList{"journal", "--json"} + filter +
                   (local ? QStringList{"--journal", journalOrSite}
                          : QStringList{"--server", server->conninfo("ostrovel_dispatcher"),
                                        "--site", journalOrSite}),
               &lines) != 0)
        return {"failed"};
    // The keys come in alphabetical order: the site's between "raw" and "stored".
    const QString site = QString("\"site\":\"%1\",").arg(journalOrSite);
    for (QString& line : lines) {
        if (!local && line.indexOf(site) < 0)
            return {"another site"};
        line.remove(site);
    }
    return lines;
}

QString catalog()
{
    return server->value(
        "SELECT string_agg(x, ',' ORDER BY x) FROM (SELECT relname::text || relkind AS x FROM"
        " pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = 'fleet'"
        " UNION ALL SELECT policyname || tablename FROM pg_policies WHERE schemaname = 'fleet'"
        " UNION ALL SELECT rolname FROM pg_roles WHERE rolname LIKE 'ostrovel%'"
        " UNION ALL SELECT grantee || privilege_type || table_name FROM"
        " information_schema.role_table_grants WHERE table_schema = 'fleet'"
        " UNION ALL SELECT name || recorder FROM fleet.site"
        " UNION ALL SELECT version::text FROM fleet.meta) all_of_it");
}

} // namespace

// The fleet journal on a PostgreSQL server of the test's own: its schema and roles, recorders
// forwarding through server stops, kills and late writes, and reading it back.
class TestFleet : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    PgTestServer pg;

    QString recorder(const QString& site) const { return pg.conninfo("ostrovel_" + site); }

private slots:
    void initTestCase()
    {
        prepareGuiTest();
        server = &pg;
        QString error;
        QVERIFY2(pg.start(&error), qPrintable(error));
        for (int run = 0; run < 2; ++run) {
            const QString before = run ? catalog() : QString();
            QString errors;
            QCOMPARE(runCli({"fleet", "init", "--site", "alpha", "--site", "beta", "--site",
                             "late1", "--site", "late2", "--site", "late3", "--site", "late4",
                             "--site", "copy1", pg.conninfo()},
                            nullptr, &errors),
                     0);
            // Running it again changes nothing.
            if (run)
                QCOMPARE(catalog(), before);
            QVERIFY2(errors.contains(run ? "уже версии 1" : "подготовлен: версия 1"),
                     qPrintable(errors));
        }
        for (const QString role :
             {"alpha", "beta", "late1", "late2", "late3", "late4", "copy1", "dispatcher"})
            QVERIFY(pg.setPassword("ostrovel_" + role, role + "-pass"));
    }
    void cleanupTestCase() { server = nullptr; }

    void whatEachRoleMayNotDo_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("statement");
        // A site's number, as a recorder that cannot see the site might guess it.
        const QString beta = pg.value("SELECT id FROM fleet.site WHERE name = 'beta'");
        const QString insert =
            "INSERT INTO fleet.record (id, site, text, kind) VALUES (%1, %2, 1, 0)";
        QTest::newRow("insert for another site")
            << "alpha" << insert.arg(QDateTime::currentMSecsSinceEpoch() * 16).arg(beta);
        QTest::newRow("add a text")
            << "alpha" << QString("INSERT INTO fleet.label VALUES (99, 'x')");
        QTest::newRow("change a text") << "alpha" << QString("UPDATE fleet.label SET text = 'x'");
        QTest::newRow("read texts") << "alpha" << QString("SELECT count(*) FROM fleet.label");
        QTest::newRow("read records") << "alpha" << QString("SELECT count(*) FROM fleet.record");
        QTest::newRow("read owners") << "alpha" << QString("SELECT count(*) FROM fleet.owner");
        QTest::newRow("delete") << "alpha" << QString("DELETE FROM fleet.record");
        QTest::newRow("change records") << "alpha" << QString("UPDATE fleet.record SET kind = 1");
        QTest::newRow("change its site")
            << "alpha" << QString("UPDATE fleet.site SET forwarded_seq = 0");
        QTest::newRow("change counts") << "alpha" << QString("DELETE FROM fleet.record_day");
        QTest::newRow("dispatcher inserts")
            << "dispatcher" << insert.arg(QDateTime::currentMSecsSinceEpoch() * 16).arg(beta);
        QTest::newRow("dispatcher deletes") << "dispatcher" << QString("DELETE FROM fleet.record");
        QTest::newRow("dispatcher adds texts")
            << "dispatcher" << QString("SELECT fleet.label_ids('{x}')");
        QTest::newRow("dispatcher moves a site")
            << "dispatcher" << QString("SELECT fleet.acknowledge(0, 0, 0, 0)");
    }
    void whatEachRoleMayNotDo()
    {
        QFETCH(QString, role);
        QFETCH(QString, statement);
        PgConnection connection;
        QVERIFY2(connection.open(pg.conninfo("ostrovel_" + role)),
                 qPrintable(connection.errorText()));
        QVERIFY(!connection.exec(statement));
        QVERIFY2(connection.errorCode() == "42501" &&
                     connection.errorText().startsWith("Сервер журнала отказал"),
                 qPrintable(connection.errorCode() + connection.errorText()));
        // It sees its own site only.
        if (role == "alpha")
            QCOMPARE(connection.value("SELECT string_agg(name, ',') FROM fleet.site").toString(),
                     QString("alpha"));
    }

    void backlogSurvivesStopsAndKills()
    {
        // A week offline: a backlog, and a recorder killed outright in the middle of sending it.
        const QString journal = dir.filePath("alpha.sqlite");
        makeJournal(journal, 30000);
        PanelSimulator sim;
        QVERIFY(sim.start());
        const QStringList watch{"watch",  "--port", sim.slavePath(), "--journal",      journal,
                                "--site", "alpha",  "--forward",     recorder("alpha")};
        auto cli = std::make_unique<Watcher>(watch);
        QTRY_VERIFY_WITH_TIMEOUT(serverCount("alpha") > 0, 20000);
        QCOMPARE(cli->stop(SIGKILL), -1);
        // A batch under way when it was killed is stored or not, by the time its session ends.
        QTRY_COMPARE(pg.value("SELECT count(*) FROM pg_stat_activity WHERE usename ="
                              " 'ostrovel_alpha'"),
                     QString("0"));
        const int before = serverCount("alpha");
        QVERIFY2(before < 30000, "the backlog should have been cut short");

        // Killed in the middle of an exchange, it left the line in mark or space parity, of which
        // a pseudo-terminal keeps only half, and QSerialPort refuses such a line; a serial
        // adapter's line keeps it whole.
        clearParity(sim.slavePath());

        // Started again, it goes on from what the server holds; meanwhile the server goes away
        // and comes back while the panel's events keep being recorded.
        cli = std::make_unique<Watcher>(watch);
        QTRY_VERIFY2_WITH_TIMEOUT(
            cli->errors.contains(QString("ждут отправки записей: %1.").arg(30000 - before)),
            qPrintable(cli->errors), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(serverCount("alpha"), 30000, 30000);
        QVERIFY(pg.stop());
        for (quint32 key = 1; key <= 5; ++key)
            sim.queueKey(key);
        QTRY_COMPARE_WITH_TIMEOUT(localIds(journal).size(), 30005, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(cli->errors.contains("Ждут отправки записей: 5;"), 20000);
        QVERIFY(pg.restart());
        QTRY_VERIFY_WITH_TIMEOUT(cli->errors.contains("возобновлена (объект alpha), ждут "
                                                      "отправки записей: 5."),
                                 30000);
        // Everything arrives once and in order, texts and owners as the journal has them.
        QTRY_COMPARE_WITH_TIMEOUT(serverCount("alpha"), 30005, 20000);
        QCOMPARE(serverIds("alpha"), localIds(journal));
        QCOMPARE(cli->stop(), 0);
        // Texts and owners learnt anew after the kill, over every batch.
        for (const QStringList& filter :
             {QStringList{"--kind", "action"}, QStringList{"--apartment", "7"}})
            QCOMPARE(printed("alpha", filter), printed(journal, filter));
        // The server knows how far the site is and that nothing waits.
        QVector<FleetQuery::SiteStatus> sites;
        PgConnection connection;
        QString error;
        QVERIFY(connection.open(pg.conninfo()));
        QVERIFY(FleetQuery::status(connection, 3600000, QDateTime::currentMSecsSinceEpoch(), &sites,
                                   &error));
        QCOMPARE(sites.last().name, QString("alpha"));
        QCOMPARE(sites.last().records, qint64(30005));
        QCOMPARE(sites.last().backlog, qint64(0));
        QVERIFY(!sites.last().silent && sites.first().silent);
    }

    void recordsWrittenLate_data()
    {
        // Milliseconds before the newest record forwarded that a record was received, which is
        // only now written; or a journal made anew with records older than the server holds.
        QTest::addColumn<QString>("site");
        QTest::addColumn<qint64>("late");
        QTest::addColumn<QString>("how");
        QTest::newRow("two writers") << "late1" << qint64(20) << "append";
        QTest::newRow("held while the journal could not be written")
            << "late2" << qint64(600000) << "append";
        QTest::newRow("by an earlier version") << "late3" << qint64(30) << "no seq";
        QTest::newRow("the journal made anew") << "late4" << qint64(20000) << "new journal";
    }
    void recordsWrittenLate()
    {
        QFETCH(QString, site);
        QFETCH(qint64, late);
        QFETCH(QString, how);
        const QString file = dir.filePath(site + ".sqlite");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        makeJournal(file, 200, 500000, now - 200);
        QStringList said;
        std::unique_ptr<FleetForwarder> forwarder;
        const auto forward = [&] {
            forwarder = std::make_unique<FleetForwarder>(file, site, recorder(site));
            connect(forwarder.get(), &FleetForwarder::message, this,
                    [&said](const QString& text) { said.append(text); });
            forwarder->setFirstPauseMs(100);
            forwarder->start();
        };
        forward();
        QTRY_COMPARE_WITH_TIMEOUT(serverIds(site), localIds(file), 10000);
        QList<qint64> expected;
        QStringList lines;
        if (how == "append") {
            makeJournal(file, 1, 600000, now - late);
        } else if (how == "no seq") {
            JournalFile journal(file);
            QCOMPARE(journal.openForWriting(), JournalFile::State::Writable);
            QSqlQuery insert(journal.database());
            QVERIFY2(insert.exec(QString("INSERT INTO record (id, kind, code, key, text)"
                                         " VALUES (%1, 0, 0, 600001, 1)")
                                     .arg(JournalFile::firstIdAt(now - late) + 1)),
                     qPrintable(insert.lastError().text()));
        } else {
            expected = serverIds(site);
            lines = printed(site);
            forwarder.reset();
            QVERIFY(QFile::remove(file));
            makeJournal(file, 200, 700000, now - late);
            forward();
        }
        expected += localIds(file);
        std::sort(expected.begin(), expected.end());
        QTRY_COMPARE_WITH_TIMEOUT(serverIds(site), expected, 5000);
        forwarder.reset();
        QCOMPARE(printed(site), printed(file) + lines);
        // A journal made anew is said, and sent from its start.
        QTRY_COMPARE(said.filter("не из журнала").size(), how == "new journal" ? 1 : 0);
    }

    void journalPutBackFromACopy()
    {
        // The server holds records that a journal put back from an older copy has too: they are
        // sent again from its start and stored once, and its new records follow.
        const QString file = dir.filePath("copy1.sqlite");
        const QString copy = dir.filePath("copy1-copy.sqlite");
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        makeJournal(file, 200, 500000, now - 1000);
        QVERIFY(QFile::copy(file, copy));
        makeJournal(file, 50, 800000, now - 500);
        QList<qint64> expected = localIds(file);
        {
            FleetForwarder forwarder(file, "copy1", recorder("copy1"));
            forwarder.start();
            QTRY_COMPARE_WITH_TIMEOUT(serverIds("copy1"), expected, 10000);
        }
        QVERIFY(QFile::remove(file) && QFile::rename(copy, file));
        makeJournal(file, 1, 900000, now);
        expected.append(localIds(file).last());
        FleetForwarder forwarder(file, "copy1", recorder("copy1"));
        QSignalSpy said(&forwarder, &FleetForwarder::message);
        forwarder.start();
        QTRY_COMPARE_WITH_TIMEOUT(serverIds("copy1"), expected, 10000);
        forwarder.stop();
        QStringList lines;
        for (const QList<QVariant>& signal : said)
            lines.append(signal.first().toString());
        QVERIFY2(lines.filter("не из журнала").size() == 1 && lines.filter("прервана").isEmpty(),
                 qPrintable(lines.join('\n')));
    }

    void twoSitesAtOnceAndAWrongPassword()
    {
        const QString a = dir.filePath("two-a.sqlite");
        const QString b = dir.filePath("two-b.sqlite");
        // alpha's new journal begins after the last record the server holds of alpha: a record
        // is its site's and its id, the time it was received.
        makeJournal(
            a, 3000, 1,
            qMax((serverIds("alpha").last() >> 4) + 1, QDateTime::currentMSecsSinceEpoch() - 3000));
        makeJournal(b, 3000, 100000);
        // beta's password file holds a wrong password: said plainly, and recording goes on.
        QVERIFY(pg.setPassword("ostrovel_beta", "beta-pass", "wrong"));
        FleetForwarder alpha(a, "alpha", recorder("alpha"));
        FleetForwarder beta(b, "beta", recorder("beta"));
        beta.setFirstPauseMs(200);
        QSignalSpy said(&beta, &FleetForwarder::message);
        alpha.start();
        beta.start();
        QTRY_VERIFY_WITH_TIMEOUT(!said.isEmpty(), 10000);
        const QString text = said.first().first().toString();
        QVERIFY2(text.contains("не принял пароль") && !text.contains("wrong"), qPrintable(text));
        makeJournal(b, 10, 200000);
        QCOMPARE(localIds(b).size(), 3010);
        QVERIFY(pg.setPassword("ostrovel_beta", "beta-pass"));
        QTRY_VERIFY_WITH_TIMEOUT(serverIds("beta") == localIds(b), 10000);
        // alpha's server records came from another journal: this one is sent from its start.
        QTRY_COMPARE_WITH_TIMEOUT(serverCount("alpha"), 30005 + 3000, 10000);
        const QList<qint64> held = serverIds("alpha");
        for (qint64 id : localIds(a))
            QVERIFY(std::binary_search(held.begin(), held.end(), id));
        alpha.stop();
        beta.stop();
    }

    void dispatcherViewAndCommandAgree()
    {
        // The dispatcher's window and `journal --server` show the same records of both sites.
        const QString dispatcher = pg.conninfo("ostrovel_dispatcher");
        QStringList lines;
        QCOMPARE(runCli({"journal", "--server", dispatcher, "--site", "beta"}, &lines), 0);
        QCOMPARE(lines.size(), 3010);
        QJournalWindow window(dir.filePath("none.sqlite"), [] { return 2; });
        window.show();
        window.setServer(dispatcher);
        JournalModel* model = window.model();
        // Counted from the per-day table: as many as the records themselves.
        QCOMPARE(model->matching(), pg.value("SELECT count(*) FROM fleet.record").toLongLong());
        QVERIFY(!childOf<QTableView>(&window, "tvJournal")->isColumnHidden(JournalModel::Site));
        auto* sites = window.siteFilter();
        QVERIFY(sites->isVisible());
        sites->setCurrentIndex(sites->findText("beta"));
        QTRY_COMPARE(model->matching(), qint64(3010));
        while (model->canFetchMore(QModelIndex()))
            model->fetchMore(QModelIndex());
        QCOMPARE(model->rowCount(), 3010);
        for (int row = 0; row < 3010; ++row) {
            // The command lists oldest first, the window newest first.
            const QStringList fields = lines[3009 - row].split('\t');
            QCOMPARE(model->data(model->index(row, JournalModel::Site)).toString(), fields[0]);
            QCOMPARE(model->data(model->index(row, JournalModel::Key)).toString(), fields[2]);
        }
        // A search matches names as the local journal does, letter for letter: "_" and "%" are
        // no wildcards.
        for (const char* text : {"_", "%"}) {
            childOf<QLineEdit>(&window, "leFilter")->setText(text);
            QTRY_COMPARE(model->matching(), qint64(0));
        }
        childOf<QLineEdit>(&window, "leFilter")->setText("ЖИЛЬЦОВА");
        QTRY_VERIFY(model->matching() > 0);
        childOf<QLineEdit>(&window, "leFilter")->clear();
        QTRY_COMPARE(model->matching(), qint64(3010));
        // The chart is drawn from the server too.
        childOf<QTabWidget>(&window, "tabWidget")->setCurrentIndex(1);
        QVERIFY(!childOf<QLabel>(&window, "lMessage")->isVisible());
        // A server away is said in the window.
        QVERIFY(pg.stop());
        window.findChild<QAction*>("actionRefresh")->trigger();
        QVERIFY(
            childOf<QLabel>(&window, "lMessage")->text().contains("Журнал объектов не показан"));
        QVERIFY(pg.restart());
        // The server gone while the window still holds its connection: the chart, drawn when
        // its tab is shown, says so.
        childOf<QTabWidget>(&window, "tabWidget")->setCurrentIndex(0);
        window.setServer(dispatcher);
        QVERIFY(pg.stop());
        childOf<QTabWidget>(&window, "tabWidget")->setCurrentIndex(1);
        QCOMPARE(childOf<JournalChartView>(&window, "chartView")->chart()->title(),
                 QString("Нет данных: журнал не открыт"));
        QVERIFY(pg.restart());
        window.setServer(QString());
        QVERIFY(!sites->isVisible());
    }

    void dispatcherTypesTheServerAndAPassword()
    {
        // A dispatcher whose password is in no file.
        QVERIFY(pg.exec("CREATE ROLE nightdesk LOGIN PASSWORD 'night-pass'"
                        " IN ROLE ostrovel_dispatcher"));
        const QString conninfo = pg.conninfo("nightdesk");
        const qint64 all = pg.value("SELECT count(*) FROM fleet.record").toLongLong();
        QJournalWindow window(dir.filePath("none.sqlite"), [] { return 2; });
        window.show();
        QStringList prompts;
        const auto type = [&prompts](const QString& text) {
            return [&prompts, text](QWidget* box) {
                auto* dialog = qobject_cast<QInputDialog*>(box);
                QVERIFY(dialog);
                prompts.append(dialog->labelText());
                dialog->setTextValue(text);
                dialog->accept();
            };
        };
        ModalAnswerer answerer;
        // One typed into the server's string opens it, and is not remembered.
        answerer.handle(type(conninfo + " password=night-pass"));
        window.findChild<QAction*>("actionServer")->trigger();
        QCOMPARE(window.model()->matching(), all);
        const QString kept = settingsStore().value("QJournalWindow/Server").toString();
        QVERIFY2(kept.contains("nightdesk") && !kept.contains("night-pass"), qPrintable(kept));

        // Without one it is asked for; one typed wrong is asked again.
        answerer.handle(type(conninfo));
        answerer.handle(type("typo"));
        answerer.handle(type("night-pass"));
        window.findChild<QAction*>("actionServer")->trigger();
        QCOMPARE(window.model()->matching(), all);
        QCOMPARE(prompts.size(), 4);
        QVERIFY(prompts[2].startsWith("Пароль для подключения"));
        QVERIFY(prompts[3].startsWith("Сервер журнала не принял пароль."));
        // Kept for the session: a refresh asks nothing.
        window.findChild<QAction*>("actionRefresh")->trigger();
        QCOMPARE(window.model()->matching(), all);
        QCOMPARE(answerer.seen.size(), 4);
    }

    void journalCommandSaysWhenReadingFails_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("partly"); // the records before the failure were printed
        const QString damaged = dir.filePath("damaged.sqlite");
        QTest::newRow("a journal spoilt at its end")
            << QStringList{"--journal", damaged} << "Не удалось прочитать журнал " + damaged
            << true;
        QTest::newRow("a recorder's role")
            << QStringList{"--server", recorder("alpha")}
            << "Не удалось прочитать журнал на сервере: Сервер журнала отказал" << false;
        QTest::newRow("a site the server lacks")
            << QStringList{"--server", pg.conninfo("ostrovel_dispatcher"), "--site", "omega"}
            << "Не удалось прочитать журнал на сервере: На сервере журнала нет объекта «omega»"
            << false;
        QTest::newRow("the server away")
            << QStringList{"--server", pg.conninfo("ostrovel_dispatcher")}
            << "Не удалось подключиться к серверу журнала" << false;
    }
    void journalCommandSaysWhenReadingFails()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        QFETCH(bool, partly);
        const QString damaged = dir.filePath("damaged.sqlite");
        if (!QFile::exists(damaged)) {
            makeJournal(damaged, 20000);
            // The last pages of the file are spoilt (a failing disk): it opens, and reading
            // stops on the way.
            QFile file(damaged);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() * 3 / 4));
            file.write(QByteArray(int(file.size() - file.pos()), '\x55'));
            file.close();
        }
        const bool away = QByteArray(QTest::currentDataTag()) == "the server away";
        if (away)
            QVERIFY(pg.stop());
        QStringList lines;
        QString errors;
        const int code = runCli(QStringList{"journal"} + arguments, &lines, &errors);
        if (away)
            QVERIFY(pg.restart());
        QCOMPARE(code, 1);
        QVERIFY2(errors.startsWith(said), qPrintable(errors));
        QCOMPARE(!lines.isEmpty(), partly);
    }
};

QTEST_MAIN(TestFleet)
#include "tst_fleet.moc"
