#include "application.h"
#include "guitest.h"
#include "modalanswerer.h"
#include "panelsimulator.h"
#include "qpacket.h"
#include "qzelkorwindow.h"

#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

namespace {

const char* const MissingPort = "/dev/ostrovel-missing-port";

QImage picture(const char* name)
{
    return QPixmap(QString::fromLatin1(name)).toImage();
}

} // namespace

// The main window against the simulated panel: connection strip, events list, lock and
// device groups, layout memory and closing.
class TestMainWindow : public QObject
{
    Q_OBJECT

    PanelSimulator* sim = nullptr;
    QZelKorWindow* window = nullptr;

    template<typename T>
    T* child(const char* name)
    {
        return childOf<T>(window, name);
    }
    QAction* action(const char* name) { return child<QAction>(name); }
    QImage status() { return child<QLabel>("labelStatus")->pixmap(Qt::ReturnByValue).toImage(); }
    QString statusTip() { return child<QLabel>("labelStatus")->toolTip(); }

    void selectPort(const QString& text)
    {
        QComboBox* ports = child<QComboBox>("cbListPort");
        const int index = ports->findText(text);
        QVERIFY2(index >= 0, qPrintable(text));
        ports->setCurrentIndex(index);
    }

    void connectToSimulator()
    {
        selectPort(sim->slavePath());
        child<QPushButton>("pbConnectPort")->click();
        QVERIFY(window->serialThread()->isRunning());
    }

    QTreeWidget* events() { return child<QTreeWidget>("treeEvents"); }

