#include "exportbreak.h"
#include "exportchain.h"
#include "exportcontent.h"
#include "panelfixture.h"
#include "portlist.h"
#include "qexport.h"
#include "qzelkorwindow.h"
#include "testsupport.h"

#include <QStatusBar>

#include <list>

using Fault = PanelSimulator::FaultKind;

// The window and its export when the adapter is pulled out and plugged in again: the window
// keeps the connection, says the port is gone, reopens it by itself; an export the unplug broke
// off is kept on disk and finished after the replug, in the same dialog, a new one or a new
// window.
class TestLinkLoss : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    QScopedPointer<PanelSimulator> sim;
    QScopedPointer<TestDatabase> db;
    QScopedPointer<QZelKorWindow> window;
    QString port;       // what the window connects to
    QByteArray cleanly; // the panel after an export of the database that nothing broke off

    template<typename T>
    T* child(const char* name)
    {
        return childOf<T>(window.data(), name);
    }
    QString circle() { return linkIndicator(window.data()); }
    bool answering() { return circle().startsWith("green"); }

    void openWindow()
    {
        window.reset(new QZelKorWindow);
        window->show();
        QVERIFY(window->openDB(db->path()));
        QVERIFY(window->connectPort(port));
        QTRY_VERIFY(answering());
    }

