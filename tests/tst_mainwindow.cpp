#include "application.h"
#include "portlist.h"
#include "qpacket.h"
#include "qzelkorwindow.h"
#include "screenfit.h"
#include "startupenvironment.h"
#include "testsupport.h"
#include "workpool.h"

#include <QSerialPortInfo>

namespace {

const QString MissingPort = QStringLiteral("/dev/ostrovel-missing-port");

// The controls each enabling state switches on; the others stay on in every state.
const QStringList WhileOpen =
    QString(
        "actionCloseDB actionInfoDB actionRefreshDB actionAdd actionAddCard actionAddSubscriber "
        "actionEdit actionDel actionSearch actionGotoOpenRec actionPanelSettings actionGeneration "
        "actionClearDB actionImportDB actionExportDB actionRestoreSnapshot actionSettingsDB "
        "actionImport actionExport menuImportExport actionExpandAll actionCollapseAll")
        .split(' ');
const QStringList WhileConnected =
    QString(
        "actionPanelInfo actionFirmwareDownload actionFirmwareUpload menuFirmware lLock lLock_2 "
        "labelStatus tbLockOpen tbLockUnblock lDevice lDevice_2 tbDeviceOpen tbDeviceUnblock")
        .split(' ');
const QStringList WhileDisconnected = {"actionRefreshListPort", "cbListPort"};
const QStringList Always =
    QString(
        "actionNewDB actionOpenDB actionExit actionShowFind actionFit actionAllColumns actionAlign "
        "actionRecentFiles actionClearRecentFiles actionOrderEvents actionClearEvents "
        "actionSaveEvents")
        .split(' ');

} // namespace

// The main window against the simulated panel: enabling, connection strip, events, lock and
// device groups, closing.
class TestMainWindow : public QObject
{
    Q_OBJECT

    QScopedPointer<PanelSimulator> sim;
    QScopedPointer<QZelKorWindow> window;

    template<typename T>
    T* child(const char* name)
    {
        return childOf<T>(window.data(), name);
    }
    QAction* action(const char* name) { return child<QAction>(name); }
    QPushButton* connectButton() { return child<QPushButton>("pbConnectPort"); }
    QString indicator() { return linkIndicator(window.data()); }
    QTreeWidget* events() { return child<QTreeWidget>("treeEvents"); }

    // An events row as "time|key|event".
    QString row(int index)
    {
        const QTreeWidgetItem* item = events()->topLevelItem(index);
        return item ? item->text(0) + "|" + item->text(1) + "|" + item->text(2) : QString();
    }

    // The control commands the panel received, as parameter bytes.
    QByteArray controls()
    {
        QByteArray result;
        for (const auto& frame : sim->frames(0x10))
            result.append(frame.bytes.at(3));
        return result;
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        settingsStore().clear();
        sim.reset(new PanelSimulator);
        QVERIFY(sim->start());
        qputenv("OSTROVEL_EXTRA_PORTS", (sim->slavePath() + ":" + MissingPort).toLocal8Bit());
        window.reset(new QZelKorWindow);
        window->show();
    }

