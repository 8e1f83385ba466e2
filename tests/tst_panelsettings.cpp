#include "actionjournal.h"
#include "journalfile.h"
#include "journalquery.h"
#include "journalrecorder.h"
#include "panelfixture.h"
#include "qpanelsettings.h"
#include "qserialportthread.h"

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

using Fault = PanelSimulator::FaultKind;

// The panel settings dialog: the system row, the record the panel receives, failures and
// closing while a write is in flight.
class TestPanelSettings : public QObject, PanelFixture
{
    Q_OBJECT

    QString row(const char* columns)
    {
        return db->value(QStringLiteral("SELECT %1 FROM system").arg(columns)).toString();
    }

private slots:
    void initTestCase() { prepareGuiTest(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void writesDatabaseAndPanel()
    {
        QVERIFY(sim->start());
        QSerialPortThread thread;
        QSerialPort::SerialPortError error;
        QString text;
        QVERIFY(thread.start(sim->slavePath(), error, text));
        QVERIFY(db->exec("UPDATE system SET talk_time = 300, timeout_dtmf = 31, "
                         "show_retry_input_dev = 1, code_open_lock = '0'"));
        open<QPanelSettings>(nullptr, &thread);
        QVERIFY(button("pbSaveWrite")->isEnabled());
        QCOMPARE(childOf<QSpinBox>(dialog, "sb_talk_time")->value(), 300);
        childOf<QLineEdit>(dialog, "sb_pass_prog")->setText("12a");
        childOf<QLineEdit>(dialog, "le_code_unblock_lock")->setText("1234567");
        childOf<QComboBox>(dialog, "cbox_type_lock")->setCurrentIndex(1);
        QVERIFY(!childOf<QCheckBox>(dialog, "cb_unblock_lock_imp")->isEnabled());
        childOf<QCheckBox>(dialog, "cb_mode_key_union")->setChecked(true);
        button("pbSaveWrite")->click();
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
    }

    void talkTimeOffIsZero()
    {
        open<QPanelSettings>();
        childOf<QCheckBox>(dialog, "cbTalkTime")->setChecked(false);
        QVERIFY(!childOf<QSpinBox>(dialog, "sb_talk_time")->isEnabled());
        button("pbSave")->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(row("talk_time"), QString("0"));
        QCOMPARE(sim->requestCount(), 0);
        open<QPanelSettings>();
        QVERIFY(!childOf<QCheckBox>(dialog, "cbTalkTime")->isChecked());
        QVERIFY(!childOf<QSpinBox>(dialog, "sb_talk_time")->isEnabled());
        QCOMPARE(childOf<QSpinBox>(dialog, "sb_talk_time")->value(), 1);
    }

    void failuresKeepTheDialog_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("no answer")
            << int(Fault::Silence) << 0 << "Таймаут ожидания данных. Получено 0 байт из 6.";
        QTest::newRow("result code") << int(Fault::ResultCode) << 7 << "Переполнение базы ключей";
        QTest::newRow("database") << -1 << 0
                                  << "Ошибка сохранения настроек панели в БД.\r\nSqlError: no "
                                     "update Unable to fetch row.";
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
        QTemporaryDir folder;
        JournalRecorder recorder(folder.filePath("journal.sqlite"));
        ActionJournal::setRecorder(&recorder);
        open<QPanelSettings>();
        childOf<QSpinBox>(dialog, "sb_timeout_tap")->setValue(9);
        answerer->press(QMessageBox::Ok);
        button("pbSaveWrite")->click();
        QVERIFY(answerer->waitForAnswered(1));
        QCOMPARE(answerer->seen.at(0).title, QString("Настройки панели"));
        QCOMPARE(answerer->seen.at(0).text, message);
        QVERIFY(dialog->isVisible());
        QVERIFY(button("pbSaveWrite")->isEnabled());
        // The database update stays when only the panel failed.
        QCOMPARE(row("timeout_tap"), QString(fault < 0 ? "3" : "9"));
        QCOMPARE(sim->requestCount(0x24), fault < 0 ? 0 : 3);
        // The journal has the write with the failure shown; nothing went to the panel else.
        recorder.close();
        JournalFile journal(recorder.journalFile());
        QStringList actions;
        if (journal.openForReading() == JournalFile::State::ReadOnly)
            JournalQuery(journal.database(), {}).forEach([&](const JournalEntry& e) {
                return actions << e.record.text + ": " + e.record.detail, true;
            });
        QCOMPARE(actions,
                 fault < 0 ? QStringList() : QStringList{"Запись настроек в панель: " + message});
    }

    void closingWhileWriting()
    {
        open<QPanelSettings>();
        link->hold(0x24);
        button("pbSaveWrite")->click();
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
        open<QPanelSettings>();
        link->hold(0x24);
        button("pbSaveWrite")->click();
        button("pbCancel")->click();
        QVERIFY(!dialog->isVisible());
        QVERIFY(!link->holding());
        QTest::qWait(50);
        QCOMPARE(answerer->seen.size(), 0);
    }
};

QTEST_MAIN(TestPanelSettings)
#include "tst_panelsettings.moc"
