#include "application.h"
#include "datafolders.h"
#include "importwriter.h"
#include "panelsimulator.h"
#include "snapshots.h"
#include "testdatabase.h"
#include "testdatagenerator.h"

#include <QtTest>

#include <csignal>

namespace {

// What the window's own writers do to a database file, in a process of their own here so that
// a test can kill them: the test data generation, and the writing of what the import read from
// a panel of 25 000 subscribers.
int writeAsTheWindowDoes(const QByteArray& writer, const QString& file)
{
    if (writer == "generation")
        return TestData::generateFile(file, [](int) {}).isEmpty() ? 0 : 1;
    PanelTables::PanelImage image;
    image.settings = PanelSimulator().settings();
    for (int n = 0; n < PanelTables::Records; ++n)
        image.subscribers.insert(
            n, {{uint(n + 1)}, n, QString::number(n + 1), QString::number(89160000000LL + n)});
    const ImportWriter::Result result = ImportWriter::writeFile(
        file, image, false, 2, [](int) {}, [] { return false; });
    return result.status == ImportWriter::Result::Written ? 0 : 1;
}

struct Writing
{
    QStringList rows; // what the file holds afterwards, the generator's random texts left out
    qint64 writingUs = -1;
    qint64 snapshotUs = -1; // when the journal appeared, after the snapshot taken first
};

QStringList files(const QList<Snapshots::Snapshot>& snapshots)
{
    QStringList names;
    for (const Snapshots::Snapshot& snapshot : snapshots)
        names << snapshot.file;
    return names;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Runs a writer on file and kills it outright (SIGKILL) killAtUs microseconds after its writing
// began, that is after its journal or a new file in its snapshot folder appeared; a negative
// time lets it end. Watched without a pause in the last 20 ms before the kill, and until the
// journal appeared in a run not killed, so as to time a snapshot that takes milliseconds.
Writing runWriter(QStringList arguments, const QString& file, qint64 killAtUs)
{
    const QString snapshots = DataFolders::snapshotFolder(file);
    const QStringList kept = entries(snapshots);
    QProcess process;
    const QString program = arguments.takeFirst();
    process.start(program, arguments);
    Writing result;
    QElapsedTimer writing;
    const auto elapsedUs = [&writing] {
        return writing.isValid() ? writing.nsecsElapsed() / 1000 : -1;
    };
    for (QDeadlineTimer deadline(60000);
         !deadline.hasExpired() && process.state() != QProcess::NotRunning;) {
        const bool journal = QFile::exists(file + "-journal");
        if (!writing.isValid() && (journal || entries(snapshots) != kept))
            writing.start();
        if (journal && result.snapshotUs < 0)
            result.snapshotUs = elapsedUs();
        if (killAtUs >= 0 && elapsedUs() >= killAtUs) {
            ::kill(pid_t(process.processId()), SIGKILL);
            process.waitForFinished();
        } else if (killAtUs < 0 ? result.snapshotUs < 0
                                : killAtUs - std::max<qint64>(elapsedUs(), 0) < 20000) {
            QCoreApplication::processEvents();
        } else {
            QTest::qWait(1);
        }
    }
    result.writingUs = elapsedUs();
    result.rows = checkedRows(file).replaceInStrings(QRegularExpression("Случайное число: \\d+"),
                                                     "Случайное число");
    return result;
}

} // namespace

// Writers killed at a random moment of their writing, several times each: ostrovel-cli
// importing a CSV file of 25 000 lines, also after clearing the database, and the window's test
// data generation and import writing. The database then opens, passes the program's checks and
// holds the rows of before or of after, never a mix; a snapshot taken first is listed only
// whole, and what a killed one left is swept by the next run.
class TestKilledWrites : public QObject
{
    Q_OBJECT

    static constexpr int Kills = 3;
    QTemporaryDir dir;

private slots:
    void initTestCase() { qputenv("OSTROVEL_SNAPSHOTS", dir.filePath("snapshots").toUtf8()); }