    void cleanup()
    {
        window.reset();
        sim.reset();
        replaceSystemSerialPorts({});
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void firstStart()
    {
        // The form's size, which a 1024 × 768 screen with a panel holds, made to fit a smaller
        // screen (the offscreen one is 800 × 600) with room for the frame, and widened only as
        // far as the connection strip's texts need.
        const QRect available = window->screen()->availableGeometry();
        QCOMPARE(window->size(), QSize(1012, 700)
                                     .boundedTo(available.size() - QSize(8, 40))
                                     .expandedTo(window->minimumSizeHint()));
        QCOMPARE(ScreenFit::fittedSize({1012, 700}, {714, 500}, {0, 28, 1024, 740}),
                 QSize(1012, 700));
        QVERIFY(!child<QWidget>("frmFind")->isVisible());
        QCOMPARE(child<QSplitter>("splitter")->sizes().at(1), 0);
        QVERIFY(!action("actionOrderEvents")->isChecked());
        QCOMPARE(child<QComboBox>("cbListPort")->currentIndex(), 0);
        QCOMPARE(indicator(), QString("white: "));
    }

    void stripFitsALaptopScreen_data()
    {
        QTest::addColumn<int>("points");
        QTest::newRow("9 pt, the desktop's default") << 9;
        QTest::newRow("12 pt, the offscreen default") << 12;
    }
    void stripFitsALaptopScreen()
    {
        QFETCH(int, points);
        const QFont usual = QApplication::font();
        const auto restoreFont = qScopeGuard([usual] { QApplication::setFont(usual); });
        QFont font = usual;
        font.setPointSize(points);
        QApplication::setFont(font);
        window.reset(new QZelKorWindow);
        window->show();
        QVERIFY(window->minimumSizeHint().width() <= 1012);
        window->resize(1012, 700);
        QCOMPARE(window->width(), 1012);
        const auto shownAt = [this](QWidget* widget) {
            return QRect(widget->mapTo(window.data(), QPoint()), widget->size());
        };
        // Every control of the strip whole inside the window, on no other and not on the tabs.
        QList<QRect> taken = {shownAt(child<QWidget>("tabWidget"))};
        for (const QString& name : QString("tbRefreshListPort cbListPort pbConnectPort line "
                                           "labelStatus line_3 lLock_2 tbLockOpen tbLockUnblock "
                                           "lLock line_2 lDevice_2 tbDeviceOpen tbDeviceUnblock "
                                           "lDevice line_5")
                                       .split(' ')) {
            QWidget* widget = child<QWidget>(qPrintable(name));
            const QRect shown = shownAt(widget);
            QVERIFY2(widget->isVisible() && window->rect().contains(shown), qPrintable(name));
            QVERIFY2(widget->width() >= widget->sizeHint().width(), qPrintable(name));
            for (const QRect& other : qAsConst(taken))
                QVERIFY2(!shown.intersects(other), qPrintable(name));
            taken << shown;
        }
    }

    // The window paints while every thread of the program's own background work is taken:
    // Qt 6 fills a window's areas on Qt's shared pool and waits for them there.
    void paintsWhileTheWorkIsBusy()
    {
        QThreadPool* pool = workPool();
        const int threads = pool->maxThreadCount();
        QSemaphore started, release;
        const auto freed = qScopeGuard([&] {
            release.release(threads);
            pool->waitForDone();
        });
        for (int i = 0; i < threads; ++i)
            pool->start([&] {
                started.release();
                release.tryAcquire(1, 3000);
            });
        QVERIFY(started.tryAcquire(threads, 5000));
        QElapsedTimer timer;
        timer.start();
        const QPixmap shot = window->grab();
        const qint64 paintedMs = timer.elapsed();
        QVERIFY(!shot.isNull());
        QVERIFY2(paintedMs < 1500, qPrintable(QString("painted after %1 ms").arg(paintedMs)));
    }

    void enableTable_data()
    {
        QTest::addColumn<bool>("database");
        QTest::addColumn<bool>("connected");
        QTest::newRow("no database, disconnected") << false << false;
        QTest::newRow("database, disconnected") << true << false;
        QTest::newRow("no database, connected") << false << true;
        QTest::newRow("database, connected") << true << true;
    }
    void enableTable()
    {
        // The wiring; the database and link tests check that the window emits the signals.
        QFETCH(bool, database);
        QFETCH(bool, connected);
        emit window->onUseDB_Enabled(database);
        emit window->onConnectEnabled(!connected);
        emit window->onConnectDisabled(!connected);
        QStringList enabled;
        for (const QString& name : WhileOpen + WhileConnected + WhileDisconnected + Always) {
            if (auto* menu = window->findChild<QMenu*>(name))
                enabled << (menu->menuAction()->isEnabled() ? name : QString());
            else if (auto* widget = window->findChild<QWidget*>(name))
                enabled << (widget->isEnabled() ? name : QString());
            else
                enabled << (action(qPrintable(name))->isEnabled() ? name : QString());
        }
        enabled.removeAll(QString());
        QStringList expected = Always;
        if (database)
            expected += WhileOpen;
        expected += connected ? WhileConnected : WhileDisconnected;
        enabled.sort();
        expected.sort();
        QCOMPARE(enabled, expected);
    }

    void indicatorFollowsTheLink()
    {
        QVERIFY(connectWindow(window.data(), sim->slavePath()));
        QCOMPARE(connectButton()->text(), QString("Отключить"));
        // Yellow until the first exchange reports, then green.
        QCOMPARE(indicator(), QString("yellow: Установка связи с панелью"));
        QTRY_COMPARE(indicator(), QString("green: Связь с панелью установлена"));
        {
            // Only these reports reach the indicator, none of the running worker.
            const QSignalBlocker quiet(window->serialThread());
            for (int error :
                 {NoError, ClosedByUser, CancelledByUser, Timeout, HeaderCrcError, DataCrcError}) {
                window->onError(Timeout, "earlier failure");
                const QString text = linkErrorText(QSerialPortError(error), 3, 6);
                window->onError(QSerialPortError(error), text);
                // The user's own closing and cancelling leave it as it was.
                const QString expected = error == NoError ? "green: Связь с панелью установлена"
                                         : error == ClosedByUser || error == CancelledByUser
                                             ? "red: earlier failure"
                                             : "red: " + text;
                QCOMPARE(indicator(), expected);
                // While it is red, the status bar names the failure as well.
                const QLabel* lost = window->statusBar()->findChild<QLabel*>();
                QCOMPARE(lost->isVisible() ? lost->text() : QString(),
                         expected.startsWith("red") ? "Нет связи с панелью: " + expected.mid(5)
                                                    : QString());
            }
        }
        // Disconnected: white, no more polls, and no report changes it.
        connectButton()->click();
        QCOMPARE(connectButton()->text() + " " + indicator(), QString("Подключить white: "));
        QVERIFY(!window->statusBar()->findChild<QLabel*>()->isVisible());
        const int polls = sim->requestCount(0x43);
        QTest::qWait(400);
        QCOMPARE(sim->requestCount(0x43), polls);
        window->onError(Timeout, "failure");
        QCOMPARE(indicator(), QString("white: "));
    }

    void portList()
    {
        // Names that differ from the locations, as the system lists its ports.
        replaceSystemSerialPorts([this] {
            return QList<SerialPortEntry>{{"ttyS9", "/dev/ttyS9"}, {"panel", sim->slavePath()}};
        });
        qputenv("OSTROVEL_EXTRA_PORTS", MissingPort.toLocal8Bit());
        QComboBox* ports = child<QComboBox>("cbListPort");
        ports->setCurrentText(MissingPort);
        action("actionRefreshListPort")->trigger();
        QStringList listed;
        for (int i = 0; i < ports->count(); ++i)
            listed << ports->itemText(i) + " at " + ports->itemData(i).toString();
        QCOMPARE(listed, QStringList({MissingPort + " at " + MissingPort,
                                      "panel at " + sim->slavePath(), "ttyS9 at /dev/ttyS9"}));
        // The selected port is selected again; once it is gone, the first one is.
        QCOMPARE(ports->currentText(), MissingPort);
        qunsetenv("OSTROVEL_EXTRA_PORTS");
        action("actionRefreshListPort")->trigger();
        QCOMPARE(ports->currentText(), QString("panel"));
        // Connecting opens the location, not the name.
        QVERIFY(connectWindow(window.data(), "panel"));
        QTRY_COMPARE(indicator(), QString("green: Связь с панелью установлена"));
    }

    void systemPortsAtTheirLocations()
    {
        // The system's own list, not a replacement: each port is opened at its location.
        const auto system = QSerialPortInfo::availablePorts();
        if (system.isEmpty())
            QSKIP("the system lists no serial port");
        QStringList expected;
        for (const QSerialPortInfo& port : system)
            expected << port.portName() + " at " + port.systemLocation();
        qunsetenv("OSTROVEL_EXTRA_PORTS");
        action("actionRefreshListPort")->trigger();
        QComboBox* ports = child<QComboBox>("cbListPort");
        QStringList listed;
        for (int i = 0; i < ports->count(); ++i)
            listed << ports->itemText(i) + " at " + ports->itemData(i).toString();
        expected.sort();
        QCOMPARE(listed, expected);
    }

    void refusedConnections_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("box"); // "title: text", or its start before the reason
        QTest::newRow("no port")
            << QString() << "Предупреждение: Необходимо выбрать последовательный порт (COM порт).";
        QTest::newRow("missing port")
            << MissingPort << "Ошибка: Не удалось открыть порт " + MissingPort + ".\r\nОшибка: ";
    }
    void refusedConnections()
    {
        QFETCH(QString, port);
        QFETCH(QString, box);
        QComboBox* ports = child<QComboBox>("cbListPort");
        if (port.isEmpty())
            ports->clear();
        else
            ports->setCurrentText(port);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        connectButton()->click();
        const QString shown = answerer.seen.value(0).title + ": " + answerer.seen.value(0).text;
        QVERIFY2(port.isEmpty() ? shown == box : shown.startsWith(box) && shown.size() > box.size(),
                 qPrintable(shown));
        QCOMPARE(answerer.seen.value(0).icon, QMessageBox::Warning);
        QCOMPARE(connectButton()->text() + " " + indicator(), QString("Подключить white: "));
        QVERIFY(!connectButton()->isChecked() && ports->isEnabled());
        QVERIFY(!window->serialThread()->isRunning());
    }

