#include "application.h"
#include "importwriter.h"
#include "panelsimulator.h"
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
    qint64 writingMs = 0;
};

// Runs a writer on file and kills it outright (SIGKILL) killAtMs after its transaction began,
// that is after its journal appeared; a negative time lets it end.
Writing runWriter(QStringList arguments, const QString& file, int killAtMs)
{
    QProcess process;
    const QString program = arguments.takeFirst();
    process.start(program, arguments);
    QElapsedTimer writing;
    for (QDeadlineTimer deadline(60000);
         !deadline.hasExpired() && process.state() != QProcess::NotRunning; QTest::qWait(1)) {
        if (!writing.isValid() && QFile::exists(file + "-journal"))
            writing.start();
        if (killAtMs >= 0 && writing.isValid() && writing.elapsed() >= killAtMs) {
            ::kill(pid_t(process.processId()), SIGKILL);
            process.waitForFinished();
        }
    }
    Writing result;
    result.writingMs = writing.isValid() ? writing.elapsed() : -1;
    result.rows = checkedRows(file).replaceInStrings(QRegularExpression("Случайное число: \\d+"),
                                                     "Случайное число");
    return result;
}

} // namespace

// Writers killed at a random moment of their transaction, several times each: ostrovel-cli
// importing a CSV file of 25 000 lines, and the window's test data generation and import
// writing. The database then opens, passes the program's checks and holds the rows of before or
// of after, never a mix.
class TestKilledWrites : public QObject
{
    Q_OBJECT

    static constexpr int Kills = 3;
    QTemporaryDir dir;

private slots:
    void killedMidWrite_data()
    {
        // FILE stands for the database, CSV for the file of 25 000 lines; the database holds
        // two subscribers before when asked.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("filled");
        const QString self = QCoreApplication::applicationFilePath();
        QTest::newRow("ostrovel-cli csv import") << QStringList{OSTROVEL_CLI,
                                                                "csv",
                                                                "import",
                                                                "--columns",
                                                                "subscriber,apartment,phone,key",
                                                                "--format",
                                                                "2",
                                                                "FILE",
                                                                "CSV"}
                                                 << true;
        QTest::newRow("test data generation")
            << QStringList{self, "--write", "generation", "FILE"} << false;
        QTest::newRow("import from the panel")
            << QStringList{self, "--write", "import", "FILE"} << true;
    }
    void killedMidWrite()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, filled);
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
        if (filled) {
            before.addSubscriber(20000, "7", "5551234");
            before.addSubscriber(20001, {}, "");
            before.addKey(20000, 70000, 2, "70000");
        }
        before.close();
        const QStringList beforeRows = checkedRows(before.path());
        const QString file = dir.filePath("house.zelkor");
        arguments.replaceInStrings(QRegularExpression("^CSV$"), csv.fileName())
            .replaceInStrings(QRegularExpression("^FILE$"), file);

        QFile::remove(file);
        QVERIFY(QFile::copy(before.path(), file));
        const Writing whole = runWriter(arguments, file, -1);
        QVERIFY2(whole.writingMs >= 0 && whole.rows != beforeRows, qPrintable(whole.rows.value(0)));
        for (int run = 0; run < Kills; ++run) {
            for (const QString& name : {file, file + "-journal"})
                QFile::remove(name);
            QVERIFY(QFile::copy(before.path(), file));
            const int killAt = QRandomGenerator::global()->bounded(int(whole.writingMs) + 1);
            const QStringList rows = runWriter(arguments, file, killAt).rows;
            qInfo("killed %d ms into a writing of %lld ms: %s", killAt, whole.writingMs,
                  rows == beforeRows   ? "as before"
                  : rows == whole.rows ? "whole"
                                       : "mixed");
            QVERIFY(rows == beforeRows || rows == whole.rows);
        }
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
