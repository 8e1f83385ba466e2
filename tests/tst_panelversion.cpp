#include "guitest.h"
#include "modalanswerer.h"
#include "panelsimulator.h"
#include "qpacket.h"
#include "qpanelversion.h"
#include "qserialportthread.h"

#include <QtTest>

#include <QLabel>
#include <QToolButton>

using Fault = PanelSimulator::FaultKind;

// The panel information dialog, driven by show() against the simulated panel.
class TestPanelVersion : public QObject
{
    Q_OBJECT

    PanelSimulator* sim = nullptr;
    QSerialPortThread* thread = nullptr;
    QPanelVersion* dialog = nullptr;

    QString type() { return dialog->findChild<QLabel*>("lType")->text(); }
    QString version() { return dialog->findChild<QLabel*>("lVer")->text(); }
    QToolButton* retry() { return dialog->findChild<QToolButton*>("tbRetry"); }
    QToolButton* closeButton() { return dialog->findChild<QToolButton*>("tbClose"); }

    void open()
    {
        dialog = QPanelVersion::create(nullptr, thread);
        dialog->show();
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        sim = new PanelSimulator;
        QVERIFY(sim->start());
        thread = new QSerialPortThread;
        QSerialPort::SerialPortError error;
        QString text;
        QVERIFY(thread->start(sim->slavePath(), error, text));
        emit thread->startEvents(false);
    }

    void cleanup()
    {
        delete dialog;
        dialog = nullptr;
        delete thread;
        thread = nullptr;
        delete sim;
        sim = nullptr;
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void form()
    {
        open();
        QCOMPARE(dialog->windowTitle(), QString("Информация о панели ZEL-KOR"));
        QVERIFY(dialog->isModal());
        QCOMPARE(dialog->findChild<QLabel*>("label")->text(), QString("Тип устройства:"));
        QCOMPARE(dialog->findChild<QLabel*>("label_2")->text(), QString("Версия:"));
        QCOMPARE(retry()->text(), QString("Повторить"));
        QCOMPARE(closeButton()->text(), QString("Закрыть"));
        QVERIFY(type() == "?" || type() == "ZEL-KOR");
        QVERIFY(dialog->height() < 93 + 40);
    }

    void shows_data()
    {
        QTest::addColumn<int>("deviceType");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<bool>("boot");
        QTest::addColumn<QString>("typeText");
        QTest::addColumn<QString>("versionText");
        QTest::newRow("zel-kor 2.6") << 9 << 2 << 6 << false << "ZEL-KOR"
                                     << "2.6";
        QTest::newRow("no leading zeros") << 9 << 1 << 10 << false << "ZEL-KOR"
                                          << "1.10";
        QTest::newRow("boot mode") << 9 << 2 << 6 << true << "ZEL-KOR"
                                   << "Режим загрузки прошивки.";
        QTest::newRow("other type") << 5 << 3 << 0 << false << "Неизвестный тип устройства '5'"
                                    << "3.0";
    }
    void shows()
    {
        QFETCH(int, deviceType);
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(bool, boot);
        QFETCH(QString, typeText);
        QFETCH(QString, versionText);
        sim->setVersion(quint8(deviceType), quint8(major), quint8(minor));
        sim->setBootMode(boot);
        open();
        QVERIFY(!retry()->isEnabled());
        QTRY_VERIFY(retry()->isEnabled());
        QCOMPARE(type(), typeText);
        QCOMPARE(version(), versionText);
        QCOMPARE(sim->requestCount(0x40), 1);
    }

    void retryWhileWaitingDoesNothing()
    {
        sim->injectFault(0x40, Fault::Delay, 300);
        open();
        QTRY_COMPARE(sim->requestCount(0x40), 1);
        retry()->click();
        dialog->on_tbRetry_clicked();
        QTRY_VERIFY(retry()->isEnabled());
        QCOMPARE(type(), QString("ZEL-KOR"));
        QTest::qWait(100);
        QCOMPARE(sim->requestCount(0x40), 1);
        // Idle again: "Повторить" asks anew and shows "?" meanwhile.
        sim->injectFault(0x40, Fault::Delay, 200);
        retry()->click();
        QCOMPARE(type(), QString("?"));
        QCOMPARE(version(), QString("?"));
        QTRY_COMPARE(version(), QString("2.6"));
        QCOMPARE(sim->requestCount(0x40), 2);
    }

    void errors_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("link") << int(Fault::BadHeaderCrc) << 0
                              << "Неверная контрольная сумма пакета команды.";
        QTest::newRow("result code") << int(Fault::ResultCode) << 8 << "Данные вне диапазона";
        QTest::newRow("unknown result code")
            << int(Fault::ResultCode) << 0x0a << "Неизвестная ошибка: 0xa";
    }
    void errors()
    {
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(QString, message);
        sim->injectFault(0x40, Fault(fault), value, 3);
        open();
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QVERIFY(answerer.waitForAnswered(1));
        QCOMPARE(answerer.seen.first().title, QString("Информация о панели ZEL-KOR"));
        QCOMPARE(answerer.seen.first().text, message);
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
        QTRY_VERIFY(retry()->isEnabled());
        QCOMPARE(type(), QString("?"));
        QCOMPARE(version(), QString("?"));
        QVERIFY(dialog->isVisible());
    }

    void closeWhileWaitingWaitsForTheAnswer()
    {
        sim->injectFault(0x40, Fault::Delay, 300);
        open();
        QTRY_COMPARE(sim->requestCount(0x40), 1);
        QVERIFY(!dialog->close());
        QVERIFY(dialog->isVisible());
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(dialog->isVisible());
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(type(), QString("ZEL-KOR"));
        // Idle, a close is immediate.
        dialog->show();
        QTRY_VERIFY(retry()->isEnabled());
        QVERIFY(dialog->close());
    }

    void closeButtonCancels()
    {
        sim->injectFault(0x40, Fault::Silence, 0, 3);
        open();
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QTRY_COMPARE(sim->requestCount(0x40), 1);
        closeButton()->click();
        QVERIFY(answerer.waitForAnswered(1, 900));
        QCOMPARE(answerer.seen.first().text, QString("Выполнение команды прервано пользователем."));
        QCOMPARE(answerer.seen.first().title, QString("Информация о панели ZEL-KOR"));
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(sim->requestCount(0x40), 1);
    }

    void closeWithErrorShowsItFirst()
    {
        sim->injectFault(0x40, Fault::BadDataCrc, 0, 3);
        open();
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        // The request is on its way: the close waits for the answer.
        QVERIFY(!dialog->close());
        QVERIFY(dialog->isVisible());
        QVERIFY(answerer.waitForAnswered(1));
        QCOMPARE(answerer.seen.first().text, QString("Неверная контрольная сумма пакета данных."));
        QTRY_VERIFY(!dialog->isVisible());
    }
};

QTEST_MAIN(TestPanelVersion)
#include "tst_panelversion.moc"