    void killedMidWrite_data()
    {
        // FILE stands for the database, CSV for the file of 25 000 lines; the database holds
        // that many subscribers before.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("filled");
        const QString self = QCoreApplication::applicationFilePath();
        const QStringList import = {
            OSTROVEL_CLI, "csv", "import", "--columns", "subscriber,apartment,phone,key",
            "--format",   "2",   "FILE",   "CSV"};
        QTest::newRow("ostrovel-cli csv import") << import << 2;
        QTest::newRow("ostrovel-cli csv import --clear")
            << import + QStringList{"--clear"} << 12002;
        QTest::newRow("test data generation")
            << QStringList{self, "--write", "generation", "FILE"} << 0;
        QTest::newRow("import from the panel")
            << QStringList{self, "--write", "import", "FILE"} << 2;
    }
    void killedMidWrite()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, filled);
        // Two keys for each of 12 500 subscribers.
        QFile csv(dir.filePath("tenants.csv"));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        for (int n = 0; n < 25000; ++n)
            csv.write(QString("%1\t%2\t%3\t%4\r\n")
                          .arg(n / 2)
                          .arg(n / 2 + 1)
                          .arg(89160000000LL + n / 2)
                          .arg(n + 1)
                          .toLatin1());
        csv.close();
        TestDatabase before;
        if (filled > 0) {
            before.addSubscriber(20000, "7", "5551234");
            before.addSubscriber(20001, {}, "");
            before.addKey(20000, 70000, 2, "70000");
        }
        // Many rows, and free pages, which its snapshot copies too: a copy that takes a while.
        if (filled > 2) {
            before.exec(QString("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                "WHERE i < %1) INSERT INTO subscriber (id, apartment, phone) "
                                "SELECT i, i + 50000, 89170000000 + i FROM n")
                            .arg(filled - 2));
            before.exec("INSERT INTO card (id, number, subscriber_id) SELECT 100000 + id, id, id "
                        "FROM subscriber WHERE id < 20000");
            before.exec("CREATE TABLE filler AS SELECT zeroblob(4000000)");
            before.exec("DROP TABLE filler");
        }
        before.close();
        const QStringList beforeRows = checkedRows(before.path());
        const QString file = dir.filePath("house.zelkor");
        const QString snapshots = DataFolders::snapshotFolder(file);
        QDir(snapshots).removeRecursively();
        arguments.replaceInStrings(QRegularExpression("^CSV$"), csv.fileName())
            .replaceInStrings(QRegularExpression("^FILE$"), file);

        // A fresh copy of before, without the journal of a run killed before.
        const auto copyBefore = [&] {
            for (const QString& name : {file, file + "-journal"})
                QFile::remove(name);
            return QFile::copy(before.path(), file);
        };
        QVERIFY(copyBefore());
        const Writing whole = runWriter(arguments, file, -1);
        QVERIFY2(whole.writingUs >= 0 && whole.rows != beforeRows, qPrintable(whole.rows.value(0)));
        // A writer that takes a snapshot is killed as often again while it takes it, at moments
        // spread over it, and then once more left to end, sweeping what the killed ones left.
        QList<Snapshots::Snapshot> listed = Snapshots::list(file);
        const int runs = listed.isEmpty() ? Kills : 2 * Kills + 1;
        QMap<QByteArray, int> outcomes;
        for (int run = 0; run < runs; ++run) {
            QVERIFY(copyBefore());
            const double random = QRandomGenerator::global()->generateDouble();
            const qint64 killAt = run < Kills ? qint64(random * whole.writingUs)
                                  : run < 2 * Kills
                                      ? qint64((run - Kills + random) * whole.snapshotUs / Kills)
                                      : -1;
            const QStringList rows = runWriter(arguments, file, killAt).rows;
            const QList<Snapshots::Snapshot> taken = Snapshots::list(file);
            const QByteArray outcome = rows == beforeRows   ? "as before"
                                       : rows == whole.rows ? "whole"
                                                            : "mixed";
            const int left = entries(snapshots).size() - 2 * int(taken.size());
            qInfo("killed %.1f ms into a writing of %.1f ms (the journal from %.1f ms): %s, %d "
                  "snapshots, %d files left to sweep",
                  killAt / 1000.0, whole.writingUs / 1000.0, whole.snapshotUs / 1000.0,
                  outcome.constData(), int(taken.size()), left);
            ++outcomes[outcome + (taken.size() > listed.size() ? ", snapshot taken" : "")];
            // Nothing changed without a whole snapshot first, and none listed went.
            QVERIFY(rows == beforeRows || rows == whole.rows);
            QCOMPARE(files(taken.mid(taken.size() - listed.size())), files(listed));
            if (taken.size() > listed.size())
                QCOMPARE(checkedRows(taken.first().file), beforeRows);
            else
                QVERIFY(listed.isEmpty() || rows == beforeRows);
            if (killAt < 0)
                QCOMPARE(left, 0);
            listed = taken;
        }
        for (auto outcome = outcomes.cbegin(); outcome != outcomes.cend(); ++outcome)
            qInfo("%d of %d runs: %s", outcome.value(), runs, outcome.key().constData());
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Application::initResources();
    if (argc == 4 && qstrcmp(argv[1], "--write") == 0)
        return writeAsTheWindowDoes(argv[2], QString::fromLocal8Bit(argv[3]));
    TestKilledWrites test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_killedwrites.moc"