    QStringList row(int index)
    {
        const QTreeWidgetItem* item = events()->topLevelItem(index);
        return {item->text(0), item->text(1), item->text(2)};
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
        sim = new PanelSimulator;
        QVERIFY(sim->start());
        qputenv("OSTROVEL_EXTRA_PORTS",
                (sim->slavePath() + ":" + QString::fromLatin1(MissingPort)).toLocal8Bit());
        window = new QZelKorWindow;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        delete sim;
        sim = nullptr;
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void firstStart()
    {
        QCOMPARE(window->windowTitle(), QString("Ostrovel: Управление панелью ZEL-KOR"));
        // The form's size, widened only as far as the connection strip needs to show every
        // text unclipped in the current font.
        QCOMPARE(window->size(), QSize(1012, 758).expandedTo(window->minimumSizeHint()));
        QCOMPARE(window->height(), 758);
        QVERIFY(!child<QWidget>("frmFind")->isVisible());
        QCOMPARE(child<QSplitter>("splitter")->sizes().at(1), 0);
        QVERIFY(!action("actionOrderEvents")->isChecked());
        QCOMPARE(child<QComboBox>("cbListPort")->currentIndex(), 0);
        QCOMPARE(child<QTabWidget>("tabWidget")->currentIndex(), 0);
        QCOMPARE(child<QPushButton>("pbConnectPort")->text(), QString("Подключить"));
        QCOMPARE(status(), picture(":/images/circle_white"));
        QCOMPARE(statusTip(), QString());
        QVERIFY(window->statusBar());

        // Disconnected and without a database.
        for (const char* name :
             {"actionPanelInfo", "actionFirmwareDownload", "actionFirmwareUpload", "actionCloseDB",
              "actionRefreshDB", "actionEdit", "actionImport", "actionExport", "actionExpandAll"})
            QVERIFY2(!action(name)->isEnabled(), name);
        QVERIFY(!child<QMenu>("menuFirmware")->isEnabled());
        QVERIFY(action("actionRefreshListPort")->isEnabled());
        QVERIFY(!child<QToolButton>("tbLockOpen")->isEnabled());
        QVERIFY(action("actionNewDB")->isEnabled());
        QVERIFY(action("actionClearEvents")->isEnabled());
        QCOMPARE(child<QPushButton>("pbClearEvents")->text(), QString("Очистить"));
        QCOMPARE(child<QToolButton>("tbRefreshListPort")->toolTip(),
                 QString("Обновить список портов"));

        // The two hidden database tools never show in the menu.
        for (QMenu* menu : window->findChildren<QMenu*>()) {
            QVERIFY(!menu->actions().contains(action("actionClearDB")));
            QVERIFY(!menu->actions().contains(action("actionGeneration")));
        }
        const QList<QAction*> bar = window->menuBar()->actions();
        QCOMPARE(bar.last()->text(), QString("О программе"));
        QStringList file;
        for (QAction* entry : child<QMenu>("menuFile")->actions())
            if (!entry->isSeparator() && entry->isVisible())
                file << entry->text();
        QCOMPARE(file, QStringList({"Создать БД", "Открыть БД", "Информация о БД", "Настройка БД",
                                    "Импорт данных в БД", "Экспорт данных из БД", "Закрыть БД",
                                    "Недавние файлы", "Выход"}));
    }

    void layoutIsRemembered()
    {
        const QSize size = QSize(1300, 700).expandedTo(window->minimumSizeHint());
        window->resize(size);
        child<QTabWidget>("tabWidget")->setCurrentIndex(1);
        child<QCheckBox>("cbOrderEvents")->setChecked(true);
        QVERIFY(action("actionOrderEvents")->isChecked());
        selectPort(QString::fromLatin1(MissingPort));
        events()->header()->resizeSection(2, 333);
        delete window;
        window = nullptr;

        QSettings settings = settingsStore();
        QVERIFY(settings.contains("QZelKorWindow/Geometry"));
        QVERIFY(settings.contains("QZelKorWindow/State"));
        QVERIFY(settings.contains("splitter/Geometry"));
        QVERIFY(settings.contains("treeEvents/State"));
        QCOMPARE(settings.value("actionOrderEvents").toBool(), true);
        QCOMPARE(settings.value("cbListPort").toString(), QString::fromLatin1(MissingPort));

        window = new QZelKorWindow;
        window->show();
        QCOMPARE(window->size(), size);
        QVERIFY(action("actionOrderEvents")->isChecked());
        QVERIFY(child<QCheckBox>("cbOrderEvents")->isChecked());
        QCOMPARE(child<QComboBox>("cbListPort")->currentText(), QString::fromLatin1(MissingPort));
        QCOMPARE(events()->header()->sectionSize(2), 333);
    }

    void aboutBox()
    {
        ModalAnswerer answerer;
        QString version;
        answerer.handle([&version](QWidget* dialog) {
            version = dialog->findChild<QLabel*>("lVersion")->text();
            QCOMPARE(dialog->findChild<QLabel*>("lInfo")->text(),
                     QString("Ostrovel: Управление панелью ZEL-KOR"));
            QVERIFY(dialog->findChild<QLabel*>("lLink")->text().contains("href"));
            static_cast<QDialog*>(dialog)->accept();
        });
        window->menuBar()->actions().last()->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("О программе"));
        QCOMPARE(version, QString("1.5.3.8"));
    }

