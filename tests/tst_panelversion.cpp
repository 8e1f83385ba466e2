#include "qpacket.h"
#include "qpanelversion.h"
#include "qserialportthread.h"
#include "testsupport.h"

using Fault = PanelSimulator::FaultKind;

// The panel information dialog, driven by show() against the simulated panel.
class TestPanelVersion : public QObject
{
    Q_OBJECT

    QScopedPointer<PanelSimulator> sim;
    QScopedPointer<QSerialPortThread> thread;
    QScopedPointer<QPanelVersion> dialog;

    // Device type and version as shown.
    QString shown()
    {
        return childOf<QLabel>(dialog.data(), "lType")->text() + " " +
               childOf<QLabel>(dialog.data(), "lVer")->text();
    }
    QToolButton* retry() { return childOf<QToolButton>(dialog.data(), "tbRetry"); }

    void open()
    {
        dialog.reset(QPanelVersion::create(nullptr, thread.data()));
        dialog->show();
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        sim.reset(new PanelSimulator);
        QVERIFY(sim->start());
        thread.reset(new QSerialPortThread);
        QSerialPort::SerialPortError error;
        QString text;
        QVERIFY(thread->start(sim->slavePath(), error, text));
        emit thread->startEvents(false);
    }

    void cleanup()
    {
        dialog.reset();
        thread.reset();
        sim.reset();
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void shows_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<bool>("boot");
        QTest::addColumn<QString>("shown");
        QTest::newRow("zel-kor 2.6") << 9 << 2 << 6 << false << "ZEL-KOR 2.6";
        QTest::newRow("no leading zeros") << 9 << 1 << 10 << false << "ZEL-KOR 1.10";
        QTest::newRow("boot mode") << 9 << 2 << 6 << true << "ZEL-KOR Режим загрузки прошивки.";
        QTest::newRow("other type") << 5 << 0 << 1 << false << "Неизвестный тип устройства '5' 0.1";
    }
    void shows()
    {
        QFETCH(int, type);
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(bool, boot);
        QFETCH(QString, shown);
        sim->setVersion(quint8(type), quint8(major), quint8(minor));
        sim->setBootMode(boot);
        open();
        // Asking again while the answer is on its way sends nothing more.
        QVERIFY(!retry()->isEnabled());
        dialog->on_tbRetry_clicked();
        QTRY_VERIFY(retry()->isEnabled());
        QCOMPARE(this->shown(), shown);
        QCOMPARE(sim->requestCount(0x40), 1);
    }

    void errors_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("closing");
        QTest::addColumn<QString>("message");
        QTest::newRow("link") << int(Fault::BadHeaderCrc) << 0 << false
                              << "Неверная контрольная сумма пакета команды.";
        QTest::newRow("result code")
            << int(Fault::ResultCode) << 8 << false << "Данные вне диапазона";
        QTest::newRow("unknown result code, while closing")
            << int(Fault::ResultCode) << 0x0a << true << "Неизвестная ошибка: 0xa";
    }
    void errors()
    {
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(bool, closing);
        QFETCH(QString, message);
        sim->injectFault(0x40, Fault(fault), value, 3);
        open();
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        // A close while the request is on its way waits for the answer, and shows it first.
        if (closing)
            QVERIFY(!dialog->close());
        QVERIFY(answerer.waitForAnswered(1));
        QCOMPARE(answerer.seen[0].title, QString("Информация о панели ZEL-KOR"));
        QCOMPARE(answerer.seen[0].text, message);
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
        QTRY_VERIFY(retry()->isEnabled());
        QCOMPARE(shown(), QString("? ?"));
        QTRY_COMPARE(dialog->isVisible(), !closing);
        if (!closing) {
            retry()->click();
            QTRY_COMPARE(shown(), QString("ZEL-KOR 2.6"));
        }
    }
};

QTEST_MAIN(TestPanelVersion)
#include "tst_panelversion.moc"
