#include "journalfile.h"
#include "qzelkorwindow.h"
#include "testsupport.h"
#include "watcher.h"

#include <csignal>
#include <memory>

namespace {

QStringList journalLines(const QString& journal, const QStringList& options = {})
{
    QProcess reader;
    reader.start(OSTROVEL_CLI, QStringList{"journal", "--journal", journal} + options);
    reader.waitForFinished();
    return QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

// `ostrovel-cli watch` and `journal` against simulated panels: what they print and record, the
// window writing the same journal meanwhile, a port that vanishes, a recorder killed outright.
class TestWatch : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() { prepareGuiTest(); }

    void watchBesideTheWindow()
    {
        const QString journal = dir.filePath("shared.sqlite");
        PanelSimulator a, b;
        QVERIFY(a.start() && b.start());
        TestDatabase db;
        db.addSubscriber(4, "17", "");
        db.addKey(4, 5000, 2, "5000");
        db.close();
        a.queueKey(5000); // kept before the recorder came
        Watcher watch({"watch", "--port", a.slavePath(), "--database", db.path(), "--journal",
                       journal, "--json"});
        // The window records another panel into the same journal at the same time.
        qputenv("OSTROVEL_JOURNAL", journal.toLocal8Bit());
        qputenv("OSTROVEL_EXTRA_PORTS", b.slavePath().toLocal8Bit());
        auto window = std::make_unique<QZelKorWindow>();
        QVERIFY(connectWindow(window.get(), b.slavePath()));
        for (int i = 1; i <= 15; ++i) {
            a.queueKey(i);
            b.queueKey(100 + i);
            QTest::qWait(60);
        }
        QTRY_COMPARE_WITH_TIMEOUT(watch.lines.size(), 16, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(b.pendingEvents(), 0, 15000);
        QCOMPARE(watch.stop(), 0);
        window.reset();
        qunsetenv("OSTROVEL_JOURNAL");

        const QJsonObject first = QJsonDocument::fromJson(watch.lines[0].toUtf8()).object();
        QCOMPARE(first["key"].toString(), QString("5000"));
        QCOMPARE(first["owner"].toObject()["apartment"].toString(), QString("17"));
        QCOMPARE(first["stored"].toBool(), true);
        QCOMPARE(first["database"].toString(), db.path());
        // Everything printed is in the journal, as the journal command prints it, and so is
        // what the window received.
        const QStringList kept = journalLines(journal, {"--json"});
        QCOMPARE(kept.size(), 31);
        for (const QString& line : watch.lines)
            QVERIFY2(kept.contains(line), qPrintable(line));
        QCOMPARE(journalLines(journal, {"--key", "5000"}).size(), 1);
        // A date alone as --until includes that day.
        QCOMPARE(journalLines(journal,
                              {"--json", "--until", QDate::currentDate().toString(Qt::ISODate)}),
                 kept);
        QCOMPARE(journalLines(journal, {"--apartment", "17", "--kind", "pass"}).size(), 1);
        QVERIFY2(!watch.errors.contains("не записываются"), qPrintable(watch.errors));
    }

    void journalKinds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        QTest::newRow("pass during enrolment") << "pass" << 0x03;
        QTest::newRow("refusal") << "refusal" << 0x05;
        QTest::newRow("control") << "control" << 0x26;
        QTest::newRow("power") << "power" << 0x0D;
        QTest::newRow("unknown") << "other" << 0x7E;
    }
    void journalKinds()
    {
        // One record of each kind; --kind finds only its own, and the JSON names it the same.
        QFETCH(QString, kind);
        QFETCH(int, code);
        const QString journal = dir.filePath("kinds.sqlite");
        if (!QFile::exists(journal)) {
            JournalFile file(journal);
            QVERIFY(file.openForWriting() == JournalFile::State::Writable);
            QVector<JournalRecord> records;
            for (const quint8 each : {0x03, 0x05, 0x26, 0x0D, 0x7E})
                records << JournalRecord::fromPanel(
                    QByteArray::fromHex("010000000000").replace(4, 1, QByteArray(1, char(each))),
                    1700000000000 + each, "/dev/ttyUSB0");
            QVERIFY(file.append(records));
        }
        const QStringList lines = journalLines(journal, {"--json", "--kind", kind});
        QCOMPARE(lines.size(), 1);
        const QJsonObject record = QJsonDocument::fromJson(lines[0].toUtf8()).object();
        QCOMPARE(record["code"].toInt(), code);
        QCOMPARE(record["kind"].toString(), kind);
    }

    void portThatVanishes()
    {
        // Named like a USB adapter's link, which goes while the adapter is out.
        const QString port = dir.filePath("ttyPANEL");
        PanelSimulator sim;
        QVERIFY(sim.start() && sim.setLinkPath(port));
        Watcher watch({"watch", "--port", port, "--journal", dir.filePath("vanishing.sqlite")});
        sim.queueKey(1);
        QTRY_COMPARE_WITH_TIMEOUT(watch.lines.size(), 1, 10000);
        // Seen with nothing waiting before it goes.
        const int polls = sim.requestCount(0x43);
        QTRY_VERIFY(sim.requestCount(0x43) > polls + 1);
        sim.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(watch.errors.contains("Нет связи с панелью"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(watch.errors.contains("Следующая попытка"), 20000);
        sim.queueKey(2);
        QVERIFY(sim.replug());
        QTRY_COMPARE_WITH_TIMEOUT(watch.lines.size(), 2, 40000);
        QVERIFY2(watch.lines[1].contains("\t2\t") && watch.lines[1].contains("накоплено панелью с"),
                 qPrintable(watch.lines[1]));
        QTRY_VERIFY(watch.errors.contains("Связь с панелью восстановлена"));
        QCOMPARE(watch.stop(SIGINT), 0);
    }

    void journalThatCannotBeWritten()
    {
        PanelSimulator sim;
        QVERIFY(sim.start());
        const QString notes = dir.filePath("notes.txt");
        QFile file(notes);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("не журнал\n") > 0);
        file.close();
        sim.queueKey(1);
        Watcher watch({"watch", "--port", sim.slavePath(), "--journal", notes});
        QTRY_COMPARE_WITH_TIMEOUT(watch.lines.size(), 1, 10000);
        QCOMPARE(watch.stop(), 0);
        QVERIFY2(watch.errors.count("События не записываются в журнал") == 1 &&
                     watch.errors.contains("Не записано в журнал событий " + notes + ": 1."),
                 qPrintable(watch.errors));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QString("не журнал\n").toUtf8());
    }

    void killedRecorderKeepsWhatItWrote()
    {
        // Recorders side by side on a stream of keys, each killed outright at a random moment.
        struct Run
        {
            PanelSimulator sim;
            std::unique_ptr<Watcher> watch;
            qint64 killAt = QRandomGenerator::global()->bounded(2500, 4500);
            int handedOver = 0; // the records the panel had handed over a second before
            bool killed = false;
        } runs[3];
        for (Run& run : runs) {
            QVERIFY(run.sim.start());
            run.watch = std::make_unique<Watcher>(
                QStringList{"watch", "--port", run.sim.slavePath(), "--journal",
                            dir.filePath(QString("killed-%1.sqlite").arg(&run - runs))});
        }
        QTimer stream;
        int key = 0;
        connect(&stream, &QTimer::timeout, [&] {
            ++key;
            for (Run& run : runs)
                run.sim.queueKey(quint32(key));
        });
        stream.start(150);
        for (int left = 3; left > 0; QTest::qWait(10)) {
            for (Run& run : runs) {
                const qint64 elapsed = run.watch->clock.elapsed();
                if (elapsed < run.killAt - 1000)
                    run.handedOver = key - run.sim.pendingEvents();
                if (elapsed >= run.killAt && !run.killed) {
                    run.killed = true;
                    --left;
                    QCOMPARE(run.watch->stop(SIGKILL), -1);
                }
            }
        }
        // Its journal holds everything the panel handed over more than a second before, and
        // what it printed, in order, none twice.
        for (Run& run : runs) {
            const Watcher& watch = *run.watch;
            const QStringList kept = journalLines(watch.arguments().at(4));
            qInfo("killed %lld ms after its start: %d records handed over a second before, %d "
                  "printed, %d in the journal",
                  run.killAt, run.handedOver, int(watch.lines.size()), int(kept.size()));
            QVERIFY(run.handedOver > 0 && kept.size() >= run.handedOver);
            const int both = int(std::min(kept.size(), watch.lines.size()));
            QCOMPARE(kept.mid(0, both), watch.lines.mid(0, both));
        }
    }
};

QTEST_MAIN(TestWatch)
#include "tst_watch.moc"