    void indicatorFollowsTheLink()
    {
        QSignalSpy enabled(window, &QZelKorWindow::onConnectEnabled);
        connectToSimulator();
        QCOMPARE(child<QPushButton>("pbConnectPort")->text(), QString("Отключить"));
        QCOMPARE(enabled.last().at(0).toBool(), false);
        // Yellow until the first exchange reports, then green.
        QCOMPARE(status(), picture(":/images/circle_yellow"));
        QCOMPARE(statusTip(), QString("Установка связи с панелью"));
        QTRY_COMPARE(status(), picture(":/images/circle_green"));
        QCOMPARE(statusTip(), QString("Связь с панелью установлена"));
        QVERIFY(!child<QComboBox>("cbListPort")->isEnabled());
        QVERIFY(!action("actionRefreshListPort")->isEnabled());
        QVERIFY(action("actionPanelInfo")->isEnabled());
        QVERIFY(child<QMenu>("menuFirmware")->isEnabled());
        QVERIFY(child<QToolButton>("tbLockOpen")->isEnabled());

        // A cancelled exchange leaves the circle as it was.
        emit window->serialThread()->cancel();
        const int polls = sim->requestCount(0x43);
        QTRY_VERIFY(sim->requestCount(0x43) > polls + 1);
        QCOMPARE(status(), picture(":/images/circle_green"));

        // A panel that stops answering turns it red with the time-out text.
        sim->injectFault(0x43, PanelSimulator::FaultKind::Silence, 0, 3);
        QTRY_COMPARE_WITH_TIMEOUT(status(), picture(":/images/circle_red"), 6000);
        QCOMPARE(statusTip(), QString("Таймаут ожидания данных. Получено 0 байт из 6."));
        QTRY_COMPARE(status(), picture(":/images/circle_green"));

        child<QPushButton>("pbConnectPort")->click();
        QVERIFY(!window->serialThread()->isRunning());
        QCOMPARE(child<QPushButton>("pbConnectPort")->text(), QString("Подключить"));
        QCOMPARE(status(), picture(":/images/circle_white"));
        QCOMPARE(statusTip(), QString());
        QVERIFY(child<QComboBox>("cbListPort")->isEnabled());
        QVERIFY(!action("actionPanelInfo")->isEnabled());
        QVERIFY(!child<QToolButton>("tbLockOpen")->isEnabled());
        const int after = sim->requestCount(0x43);
        QTest::qWait(400);
        QCOMPARE(sim->requestCount(0x43), after);
    }

