#include "directlink.h"
#include "guitest.h"
#include "modalanswerer.h"
#include "qpacket.h"
#include "qpanelsettings.h"
#include "qserialportthread.h"
#include "testdatabase.h"

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

using Fault = PanelSimulator::FaultKind;

// The panel settings dialog: the system row, the record the panel receives, failures and
// closing while a write is in flight.
class TestPanelSettings : public QObject
{
    Q_OBJECT

    TestDatabase* db = nullptr;
    PanelSimulator* sim = nullptr;
    DirectLink* link = nullptr;
    QPanelSettings* dialog = nullptr;
    ModalAnswerer* answerer = nullptr;

    template<typename T>
    T* child(const char* name)
    {
        return childOf<T>(dialog, name);
    }

    void open(QSerialPortThread* thread = nullptr)
    {
        delete dialog;
        if (thread) {
            dialog = QPanelSettings::create(nullptr, &db->db(), thread);
        } else {
            dialog = new QPanelSettings(nullptr, &db->db(), nullptr);
            link->attach(dialog);
        }
        dialog->show();
        delete answerer;
        answerer = new ModalAnswerer;
    }

    QString row(const char* columns)
    {
        return db->value(QStringLiteral("SELECT %1 FROM system").arg(columns)).toString();
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        db = new TestDatabase;
        sim = new PanelSimulator;
        link = new DirectLink(sim);
    }

    void cleanup()
    {
        delete dialog;
        dialog = nullptr;
        delete answerer;
        answerer = nullptr;
        delete link;
        delete sim;
        delete db;
        QCOMPARE(QPacket::liveCount(), 0);
    }

    void writesDatabaseAndPanel()
    {
        QVERIFY(sim->start());
        QSerialPortThread thread;
        QSerialPort::SerialPortError error;
        QString text;
        QVERIFY(thread.start(sim->slavePath(), error, text));
        QVERIFY(db->exec("UPDATE system SET talk_time = 300, timeout_dtmf = 31, "
                         "show_retry_input_dev = 1, code_open_lock = '0'"));
        open(&thread);
        QVERIFY(child<QPushButton>("pbSaveWrite")->isEnabled());
        QCOMPARE(child<QSpinBox>("sb_talk_time")->value(), 300);
        child<QLineEdit>("sb_pass_prog")->setText("12a");
        child<QLineEdit>("le_code_unblock_lock")->setText("1234567");
        child<QComboBox>("cbox_type_lock")->setCurrentIndex(1);
        QVERIFY(!child<QCheckBox>("cb_unblock_lock_imp")->isEnabled());
        child<QCheckBox>("cb_mode_key_union")->setChecked(true);
        child<QPushButton>("pbSaveWrite")->click();
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        // The database keeps what was typed; the record gets what the panel can hold.
        QCOMPARE(row("pass_prog || ':' || code_unblock_lock || ':' || type_lock"),
                 QString("12a:1234567:1"));
        const QByteArray record = sim->settings();
        // Electromagnetic lock (bit 6) with the pulse box's state (bit 7) still sent.
        QCOMPARE(record.left(8).toHex(), QByteArray("2c0108c0fc36010a"));
        QCOMPARE(record.mid(13, 6).toHex(), QByteArray("010203040506"));
        QCOMPARE(record.mid(32).toHex(), QByteArray("00000001"));
        thread.stop();
        open(&thread);
        QVERIFY(!child<QPushButton>("pbSaveWrite")->isEnabled());
    }

    void talkTimeOffIsZero()
    {
        open();
        child<QCheckBox>("cbTalkTime")->setChecked(false);
        QVERIFY(!child<QSpinBox>("sb_talk_time")->isEnabled());
        child<QPushButton>("pbSave")->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(row("talk_time"), QString("0"));
        QCOMPARE(sim->requestCount(), 0);
        open();
        QVERIFY(!child<QCheckBox>("cbTalkTime")->isChecked());
        QVERIFY(!child<QSpinBox>("sb_talk_time")->isEnabled());
        QCOMPARE(child<QSpinBox>("sb_talk_time")->value(), 1);
        // What a line edit holds is checked as it is typed.
        QLineEdit* code = child<QLineEdit>("le_code_open_lock");
        code->clear();
        QTest::keyClicks(code, "12-3");
        QCOMPARE(code->text(), QString("123"));
    }

    void failuresKeepTheDialog_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("no answer")
            << int(Fault::Silence) << 0 << "Таймаут ожидания данных. Получено 0 байт из 6.";
        QTest::newRow("result code") << int(Fault::ResultCode) << 7 << "Переполнение базы ключей";
        QTest::newRow("database") << -1 << 0 << "no update Unable to fetch row";
    }
    void failuresKeepTheDialog()
    {
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(QString, message);
        if (fault < 0)
            QVERIFY(db->exec("CREATE TRIGGER t BEFORE UPDATE ON system BEGIN SELECT "
                             "RAISE(ABORT, 'no update'); END"));
        else
            sim->injectFault(0x24, Fault(fault), value, 3);
        open();
        child<QSpinBox>("sb_timeout_tap")->setValue(9);
        answerer->press(QMessageBox::Ok);
        child<QPushButton>("pbSaveWrite")->click();
        QVERIFY(answerer->waitForAnswered(1));
        QCOMPARE(answerer->seen.at(0).title, QString("Настройки панели"));
        QCOMPARE(answerer->seen.at(0).text, message);
        QVERIFY(dialog->isVisible());
        QVERIFY(child<QPushButton>("pbSave")->isEnabled());
        QVERIFY(child<QPushButton>("pbSaveWrite")->isEnabled());
        // The database update stays when only the panel failed.
        QCOMPARE(row("timeout_tap"), QString(fault < 0 ? "3" : "9"));
        QCOMPARE(sim->requestCount(0x24), fault < 0 ? 0 : 3);
    }

    void missingRow()
    {
        QVERIFY(db->exec("DELETE FROM system"));
        ModalAnswerer boxes;
        boxes.press(QMessageBox::Ok);
        QTimer::singleShot(0, this, [this] { open(); });
        QVERIFY(boxes.waitForAnswered(1));
        QCOMPARE(boxes.seen.at(0).text, QString("Файл БД поврежден. Отсутствует запись о панели."));
        QTRY_VERIFY(dialog && dialog->isVisible());
        QCOMPARE(child<QSpinBox>("sb_talk_time")->value(), 30);
    }

    void closingWhileWriting()
    {
        open();
        link->hold(0x24);
        child<QPushButton>("pbSaveWrite")->click();
        QVERIFY(link->holding());
        // The close box waits for the answer and shows it first.
        QVERIFY(!dialog->close());
        QVERIFY(dialog->isVisible());
        answerer->press(QMessageBox::Ok);
        link->cancel();
        QVERIFY(answerer->waitForAnswered(1));
        QCOMPARE(answerer->seen.at(0).text, QString("Выполнение команды прервано пользователем."));
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        // Cancel closes at once; the late answer is not shown.
        open();
        link->hold(0x24);
        child<QPushButton>("pbSaveWrite")->click();
        child<QPushButton>("pbCancel")->click();
        QVERIFY(!dialog->isVisible());
        QVERIFY(!link->holding());
        QTest::qWait(50);
        QCOMPARE(answerer->seen.size(), 0);
    }
};

QTEST_MAIN(TestPanelSettings)
#include "tst_panelsettings.moc"
