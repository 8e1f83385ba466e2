#include "journalfile.h"
#include "journalquery.h"
#include "qzelkorwindow.h"
#include "testsupport.h"

// The main window's journal: what it records while connected, the owners it names, and a
// journal it cannot write.
class TestWindowJournal : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QScopedPointer<PanelSimulator> sim;
    QScopedPointer<QZelKorWindow> window;

    QTreeWidgetItem* row(int index)
    {
        return childOf<QTreeWidget>(window.data(), "treeEvents")->topLevelItem(index);
    }

    // Key 12345 of one subscriber, whose full name is in the field titled "ФИО".
    static void ownKey(TestDatabase& db, int subscriber, const QString& apartment,
                       const QString& name)
    {
        db.addSubscriber(subscriber, apartment, "");
        db.addKey(subscriber, 12345, 2, "12345");
        QVERIFY(db.exec("UPDATE system SET field3_name = 'ФИО'"));
        QVERIFY(db.exec("UPDATE subscriber SET field3 = '" + name + "'"));
        db.close();
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        sim.reset(new PanelSimulator);
        QVERIFY(sim->start());
        qputenv("OSTROVEL_EXTRA_PORTS", sim->slavePath().toLocal8Bit());
    }

    void cleanup()
    {
        window.reset();
        sim.reset();
        qunsetenv("OSTROVEL_JOURNAL");
    }

    void recordsWhileConnected()
    {
        const QString journal = m_dir.filePath("window.sqlite");
        qputenv("OSTROVEL_JOURNAL", journal.toLocal8Bit());
        TestDatabase db;
        ownKey(db, 5, "31", "Сидорова А. А.");
        window.reset(new QZelKorWindow);
        window->show();
        QVERIFY(window->openDB(db.path()));
        sim->queueKey(12345);
        sim->queueKey(999);
        QVERIFY(connectWindow(window.data(), sim->slavePath()));
        QTRY_VERIFY(row(1));
        // The list keeps its three texts; the key cell names the owner in its tip.
        QCOMPARE(row(0)->columnCount(), 3);
        QCOMPARE(row(0)->text(1) + "|" + row(0)->text(2), QString("12345|Проход по ключу"));
        QCOMPARE(row(0)->toolTip(1), QString("Абонент 5, квартира 31, Сидорова А. А."));
        QCOMPARE(row(1)->toolTip(1), QString("Ключа нет в открытой БД"));
        QCOMPARE(row(0)->toolTip(0), QString());
        // A change made in the window is named at once.
        QVERIFY(QSqlQuery(*window->database()).exec("UPDATE subscriber SET field3 = 'Петрова'"));
        QCOMPARE(row(0)->toolTip(1), QString("Абонент 5, квартира 31, Петрова"));
        // Once the panel has said it keeps nothing more, what follows is live.
        const int polls = sim->requestCount(0x43);
        QTRY_VERIFY(sim->requestCount(0x43) > polls + 1);
        childOf<QToolButton>(window.data(), "tbLockOpen")->click();
        QTRY_COMPARE(sim->requestCount(0x10), 1);
        // The panel reports the command as well; closing the window writes what it received.
        QTRY_VERIFY(row(2));
        // Another database opened: the owners come from it.
        TestDatabase other;
        ownKey(other, 9, "90", "Орлов");
        QVERIFY(window->openDB(other.path()));
        sim->queueKey(12345);
        QTRY_VERIFY(row(3));
        QCOMPARE(row(3)->toolTip(1), QString("Абонент 9, квартира 90, Орлов"));
        window.reset();

        JournalFile file(journal);
        QCOMPARE(file.openForReading(), JournalFile::State::ReadOnly);
        QStringList got;
        JournalQuery(file.database(), JournalFilter()).forEach([&](const JournalEntry& e) {
            const JournalRecord& r = e.record;
            got << QString("%1|%2|%3|%4|%5|%6")
                       .arg(r.text, r.stored ? "kept" : "live", r.owner.name, r.detail)
                       .arg(r.database == db.path())
                       .arg(r.port == sim->slavePath());
            return true;
        });
        QCOMPARE(got, QStringList({"Проход по ключу|kept|Сидорова А. А.||1|1",
                                   "Проход по ключу|kept|||1|1",
                                   "Управление замком: открывание|live||выполнено|1|1",
                                   "Управление с компьютера; устройство: замок; установленный "
                                   "режим: открывание|live|||1|1",
                                   "Проход по ключу|live|Орлов||0|1"}));
    }

    void journalThatCannotBeWritten()
    {
        const QString journal = m_dir.filePath("notes.txt");
        QFile text(journal);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("не журнал\n") > 0);
        text.close();
        qputenv("OSTROVEL_JOURNAL", journal.toLocal8Bit());
        window.reset(new QZelKorWindow);
        window->show();
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        sim->queueKey(1);
        QVERIFY(connectWindow(window.data(), sim->slavePath()));
        QVERIFY(answerer.waitForAnswered(1));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Warning);
        QCOMPARE(answerer.seen[0].title, QString("Предупреждение"));
        QVERIFY2(answerer.seen[0].text.contains("не является журналом событий"),
                 qPrintable(answerer.seen[0].text));
        auto* label = childOf<QLabel>(window.data(), "labelJournalFault");
        QVERIFY(label->isVisible() && label->text().contains(journal));
        // The window goes on showing events; it says nothing more.
        sim->queueKey(2);
        QTRY_VERIFY(row(1));
        window.reset();
        QCOMPARE(answerer.seen.size(), 1);
        QVERIFY(text.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(text.readAll()), QString("не журнал\n"));
    }
};

QTEST_MAIN(TestWindowJournal)
#include "tst_windowjournal.moc"