    void panelInfoFromTheMenu()
    {
        connectToSimulator();
        ModalAnswerer answerer;
        QString type;
        QString version;
        answerer.handle([&](QWidget* dialog) {
            // Wait in the dialog's own loop for the answer, then close it.
            QTRY_VERIFY(dialog->findChild<QLabel*>("lVer")->text() != "?");
            type = dialog->findChild<QLabel*>("lType")->text();
            version = dialog->findChild<QLabel*>("lVer")->text();
            dialog->close();
        });
        action("actionPanelInfo")->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("Информация о панели ZEL-KOR"));
        QCOMPARE(type, QString("ZEL-KOR"));
        QCOMPARE(version, QString("2.6"));
        QCOMPARE(sim->requestCount(0x40), 1);
    }

    void refreshKeepsSelection()
    {
        QComboBox* ports = child<QComboBox>("cbListPort");
        selectPort(QString::fromLatin1(MissingPort));
        action("actionRefreshListPort")->trigger();
        QCOMPARE(ports->currentText(), QString::fromLatin1(MissingPort));
        QCOMPARE(ports->currentData().toString(), QString::fromLatin1(MissingPort));
        // Sorted by name.
        for (int i = 1; i < ports->count(); ++i)
            QVERIFY(ports->itemText(i - 1) <= ports->itemText(i));

        // The selected port vanished: the first port is selected.
        qputenv("OSTROVEL_EXTRA_PORTS", sim->slavePath().toLocal8Bit());
        action("actionRefreshListPort")->trigger();
        QCOMPARE(ports->findText(QString::fromLatin1(MissingPort)), -1);
        QCOMPARE(ports->currentIndex(), 0);
    }

    void connectWithoutPort()
    {
        child<QComboBox>("cbListPort")->clear();
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        child<QPushButton>("pbConnectPort")->click();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("Предупреждение"));
        QCOMPARE(answerer.seen.first().text,
                 QString("Необходимо выбрать последовательный порт (COM порт)."));
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Warning);
        QVERIFY(!child<QPushButton>("pbConnectPort")->isChecked());
        QCOMPARE(child<QPushButton>("pbConnectPort")->text(), QString("Подключить"));
        QVERIFY(!window->serialThread()->isRunning());
    }

    void connectToMissingPort()
    {
        selectPort(QString::fromLatin1(MissingPort));
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        child<QPushButton>("pbConnectPort")->click();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("Ошибка"));
        QVERIFY2(answerer.seen.first().text.startsWith(QString("Ошибка: %1\r\n").arg(MissingPort)),
                 qPrintable(answerer.seen.first().text));
        QVERIFY(answerer.seen.first().text.size() >
                QString("Ошибка: %1\r\n").arg(MissingPort).size());
        QVERIFY(!child<QPushButton>("pbConnectPort")->isChecked());
        QCOMPARE(status(), picture(":/images/circle_white"));
        QVERIFY(child<QComboBox>("cbListPort")->isEnabled());
    }

    void eventRows()
    {
        QSignalSpy cards(window, &QZelKorWindow::sendCard);
        const QDateTime at(QDate(2026, 12, 5), QTime(7, 30));
        window->onEvent(QByteArray::fromHex("000000000011"), at);
        window->onEvent(QByteArray::fromHex("393000000011"), at.addMSecs(1));
        window->onEvent(QByteArray::fromHex("393000060011"), at.addMSecs(2));
        window->onEvent(QByteArray::fromHex("830000002611"), at.addMSecs(3));
        window->onEvent(QByteArray::fromHex("11"), at.addMSecs(4));
        window->onEvent(QByteArray::fromHex("0011"), at.addMSecs(5));
        QCOMPARE(events()->topLevelItemCount(), 4);
        QCOMPARE(row(0), QStringList({"2026.12.05 07:30:00.000", "", "Проход по кнопке"}));
        QCOMPARE(row(1), QStringList({"2026.12.05 07:30:00.001", "12345", "Проход по ключу"}));
        QCOMPARE(row(2), QStringList({"2026.12.05 07:30:00.002", "12345",
                                      "Проход по ключу (доп. считыватель,эмуляции ключа)"}));
        QCOMPARE(row(3).at(1), QString());
        QCOMPARE(row(3).at(2), QString("Управление с компьютера; устройство: доп. устройство; "
                                       "установленный режим: выключено,импульс"));
        QCOMPARE(cards.size(), 2);
        QCOMPARE(cards.at(0).at(0).toUInt(), 12345u);

        // Newest on top: new rows go first; the check box alone does not reorder.
        child<QCheckBox>("cbOrderEvents")->setChecked(true);
        QCOMPARE(row(0).at(0), QString("2026.12.05 07:30:00.000"));
        window->onEvent(QByteArray::fromHex("000000000d11"), at.addSecs(60));
        QCOMPARE(row(0), QStringList({"2026.12.05 07:31:00.000", "", "Включение питания"}));
        QCOMPARE(row(1).at(0), QString("2026.12.05 07:30:00.000"));

        // The menu action sorts the whole list, newest first, and back.
        action("actionOrderEvents")->trigger();
        QVERIFY(!action("actionOrderEvents")->isChecked());
        QCOMPARE(row(0).at(0), QString("2026.12.05 07:30:00.000"));
        QCOMPARE(row(4).at(0), QString("2026.12.05 07:31:00.000"));
        action("actionOrderEvents")->trigger();
        QVERIFY(child<QCheckBox>("cbOrderEvents")->isChecked());
        QCOMPARE(row(0).at(0), QString("2026.12.05 07:31:00.000"));
        QCOMPARE(row(4).at(0), QString("2026.12.05 07:30:00.000"));

        action("actionClearEvents")->trigger();
        QCOMPARE(events()->topLevelItemCount(), 0);
    }

    void eventsFromThePanel()
    {
        QSignalSpy cards(window, &QZelKorWindow::sendCard);
        sim->queueKey(12345);
        sim->queueButton();
        sim->queueKey(0xA1B2C3, 0x02, 0x05);
        connectToSimulator();
        QTRY_COMPARE(events()->topLevelItemCount(), 3);
        QCOMPARE(row(0).mid(1), QStringList({"12345", "Проход по ключу"}));
        QCOMPARE(row(1).mid(1), QStringList({"", "Проход по кнопке"}));
        QCOMPARE(row(2).mid(1),
                 QStringList({"10597059", "Отказ в доступе по ключу (доп. считыватель)"}));
        QCOMPARE(cards.size(), 2);
        QCOMPARE(cards.at(1).at(0).toUInt(), 0xA1B2C3u);
        QVERIFY(row(0).at(0) <= row(1).at(0));
        QVERIFY(QDateTime::fromString(row(0).at(0), "yyyy.MM.dd HH:mm:ss.zzz").isValid());
    }

    void lockAndDevice()
    {
        QToolButton* lockOpen = child<QToolButton>("tbLockOpen");
        QToolButton* deviceUnblock = child<QToolButton>("tbDeviceUnblock");
        sim->setControlHoldMs(60000);
        sim->setStatus(0x12);
        connectToSimulator();
        QTRY_COMPARE(child<QLabel>("lLock")->text(), QString("Открывание"));
        QCOMPARE(lockOpen->text(), QString("Закрыть"));
        QVERIFY(lockOpen->isChecked());
        QCOMPARE(child<QLabel>("lDevice")->text(), QString("Выключено"));

        // Stop polling so that the button keeps the last reported state while we look.
        emit window->serialThread()->startEvents(false);
        QTest::qWait(300);
        lockOpen->click();
        QVERIFY(lockOpen->isChecked());
        QTRY_COMPARE(controls(), QByteArray::fromHex("01"));

        emit window->serialThread()->startEvents(true);
        sim->setStatus(0x44);
        QTRY_COMPARE(child<QLabel>("lDevice")->text(), QString("Включено"));
        QCOMPARE(child<QLabel>("lLock")->text(), QString("Разблокировка"));
        QVERIFY(deviceUnblock->isChecked());
        QCOMPARE(deviceUnblock->text(), QString("Выключить"));
        deviceUnblock->click();
        QTRY_COMPARE(controls(), QByteArray::fromHex("0181"));
        // The panel switched the device off and reports it; the button follows.
        QTRY_VERIFY(!deviceUnblock->isChecked());
        QCOMPARE(deviceUnblock->text(), QString("Включить"));

        child<QToolButton>("tbLockUnblock")->click(); // checked: back to idle
        child<QToolButton>("tbDeviceOpen")->click();  // unchecked: pulse
        QTRY_COMPARE(controls(), QByteArray::fromHex("01810182"));
        QTRY_COMPARE(child<QLabel>("lDevice")->text(), QString("Импульс"));

        sim->setStatus(0x00);
        QTRY_COMPARE(child<QLabel>("lLock")->text(), QString("?"));
        QCOMPARE(child<QLabel>("lDevice")->text(), QString("?"));
        QCOMPARE(lockOpen->text(), QString("Открыть"));
        QCOMPARE(child<QToolButton>("tbDeviceOpen")->text(), QString("Импульс"));

        // Disconnected, the buttons are disabled and send nothing.
        child<QPushButton>("pbConnectPort")->click();
        QVERIFY(!lockOpen->isEnabled());
        const QByteArray before = controls();
        QMetaObject::invokeMethod(window, "on_tbLockOpen_clicked", Q_ARG(bool, false));
        QTest::qWait(50);
        QCOMPARE(controls(), before);
    }

    void closingWhileConnected()
    {
        connectToSimulator();
        QTRY_COMPARE(status(), picture(":/images/circle_green"));
        QSignalSpy finished(window->serialThread(), &QThread::finished);
        window->close();
        // The first close stops the link; the window closes by itself afterwards.
        QCOMPARE(finished.size(), 1);
        QVERIFY(!window->serialThread()->isRunning());
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(finished.size(), 1);
        const int polls = sim->requestCount(0x43);
        QTest::qWait(300);
        QCOMPARE(sim->requestCount(0x43), polls);
        delete window;
        window = nullptr;
        QVERIFY(settingsStore().contains("QZelKorWindow/Geometry"));
    }

    void fitColumnsActsOnFocusedTree()
    {
        QTreeWidget* tree = child<QTreeWidget>("treeView");
        const int before = tree->header()->sectionSize(0);
        child<QComboBox>("cbListPort")->setFocus();
        action("actionAllColumns")->trigger();
        QCOMPARE(tree->header()->sectionSize(0), before);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
