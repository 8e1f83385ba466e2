#include "fleetforwarder.h"
#include "fleetquery.h"
#include "journalfile.h"
#include "journalmodel.h"
#include "pgconnection.h"
#include "pgtestserver.h"
#include "qjournalwindow.h"
#include "testsupport.h"

#include <csignal>
#include <memory>

namespace {

PgTestServer* server = nullptr;

// ostrovel-cli running, its standard error gathered.
class Cli : public QProcess
{
public:
    explicit Cli(const QStringList& arguments)
    {
        connect(this, &QProcess::readyReadStandardError, this,
                [this] { errors += QString::fromUtf8(readAllStandardError()); });
        start(OSTROVEL_CLI, arguments);
    }
    ~Cli() override
    {
        kill();
        waitForFinished();
    }
    int stop(int signal = SIGTERM)
    {
        ::kill(pid_t(processId()), signal);
        if (!waitForFinished(30000))
            return -1;
        QCoreApplication::sendPostedEvents();
        return exitStatus() == QProcess::NormalExit ? exitCode() : -1;
    }
    QString errors;
};

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

// A journal file with count panel records of keys first.. received a millisecond apart.
void makeJournal(const QString& file, int count, quint32 first = 1, qint64 start = 0)
{
    JournalFile journal(file);
    QCOMPARE(journal.openForWriting(), JournalFile::State::Writable);
    if (start == 0)
        start = QDateTime::currentMSecsSinceEpoch() - count;
    QVector<JournalRecord> records;
    for (int n = 0; n < count; ++n) {
        const quint32 key = first + quint32(n);
        QByteArray raw(6, '\0');
        raw[0] = char(key & 0xFF);
        raw[1] = char((key >> 8) & 0xFF);
        raw[2] = char((key >> 16) & 0xFF);
        records.append(JournalRecord::fromPanel(raw, start + n, "/dev/ttyUSB0"));
    }
    QVERIFY2(journal.append(records), qPrintable(journal.errorText()));
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
// forwarding through server stops and kills, and reading it back.
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
            QCOMPARE(runCli({"fleet", "init", "--site", "alpha", "--site", "beta", pg.conninfo()},
                            nullptr, &errors),
                     0);
            // Running it again changes nothing.
            if (run)
                QCOMPARE(catalog(), before);
            QVERIFY2(errors.contains(run ? "уже версии 1" : "подготовлен: версия 1"),
                     qPrintable(errors));
        }
        QVERIFY(pg.setPassword("ostrovel_alpha", "a-pass"));
        QVERIFY(pg.setPassword("ostrovel_beta", "b-pass"));
        QVERIFY(pg.setPassword("ostrovel_dispatcher", "d-pass"));
    }
    void cleanupTestCase() { server = nullptr; }

    void whatEachRoleMayNotDo_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("statement");
        const QString beta = "(SELECT id FROM fleet.site WHERE name = 'beta')";
        const QString insert =
            "INSERT INTO fleet.record (id, site, text, kind) VALUES (%1, %2, 1, 0)";
        QTest::newRow("insert for another site")
            << "alpha" << insert.arg(QDateTime::currentMSecsSinceEpoch() * 16).arg(beta);
        QTest::newRow("label for another site")
            << "alpha" << QString("INSERT INTO fleet.label VALUES (%1, 99, 'x')").arg(beta);
        QTest::newRow("read records") << "alpha" << QString("SELECT count(*) FROM fleet.record");
        QTest::newRow("read owners") << "alpha" << QString("SELECT count(*) FROM fleet.owner");
        QTest::newRow("delete") << "alpha" << QString("DELETE FROM fleet.record");
        QTest::newRow("change records") << "alpha" << QString("UPDATE fleet.record SET kind = 1");
        QTest::newRow("change its site")
            << "alpha" << QString("UPDATE fleet.site SET last_record = 0");
        QTest::newRow("change counts") << "alpha" << QString("DELETE FROM fleet.record_day");
        QTest::newRow("dispatcher inserts")
            << "dispatcher" << insert.arg(QDateTime::currentMSecsSinceEpoch() * 16).arg(beta);
        QTest::newRow("dispatcher deletes") << "dispatcher" << QString("DELETE FROM fleet.record");
        QTest::newRow("dispatcher reports") << "dispatcher" << QString("SELECT fleet.report(0, 0)");
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
        auto watch = std::make_unique<Cli>(QStringList{"watch", "--port", sim.slavePath(),
                                                       "--journal", journal, "--site", "alpha",
                                                       "--forward", recorder("alpha")});
        QTRY_VERIFY_WITH_TIMEOUT(serverIds("alpha").size() > 0, 20000);
        QCOMPARE(watch->stop(SIGKILL), -1);
        const int before = serverIds("alpha").size();
        QVERIFY2(before < 30000, "the backlog should have been cut short");

        // Started again, it goes on from what the server holds; meanwhile the server goes away
        // and comes back while the panel's events keep being recorded.
        watch = std::make_unique<Cli>(QStringList{"watch", "--port", sim.slavePath(), "--journal",
                                                  journal, "--site", "alpha", "--forward",
                                                  recorder("alpha")});
        QTRY_COMPARE_WITH_TIMEOUT(serverIds("alpha").size(), 30000, 30000);
        QVERIFY(pg.stop());
        for (quint32 key = 1; key <= 5; ++key)
            sim.queueKey(key);
        QTRY_COMPARE_WITH_TIMEOUT(localIds(journal).size(), 30005, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(watch->errors.contains("Ждут отправки записей: 5;"), 20000);
        QVERIFY(pg.restart());
        QTRY_VERIFY_WITH_TIMEOUT(watch->errors.contains("возобновлена"), 30000);
        // Everything arrives once and in order.
        QTRY_COMPARE_WITH_TIMEOUT(serverIds("alpha"), localIds(journal), 20000);
        QCOMPARE(watch->stop(), 0);
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

    void twoSitesAtOnceAndAWrongPassword()
    {
        const QString a = dir.filePath("two-a.sqlite");
        const QString b = dir.filePath("two-b.sqlite");
        makeJournal(a, 3000, 1);
        makeJournal(b, 3000, 100000);
        // beta's password file holds a wrong password: said plainly, and recording goes on.
        QVERIFY(pg.setPassword("ostrovel_beta", "b-pass", "wrong"));
        FleetForwarder alpha(a, "alpha", recorder("alpha"));
        FleetForwarder beta(b, "beta", recorder("beta"));
        QSignalSpy said(&beta, &FleetForwarder::message);
        alpha.start();
        beta.start();
        QTRY_VERIFY_WITH_TIMEOUT(!said.isEmpty(), 10000);
        const QString text = said.first().first().toString();
        QVERIFY2(text.contains("не принял пароль") && !text.contains("wrong"), qPrintable(text));
        makeJournal(b, 10, 200000);
        QCOMPARE(localIds(b).size(), 3010);
        QVERIFY(pg.setPassword("ostrovel_beta", "b-pass"));
        QTRY_VERIFY_WITH_TIMEOUT(serverIds("beta") == localIds(b), 20000);
        const QList<qint64> fromA = localIds(a);
        QTRY_VERIFY_WITH_TIMEOUT(
            serverIds("alpha").mid(serverIds("alpha").indexOf(fromA.first())) == fromA, 20000);
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
        // The chart is drawn from the server too.
        childOf<QTabWidget>(&window, "tabWidget")->setCurrentIndex(1);
        QVERIFY(!childOf<QLabel>(&window, "lMessage")->isVisible());
        // A server away is said in the window.
        QVERIFY(pg.stop());
        window.findChild<QAction*>("actionRefresh")->trigger();
        QVERIFY(
            childOf<QLabel>(&window, "lMessage")->text().contains("Журнал объектов не показан"));
        QVERIFY(pg.restart());
        window.setServer(QString());
        QVERIFY(!sites->isVisible());
    }
};

QTEST_MAIN(TestFleet)
#include "tst_fleet.moc"