    void connectsAtStartWhenAsked()
    {
        // As the demo starts it: a port the system does not list, named in the environment.
        qunsetenv("OSTROVEL_EXTRA_PORTS");
        qputenv("OSTROVEL_CONNECT_PORT", sim->slavePath().toLocal8Bit());
        window.reset(new QZelKorWindow);
        applyStartupEnvironment(window.data());
        qunsetenv("OSTROVEL_CONNECT_PORT");
        QVERIFY(window->serialThread()->isRunning());
    }

    void addMenuAndQtTexts()
    {
        emit window->onUseDB_Enabled(true);
        QList<QAction*> shown;
        QTimer::singleShot(0, [&shown] {
            shown = QApplication::activePopupWidget()->actions();
            QApplication::activePopupWidget()->close();
        });
        QTest::mouseClick(child<QToolButton>("tbAdd"), Qt::LeftButton);
        QCOMPARE(shown, QList<QAction*>({action("actionAddSubscriber"), action("actionAddCard")}));
        // Qt's own buttons speak Russian as well (make deps installs the translations).
        Application::installTranslations();
        QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QString("&Да"));
    }

    void eventsFromThePanel()
    {
        QSignalSpy cards(window.data(), &QZelKorWindow::sendCard);
        sim->queueKey(12345);
        sim->queueButton();
        sim->queueKey(0xA1B2C3, 0x02, 0x05);
        // Newest on top.
        child<QCheckBox>("cbOrderEvents")->setChecked(true);
        QVERIFY(connectWindow(window.data(), sim->slavePath()));
        QTRY_COMPARE(events()->topLevelItemCount(), 3);
        QVERIFY(row(2).endsWith("|12345|Проход по ключу"));
        QVERIFY(row(1).endsWith("||Проход по кнопке"));
        QVERIFY(row(0).endsWith("|10597059|Отказ в доступе по ключу (доп. считыватель)"));
        QVERIFY(row(0) >= row(1));
        // Only records with a key are offered to key capture.
        QCOMPARE(cards.size(), 2);
        QCOMPARE(cards[1][0].toUInt(), 0xA1B2C3u);
        // The menu action sorts the whole list, either way; status bytes add no rows.
        const QString newest = row(0);
        action("actionOrderEvents")->trigger();
        QCOMPARE(row(2), newest);
        window->onEvent(QByteArray::fromHex("0011"), QDateTime::currentDateTime());
        QCOMPARE(events()->topLevelItemCount(), 3);
        action("actionClearEvents")->trigger();
        QCOMPARE(events()->topLevelItemCount(), 0);
    }

    // Either order control re-sorts the whole list; the view follows new events at the end
    // where they arrive unless the user has scrolled away from it.
    void eventsListOrderAndFollowing()
    {
        const QDateTime start(QDate(2024, 5, 1), QTime(10, 0));
        // Each event in a turn of the event loop of its own, as they come from the worker.
        const auto add = [this, &start](int n) {
            window->onEvent(QByteArray::fromHex("393000000011"), start.addSecs(n));
            QTest::qWait(1);
        };
        for (int n = 0; n < 3; ++n)
            add(n);
        const QString oldest = row(0);
        auto* box = child<QCheckBox>("cbOrderEvents");
        box->setChecked(true);
        QCOMPARE(row(2), oldest);
        box->setChecked(false);
        QCOMPARE(row(0), oldest);

        QScrollBar* bar = events()->verticalScrollBar();
        const auto atEnd = [bar] { return bar->maximum() > 0 && bar->value() == bar->maximum(); };
        int n = 3;
        while (n < 200)
            add(n++);
        QTRY_VERIFY(atEnd());
        add(n++);
        QTRY_VERIFY(atEnd());
        QCOMPARE(row(events()->topLevelItemCount() - 1).left(19),
                 start.addSecs(n - 1).toString("yyyy.MM.dd hh:mm:ss"));
        // Scrolled up, a row there chosen: the rows in view stay.
        events()->setCurrentItem(events()->topLevelItem(12));
        bar->setValue(10);
        add(n++);
        QTest::qWait(50);
        QCOMPARE(bar->value(), 10);

        // Newest first: new rows at the top while the view is there, and the rows in view kept
        // while the user reads further down.
        box->setChecked(true);
        QCOMPARE(bar->value(), bar->minimum());
        add(n++);
        QTest::qWait(50);
        QCOMPARE(bar->value(), bar->minimum());
        events()->setCurrentItem(events()->topLevelItem(22));
        bar->setValue(20);
        QTest::qWait(50);
        const QTreeWidgetItem* shown = events()->itemAt(0, 0);
        add(n++);
        add(n++);
        QTRY_COMPARE(events()->itemAt(0, 0), shown);
    }

    void lockAndDevice()
    {
        QToolButton* lockOpen = child<QToolButton>("tbLockOpen");
        QToolButton* deviceUnblock = child<QToolButton>("tbDeviceUnblock");
        sim->setControlHoldMs(60000);
        sim->setStatus(0x12);
        QVERIFY(connectWindow(window.data(), sim->slavePath()));
        QTRY_COMPARE(child<QLabel>("lLock")->text(), QString("Открывание"));
        QVERIFY(lockOpen->isChecked());
        QCOMPARE(child<QLabel>("lDevice")->text(), QString("Выключено"));
        // The button keeps the reported state and sends what ends it.
        emit window->serialThread()->startEvents(false);
        QTest::qWait(300);
        lockOpen->click();
        QVERIFY(lockOpen->isChecked());
        QTRY_COMPARE(controls().toHex(), QByteArray("01"));
        emit window->serialThread()->startEvents(true);
        sim->setStatus(0x44);
        QTRY_COMPARE(child<QLabel>("lDevice")->text(), QString("Включено"));
        QCOMPARE(child<QLabel>("lLock")->text(), QString("Разблокировка"));
        QVERIFY(deviceUnblock->isChecked());
        deviceUnblock->click();
        QTRY_COMPARE(controls().toHex(), QByteArray("0181"));
        // The panel switched the device off and reports it; the button follows.
        QTRY_VERIFY(!deviceUnblock->isChecked());
        child<QToolButton>("tbLockUnblock")->click(); // checked: back to idle
        child<QToolButton>("tbDeviceOpen")->click();  // unchecked: pulse
        QTRY_COMPARE(controls().toHex(), QByteArray("01810182"));
        QTRY_COMPARE(child<QLabel>("lDevice")->text(), QString("Импульс"));
    }

    void closingWhileConnected()
    {
        QVERIFY(connectWindow(window.data(), sim->slavePath()));
        QSignalSpy finished(window->serialThread(), &QThread::finished);
        // The first close stops the link; the window closes by itself afterwards.
        window->close();
        QCOMPARE(finished.size(), 1);
        QTRY_VERIFY(!window->isVisible());
        const int polls = sim->requestCount(0x43);
        QTest::qWait(300);
        QCOMPARE(sim->requestCount(0x43), polls);
        window.reset();
        QVERIFY(settingsStore().contains("QZelKorWindow/Geometry"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