private slots:
    void initTestCase()
    {
        prepareGuiTest();
        qputenv("OSTROVEL_SNAPSHOTS", folder.filePath("snapshots").toLocal8Bit());
        qputenv("OSTROVEL_JOURNAL", folder.filePath("journal.sqlite").toLocal8Bit());
    }

    void init()
    {
        settingsStore().clear();
        sim.reset(new PanelSimulator);
        QVERIFY(sim->start());
        // A pseudo-terminal seldom comes back at its path while other tests make theirs, as an
        // adapter does not always come back as the same ttyUSB: both are found again by a
        // stable name, as udev's /dev/serial/by-id gives.
        QVERIFY(QDir().mkpath(folder.filePath("by-id")));
        replaceStablePortFolder(folder.filePath("by-id"));
        QVERIFY(sim->setLinkPath(folder.filePath("by-id/usb-ZEL-KOR-if00")));
        port = folder.filePath("by-id/usb-ZEL-KOR-if00");
        // Three apartment and three phone blocks, two key blocks.
        db.reset(new TestDatabase);
        for (int subscriber : {0, 15, 30})
            db->addSubscriber(subscriber, subscriber + 1, QString("5550%1").arg(subscriber));
        for (uint key = 1; key <= 14; ++key)
            db->addKey(key % 3 * 15, 0x1000 + key, 0, QString(""));
        if (cleanly.isEmpty())
            cleanly = cleanlyExported(loadExportContent(db->db()).content);
        db->close();
    }

    void cleanup()
    {
        window.reset();
        sim.reset();
        qunsetenv("OSTROVEL_EXTRA_PORTS");
        replaceStablePortFolder(QString());
    }

    void windowReopensThePort_data()
    {
        QTest::addColumn<bool>("chosenByName");
        QTest::newRow("the device chosen, found again by its stable name") << false;
        QTest::newRow("the stable name chosen") << true;
    }
    void windowReopensThePort()
    {
        QFETCH(bool, chosenByName);
        // The window is told the port it chose; it finds the stable name itself.
        const QString chosen = chosenByName ? port : sim->slavePath();
        qputenv("OSTROVEL_EXTRA_PORTS", chosen.toLocal8Bit());
        window.reset(new QZelKorWindow);
        window->show();
        QVERIFY(window->connectPort(chosen));
        QTRY_VERIFY(answering());
        auto* lock = child<QToolButton>("tbLockOpen");
        const bool lockShown = lock->isChecked();
        const QString first = sim->slavePath();
        sim->unplug();
        const QString gone =
            QString("red: Порт %1 недоступен, повторное открытие через ").arg(port);
        QTRY_VERIFY2_WITH_TIMEOUT(circle().startsWith(gone), qPrintable(circle()), 5000);
        QCOMPARE(child<QLabel>("labelLinkLost")->text(), circle().mid(5));
        // Still connected: only the user ends a connection.
        QVERIFY(child<QPushButton>("pbConnectPort")->isChecked());
        QVERIFY(child<QAction>("actionPanelInfo")->isEnabled());
        // A lock command with no link says so and leaves the button as the panel last showed.
        lock->click();
        QCOMPARE(window->statusBar()->currentMessage().left(19), QString("Нет связи с панелью"));
        QCOMPARE(lock->isChecked(), lockShown);
        // Another device takes the pseudo-terminal as soon as the window has let go of it: the
        // adapter comes back elsewhere.
        std::list<PanelSimulator> squatters;
        QElapsedTimer waited;
        waited.start();
        do {
            squatters.emplace_back();
            QVERIFY(squatters.back().start());
        } while (squatters.back().slavePath() != first && waited.elapsed() < 3000 &&
                 (QTest::qWait(50), true));
        QVERIFY(sim->replug());
        QVERIFY(sim->slavePath() != chosen);
        QTRY_VERIFY2_WITH_TIMEOUT(answering(), qPrintable(circle()), 6000);
        QVERIFY(!child<QLabel>("labelLinkLost")->isVisible());
        lock->click();
        QTRY_COMPARE(sim->requestCount(0x10), 1);
    }

    void exportGoesOnAfterTheReplug_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("block"); // from 1, as the dialog counts
        QTest::addColumn<QString>("way");
        QTest::newRow("settings, in the same dialog") << 0x24 << 1 << "same dialog";
        QTest::newRow("apartments, in a new dialog") << 0x26 << 2 << "new dialog";
        QTest::newRow("phones, after the window was closed") << 0x27 << 2 << "new window";
        QTest::newRow("keys, waiting for the adapter") << 0x25 << 2 << "waiting";
    }
    void exportGoesOnAfterTheReplug()
    {
        QFETCH(int, command);
        QFETCH(int, block);
        QFETCH(QString, way);
        qputenv("OSTROVEL_EXTRA_PORTS", port.toLocal8Bit());
        openWindow();
        QScopedPointer<QExport> dialog(
            QExport::create(window.data(), window->database(), window->serialThread()));
        dialog->show();
        QScopedPointer<ModalAnswerer> answerer(new ModalAnswerer);
        // The write of block `block` is held back until the adapter is out.
        if (block > 1)
            sim->injectFault(command, Fault::Delay, 0, block - 1);
        sim->injectFault(command, Fault::Delay, 3000);
        answerer->press(QMessageBox::Yes);
        answerer->press(QMessageBox::Ok);
        childOf<QPushButton>(dialog.data(), "pbExport")->click();
        QTRY_COMPARE(sim->requestCount(command), block);
        sim->unplug();
        QVERIFY(answerer->waitForAnswered(2));
        QCOMPARE(answerer->seen.at(1).text,
                 QString("Порт недоступен: адаптер отключён или устройство пропало."));
        auto* resume = childOf<QPushButton>(dialog.data(), "pbResume");
        QTRY_VERIFY(resume->isVisible());
        QCOMPARE(resume->text(), QString("Продолжить с блока %1").arg(block));
        const ExportBreak kept = ExportBreak::load(db->path());
        QVERIFY(kept.isValid());
        QCOMPARE(kept.block, block - 1);
        QCOMPARE(kept.port, port);

        if (way == "same dialog") {
            // The dialog says why the link is down, since the window behind it is blocked.
            auto* note = childOf<QLabel>(dialog.data(), "lLinkNote");
            QTRY_VERIFY(note->isVisible());
            QVERIFY2(note->text().startsWith(QString("Порт %1 недоступен").arg(port)),
                     qPrintable(note->text()));
            QVERIFY(sim->replug());
            QTRY_VERIFY_WITH_TIMEOUT(answering(), 6000);
            QVERIFY(!note->isVisible());
            answerer->press(QMessageBox::Ok);
            resume->click();
        } else if (way == "waiting") {
            answerer->press(QMessageBox::Ok);
            resume->click();
            auto* note = childOf<QLabel>(dialog.data(), "lLinkNote");
            QVERIFY(note->text().startsWith("Ожидание связи с панелью…"));
            QCOMPARE(resume->text(), QString("Отменить ожидание"));
            QVERIFY(sim->replug());
        } else {
            // Closing says the panel is incomplete; the break stays on disk.
            answerer->press(QMessageBox::Ok);
            childOf<QPushButton>(dialog.data(), "pbClose")->click();
            QVERIFY(answerer->waitForAnswered(3));
            QCOMPARE(answerer->seen.at(2).title, QString("Предупреждение"));
            dialog.reset();
            if (way == "new window")
                window.reset();
            QVERIFY(sim->replug());
            if (way == "new window")
                openWindow();
            QTRY_VERIFY_WITH_TIMEOUT(answering(), 6000);
            if (way == "new window") {
                // The window started later warns of the panel left half written.
                auto* notice = child<QLabel>("labelExportBreak");
                QVERIFY(notice->isVisible());
                QVERIFY(notice->text().startsWith("Панель заполнена не полностью: экспорт "
                                                  "прерван"));
            }
            dialog.reset(
                QExport::create(window.data(), window->database(), window->serialThread()));
            dialog->show();
            answerer.reset(new ModalAnswerer);
            resume = childOf<QPushButton>(dialog.data(), "pbResume");
            QCOMPARE(resume->text(), QString("Продолжить с блока %1").arg(block));
            answerer->press(QMessageBox::Ok);
            resume->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!answerer->seen.isEmpty() &&
                                     answerer->seen.last().text ==
                                         "Экспорт данных в панель выполнен успешно.",
                                 15000);
        QCOMPARE(panelMemory(*sim), cleanly);
        QVERIFY(!ExportBreak::load(db->path()).isValid());
    }
};

QTEST_MAIN(TestLinkLoss)
#include "tst_linkloss.moc"
