#include "actionjournal.h"
#include "journalfile.h"
#include "journalquery.h"
#include "journalrecorder.h"
#include "qserialportthread.h"
#include "storedeventtracker.h"
#include "testsupport.h"

#include <pwd.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

QByteArray keyRecord(quint32 key, quint8 code = 0x00)
{
    const char bytes[] = {char(key), char(key >> 8), char(key >> 16), 0, char(code), 0x11};
    return QByteArray(bytes, 6);
}

QVector<JournalEntry> entries(const QString& file)
{
    JournalFile journal(file);
    QVector<JournalEntry> all;
    if (journal.openForReading() == JournalFile::State::ReadOnly)
        JournalQuery(journal.database(), JournalFilter()).forEach([&](const JournalEntry& e) {
            return all.append(e), true;
        });
    return all;
}

// The files this process holds open.
QStringList openFiles()
{
    QStringList files;
    for (const QFileInfo& descriptor :
         QDir("/proc/self/fd")
             .entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        files << descriptor.symLinkTarget();
    return files;
}

QByteArray contents(const QString& file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("missing");
}

} // namespace

// The journal recorder: which records the panel kept, owners from the database, actions, and
// journals that cannot be written.
class TestJournalRecorder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { prepareGuiTest(); }

    void keptRecords_data()
    {
        // Steps "what@ms": start/<last seen>, off, on, fail, s (status answer), r (record).
        // The marks of the records in order: "live", or "kept<from>".
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("marks");
        QTest::newRow("connection start") << "start/50@100 r@300 r@500 s@700 r@900"
                                          << "kept50 kept50 live";
        QTest::newRow("never seen before") << "start/0@100 r@300 s@500"
                                           << "kept0";
        QTest::newRow("chain") << "start/0@0 s@100 r@300 s@500 off@600 s@650 on@900 r@1100 s@1300 "
                                  "r@1500"
                               << "live kept650 live";
        // A record answered before polling was switched off arrives after the switch.
        QTest::newRow("late answer") << "start/0@0 s@100 off@400 r@390 on@900 s@1100"
                                     << "live";
        QTest::newRow("link lost and back")
            << "start/0@0 s@100 fail@3000 fail@6000 r@6300 s@6500 r@6700"
            << "kept100 live";
        QTest::newRow("chain failing while the link is down")
            << "start/0@0 s@100 off@200 fail@900 on@1000 r@1200 s@1400"
            << "kept100";
    }
    void keptRecords()
    {
        QFETCH(QString, steps);
        QFETCH(QString, marks);
        StoredEventTracker tracker;
        QStringList seen;
        for (const QString& step : steps.split(' ')) {
            const QString what = step.section('@', 0, 0);
            const qint64 at = step.section('@', 1).toLongLong();
            if (what.startsWith("start"))
                tracker.connectionStarted(at, what.section('/', 1).toLongLong());
            else if (what == "off")
                tracker.pollingStopped(at);
            else if (what == "on")
                tracker.pollingResumed(at);
            else if (what == "fail")
                tracker.linkFailed(at);
            else if (what == "s")
                tracker.statusAnswered(at);
            else {
                const StoredEventTracker::Mark mark = tracker.recordReceived(at);
                seen << (mark.stored ? "kept" + QString::number(mark.from) : "live");
            }
        }
        QCOMPARE(seen.join(' '), marks);
    }

    void recordsWhatThePanelReports()
    {
        PanelSimulator sim;
        QVERIFY(sim.start());
        TestDatabase db;
        db.addSubscriber(9, "40", "");
        db.addSubscriber(3, "12", "");
        // One key of two subscribers; the name lives in the field titled as one.
        db.addKey(9, 0x1234, 2, "4660");
        db.addKey(3, 0x1234, 2, "4660");
        QVERIFY(db.exec("UPDATE system SET field2_name = 'Ф.И.О. жильца'"));
        QVERIFY(db.exec("UPDATE subscriber SET field2 = 'Петров П. П.' WHERE id = 3"));
        const QString file = m_dir.filePath("panel.sqlite");

        JournalRecorder recorder(file);
        recorder.setDatabase(db.path());
        ActionJournal::setRecorder(&recorder);
        QSerialPortThread thread;
        recorder.attach(&thread);
        QSerialPort::SerialPortError error;
        QString text;
        const auto connectPanel = [&] {
            QVERIFY(thread.start(sim.slavePath(), error, text));
            recorder.linkStarted(sim.slavePath());
        };
        // Polled until the panel has nothing more and has said so once.
        const auto drain = [&] {
            QTRY_COMPARE_WITH_TIMEOUT(sim.pendingEvents(), 0, 5000);
            const int polls = sim.requestCount(0x43);
            QTRY_VERIFY(sim.requestCount(0x43) > polls + 1);
        };

        sim.queueKey(0x1234); // kept while nobody polled
        connectPanel();
        drain();
        // Another program changes the database: the owner follows.
        QVERIFY(db.exec("DELETE FROM card WHERE subscriber_id = 3"));
        sim.queueKey(0x1234); // live
        drain();
        emit thread.startEvents(false); // as a chain does
        QTest::qWait(300);
        sim.queueKey(77);
        emit thread.startEvents(true);
        drain();
        ActionJournal::report("Управление замком: открывание", ActionJournal::outcome({}));
        thread.stop();
        sim.queueButton();
        connectPanel();
        drain();
        thread.stop();
        recorder.flush();

        const QVector<JournalEntry> all = entries(file);
        QStringList got;
        for (const JournalEntry& e : all)
            got << QString("%1 %2 %3 %4 %5")
                       .arg(e.record.key)
                       .arg(e.record.stored ? "kept" : "live")
                       .arg(e.record.owner.subscriber)
                       .arg(e.record.owner.name, e.record.text);
        QCOMPARE(got, QStringList({"4660 kept 3 Петров П. П. Проход по ключу",
                                   "4660 live 9  Проход по ключу", "77 kept -1  Проход по ключу",
                                   "0 live -1  Управление замком: открывание",
                                   "0 kept -1  Проход по кнопке"}));
        const JournalRecord& first = all[0].record;
        QCOMPARE(first.storedFrom, 0); // this port was never seen before
        QCOMPARE(first.database, db.path());
        QCOMPARE(first.port, sim.slavePath());
        QCOMPARE(first.storedUntil, first.received);
        // Kept since the panel was last seen with nothing waiting: after the live record,
        // before polling stopped; after the reconnection, since the last poll before it.
        QVERIFY(all[2].record.storedFrom > all[1].record.received);
        QVERIFY(all[2].record.storedFrom < all[3].record.received);
        QVERIFY(all[4].record.storedFrom > all[2].record.received);
        QCOMPARE(all[3].record.kind, JournalKind::Action);
        QCOMPARE(all[3].record.detail, QString("выполнено"));
        QCOMPARE(all[3].record.user, QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
    }

    void databaseThatOpensLater()
    {
        // Not there yet: said once, and tried again for the next key.
        const QString database = m_dir.filePath("later.zelkor");
        const QString file = m_dir.filePath("later.sqlite");
        JournalRecorder recorder(file);
        QSignalSpy unavailable(&recorder, &JournalRecorder::ownersUnavailable);
        recorder.setDatabase(database);
        for (int i = 0; i < 2; ++i)
            recorder.onEvent(keyRecord(0x1234), QDateTime::currentDateTime());
        recorder.flush();
        QTRY_COMPARE(unavailable.size(), 1);
        QVERIFY2(unavailable[0][0].toString().contains(database),
                 qPrintable(unavailable[0][0].toString()));
        TestDatabase db;
        db.addSubscriber(9, "40", "");
        db.addKey(9, 0x1234, 2, "4660");
        db.close();
        QVERIFY(QFile::copy(db.path(), database));
        recorder.onEvent(keyRecord(0x1234), QDateTime::currentDateTime());
        recorder.flush();
        QCOMPARE(entries(file).value(2).record.owner.subscriber, 9);
        // Let go of as soon as the window closes it, not at the idle writer's next round.
        QVERIFY(openFiles().contains(database));
        QTest::qWait(100);
        recorder.setDatabase({});
        QTRY_VERIFY_WITH_TIMEOUT(!openFiles().contains(database), 2000);
        QCOMPARE(unavailable.size(), 1);
    }

    void badJournals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not SQLite") << "text"
                                    << "не является журналом событий";
        QTest::newRow("unknown version") << "version"
                                         << "имеет неизвестную версию формата: 7";
        QTest::newRow("read-only") << "read-only"
                                   << "доступен только для чтения";
        QTest::newRow("locked") << "locked"
                                << "database is locked";
        QTest::newRow("full disk") << "full"
                                   << "";
    }
    void badJournals()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        if (kind == "full" && geteuid() != 0)
            QSKIP("a small file system of its own needs root");
        if (kind == "read-only" && geteuid() == 0) {
            // Root writes whatever the permission bits say: run again as a user without rights.
            const QString runuser = QStandardPaths::findExecutable("runuser");
            if (runuser.isEmpty() || !getpwnam("nobody"))
                QSKIP("running as root without runuser or the user nobody to run as");
            const QString test =
                QString("%1:%2").arg(QTest::currentTestFunction(), QTest::currentDataTag());
            QCOMPARE(QProcess::execute(runuser, {"-u", "nobody", "--",
                                                 QCoreApplication::applicationFilePath(), test}),
                     0);
            return;
        }
        QTemporaryDir dir;
        const QString file = dir.filePath("journal.sqlite");
        if (kind == "full")
            QCOMPARE(::mount("tmpfs", qPrintable(dir.path()), "tmpfs", 0, "size=200k"), 0);
        const auto unmount = qScopeGuard([&] {
            if (kind == "full")
                ::umount(qPrintable(dir.path()));
        });
        JournalFile blocker(file);
        QFile filler(dir.filePath("filler"));
        if (kind == "text") {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write("дата;ключ\r\n") > 0);
        } else if (kind == "version") {
            QCOMPARE(QProcess::execute("sqlite3", {file, "PRAGMA application_id = 1332955762;"
                                                         " PRAGMA user_version = 7"}),
                     0);
        } else {
            QCOMPARE(blocker.openForWriting(), JournalFile::State::Writable);
            QVERIFY(blocker.append({JournalRecord::fromPanel(keyRecord(1), 1000, "p")}));
            if (kind == "read-only") {
                blocker.close();
                QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
            } else if (kind == "locked") {
                QVERIFY(QSqlQuery(blocker.database()).exec("BEGIN IMMEDIATE"));
            } else {
                // No room left for the write-ahead log to grow.
                QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
                while (filler.write(QByteArray(4096, 'x')) == 4096) {
                }
            }
        }
        const QByteArray before = contents(file);

        QScopedPointer<JournalRecorder> recorder(new JournalRecorder(file));
        QSignalSpy failed(recorder.data(), &JournalRecorder::recordingFailed);
        recorder->setHoldLimit(2);
        for (quint32 key = 10; key < 15; ++key)
            recorder->onEvent(keyRecord(key), QDateTime::fromMSecsSinceEpoch(2000 + key));
        recorder->flush();
        QTRY_COMPARE(failed.size(), 1);
        QVERIFY2(failed[0][0].toString().contains(file) && failed[0][0].toString().contains(reason),
                 qPrintable(failed[0][0].toString()));
        QCOMPARE(contents(file), before);

        if (kind == "locked" || kind == "full") {
            // The fault ends: the records held are written, the others are counted.
            QSignalSpy resumed(recorder.data(), &JournalRecorder::recordingResumed);
            if (kind == "locked")
                QVERIFY(QSqlQuery(blocker.database()).exec("ROLLBACK"));
            else
                QVERIFY(filler.remove());
            recorder->onEvent(keyRecord(15), QDateTime::fromMSecsSinceEpoch(2015));
            recorder->flush();
            QTRY_COMPARE(resumed.size(), 1);
            QCOMPARE(resumed[0][0].toLongLong(), 3);
            recorder->close();
            blocker.close();
            QVector<quint32> keys;
            for (const JournalEntry& e : entries(file))
                keys << e.record.key;
            QCOMPARE(keys, QVector<quint32>({1, 13, 14, 15}));
            QCOMPARE(failed.size(), 1);
            return;
        }
        recorder->close();
        QCOMPARE(recorder->unwritten(), 5);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(contents(file), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"journal.sqlite"});
    }
};

QTEST_MAIN(TestJournalRecorder)
#include "tst_journalrecorder.moc"
