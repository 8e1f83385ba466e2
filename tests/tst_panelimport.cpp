#include "cardformat.h"
#include "directlink.h"
#include "guitest.h"
#include "importchain.h"
#include "modalanswerer.h"
#include "paneltables.h"
#include "qexport.h"
#include "qimport.h"
#include "qpacket.h"
#include "qzelkorwindow.h"
#include "settingsrecord.h"
#include "settingsrow.h"
#include "testdatabase.h"

#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

using Fault = PanelSimulator::FaultKind;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// Database content as comparable text.
QStringList subscribers(TestDatabase& db)
{
    return db.column("SELECT id || ':' || IFNULL(apartment, 'NULL') || ':' || phone "
                     "FROM subscriber ORDER BY id");
}

QStringList keys(TestDatabase& db)
{
    return db.column("SELECT subscriber_id || ':' || id || ':' || type || ':' || number "
                     "FROM card ORDER BY subscriber_id, id");
}

QStringList settings(TestDatabase& db)
{
    QVariantMap values;
    QString error;
    SettingsRow::read(db.db(), &values, &error);
    QStringList out;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        out << it.key() + '=' + it.value().toString();
    return out;
}

} // namespace

// The import dialog reading the simulated panel into a database, and the round trip through
// the export.
class TestPanelImport : public QObject
{
    Q_OBJECT

    TestDatabase* db = nullptr;
    PanelSimulator* sim = nullptr;
    DirectLink* link = nullptr;
    QDialog* dialog = nullptr;
    ModalAnswerer* answerer = nullptr;
    QStringList before;

    QPushButton* button(const char* name) { return childOf<QPushButton>(dialog, name); }

    template<typename Dialog>
    void open(TestDatabase* target)
    {
        delete dialog;
        dialog = new Dialog(nullptr, &target->db(), nullptr);
        link->attach(dialog);
        dialog->show();
        delete answerer;
        answerer = new ModalAnswerer;
    }

    // Runs the import (or the export) on target; answers the question and the next box.
    void run(const char* start, TestDatabase* target = nullptr, bool settingsOnly = false)
    {
        if (QByteArray(start) == "pbImport")
            open<QImport>(target ? target : db);
        else
            open<QExport>(target ? target : db);
        if (settingsOnly)
            childOf<QRadioButton>(dialog, "rbSettingsImport")->setChecked(true);
        answerer->press(QMessageBox::Yes);
        answerer->press(QMessageBox::Ok);
        button(start)->click();
        QVERIFY(answerer->waitForAnswered(2, 20000));
    }

    QStringList content() { return subscribers(*db) + keys(*db) + settings(*db); }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        db = new TestDatabase;
        sim = new PanelSimulator;
        link = new DirectLink(sim);
        // Something the import replaces, or keeps when it fails.
        db->addSubscriber(100, "77", "88");
        db->addKey(100, 0x42, 0, "0000000000000042");
        before = content();
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

    void recordsBecomeSubscribers()
    {
        sim->setApartmentRecord(0, hex("21000000"));
        sim->setApartmentRecord(1, hex("0a000000"));
        sim->setApartmentRecord(2, hex("ff00ff00"));
        sim->setPhoneRecord(16, hex("77a7a10a0000"));
        sim->setKeyRecord(0, hex("0102030500"));
        sim->setKeyRecord(1, hex("070000a861"));
        sim->setKeyRecord(2, hex("ffffff0100"));
        sim->setKeyRecord(3, hex("0900000900"));
        QVariantMap values = SettingsRecord::decode(sim->settings());
        values["talk_time"] = 300;
        values["code_unblock_lock"] = "105";
        sim->setSettings(SettingsRecord::encode(values));
        run("pbImport");
        QCOMPARE(answerer->seen.at(1).text,
                 QString("Импорт данных из панели в БД выполнен успешно."));
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(subscribers(*db),
                 QStringList({"0:12:", "1:0:", "5:NULL:", "9:NULL:", "16:NULL:7770100"}));
        QCOMPARE(keys(*db), QStringList({"5:197121:2:197121", "9:9:2:9"}));
        QCOMPARE(db->value("SELECT talk_time || code_unblock_lock FROM system").toString(),
                 QString("300105"));
        QCOMPARE(sim->requestCount(), 1 + 1667 + 2500 + 2084);
        QCOMPARE(sim->frames(0x62).last().bytes.mid(6, 3).toHex(), QByteArray("9e610a"));
        QCOMPARE(sim->frames(0x61).last().bytes.mid(6, 3).toHex(), QByteArray("a46104"));
        QVERIFY(link->polling);
        QProgressBar* progress = childOf<QProgressBar>(dialog, "pbDB");
        QCOMPARE(progress->value(), progress->maximum());
    }

    void settingsOnlyAndEmptyPanel_data()
    {
        QTest::addColumn<bool>("settingsOnly");
        QTest::newRow("settings only") << true;
        QTest::newRow("empty panel") << false;
    }
    void settingsOnlyAndEmptyPanel()
    {
        QFETCH(bool, settingsOnly);
        if (settingsOnly)
            sim->setApartmentRecord(3, hex("31000000"));
        run("pbImport", db, settingsOnly);
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(sim->requestCount(), settingsOnly ? 1 : 6252);
        QCOMPARE(subscribers(*db), settingsOnly ? before.mid(0, 1) : QStringList());
        QCOMPARE(settings(*db).join(' '),
                 QString("code_on_off_dev= code_open_lock=12 code_temp_action_dev= "
                         "code_unblock_lock= dtmf_after_set=0 hide_numbers=1 mode_answer=0 "
                         "mode_dev=0 mode_doorphone=0 mode_key_union=0 mode_reader_contact=0 "
                         "mode_set=0 open_time_lock=1 pass_prog=123456 proto_dev=0 "
                         "reset_fire=0 show_retry_input_dev=0 talk_time=30 time_action_dev=1 "
                         "timeout_dtmf=10 timeout_tap=3 timer_deactivate=6 type_control_dev=0 "
                         "type_fire_contact=0 type_lock=0 unblock_fire=0 unblock_lock_imp=1"));
        QProgressBar* progress = childOf<QProgressBar>(dialog, "pbDB");
        QCOMPARE(progress->value(), progress->maximum());
    }

    void failuresLeaveTheDatabase_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("settings unanswered")
            << 0x64 << int(Fault::Silence) << 0 << "Импорт настроек"
            << "Таймаут ожидания данных. Получено 0 байт из 6.";
        QTest::newRow("apartments header crc")
            << 0x62 << int(Fault::BadHeaderCrc) << 0 << "Процесс импорта квартир"
            << "Неверная контрольная сумма пакета команды.";
        QTest::newRow("phones result code")
            << 0x63 << int(Fault::ResultCode) << 8 << "Процесс импорта телефонов"
            << "Данные вне диапазона";
        QTest::newRow("keys cancelled") << 0x61 << -1 << 0 << "Процесс импорта ключей"
                                        << "Выполнение команды прервано пользователем.";
        QTest::newRow("duplicate apartments") << 0 << -2 << 0 << "Добавление абонента '1'."
                                              << "UNIQUE constraint failed: subscriber.apartment Unable to fetch row";
        QTest::newRow("settings not saved") << 0 << -3 << 0 << "Сохранение настроек панели в БД"
                                            << "settings are read-only Unable to fetch row";
    }
    void failuresLeaveTheDatabase()
    {
        QFETCH(int, command);
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(QString, title);
        QFETCH(QString, message);
        sim->setApartmentRecord(0, hex("21000000"));
        sim->setApartmentRecord(1, hex("21000000"));
        sim->setKeyRecord(0, hex("0100000000"));
        if (fault == -2)
            sim->setApartmentRecord(2, hex("22000000"));
        else
            sim->setApartmentRecord(1, hex("99000000"));
        if (fault == -3)
            QVERIFY(db->exec("CREATE TRIGGER readonly BEFORE UPDATE ON system BEGIN SELECT "
                             "RAISE(ABORT, 'settings are read-only'); END"));
        if (fault == -1)
            link->hold(command);
        else if (fault >= 0)
            sim->injectFault(command, Fault(fault), value, 3);
        open<QImport>(db);
        answerer->press(QMessageBox::Yes);
        answerer->press(QMessageBox::Ok);
        button("pbImport")->click();
        if (fault == -1) {
            QTRY_VERIFY(link->holding());
            button("pbClose")->click();
        }
        QVERIFY(answerer->waitForAnswered(2, 20000));
        QCOMPARE(answerer->seen.at(1).title, title);
        QCOMPARE(answerer->seen.at(1).text, message);
        QCOMPARE(content(), before);
        QVERIFY(link->polling);
        QTRY_VERIFY(button("pbImport")->isEnabled());
        QCOMPARE(dialog->isVisible(), fault != -1);
    }

    void duplicateKeySkipsTheRest()
    {
        sim->setKeyRecord(0, hex("0500000300"));
        sim->setKeyRecord(1, hex("0500000300"));
        sim->setKeyRecord(2, hex("0600000300"));
        sim->setKeyRecord(3, hex("0700000400"));
        open<QImport>(db);
        childOf<QComboBox>(dialog, "cbType")->setCurrentIndex(0);
        answerer->press(QMessageBox::Yes);
        answerer->press(QMessageBox::Ok);
        answerer->press(QMessageBox::Ok);
        button("pbImport")->click();
        QVERIFY(answerer->waitForAnswered(3, 20000));
        QCOMPARE(answerer->seen.at(1).title,
                 QString("Добавление ключа '0000000000000005' для обонента '3'."));
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(keys(*db), QStringList({"3:5:0:0000000000000005", "4:7:0:0000000000000007"}));
    }

    void closeDuringWritingRollsBack()
    {
        for (int n = 0; n < PanelTables::Records; ++n)
            sim->setApartmentRecord(n, PanelTables::keyRecord(uint(n + 1), 0).left(4));
        open<QImport>(db);
        connect(dialog->findChild<ImportChain*>(), &PanelChain::finished, dialog,
                [this] { QVERIFY(!dialog->close()); });
        answerer->press(QMessageBox::Yes);
        button("pbImport")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 20000);
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(answerer->seen.size(), 1);
        QCOMPARE(content(), before);
        QVERIFY(link->polling);
    }

    void roundTrip()
    {
        QVERIFY(db->exec("DELETE FROM subscriber"));
        QVERIFY(db->exec("UPDATE system SET talk_time = 0, mode_set = 3, mode_answer = 2, "
                         "code_open_lock = '0', code_on_off_dev = '901020', pass_prog = "
                         "'9999999', timeout_dtmf = 31, mode_key_union = 1, type_lock = 1"));
        QVERIFY(db->exec("BEGIN"));
        for (int i = 0; i < 3000; ++i) {
            const int id = i * 8 + i % 7;
            QVariant apartment;
            if (i % 5)
                apartment = i % 2 ? QString::number(10203040 + i) : QString::number(i * 10);
            db->addSubscriber(id, apartment,
                              i % 3 || i % 4 == 0 ? QStringLiteral("1098765%1").arg(i, 5, 10, QChar('0')) : "");
            for (int k = 0; k < i % 4; ++k) {
                const uint code = uint(0x100000 + i * 4 + k) * (k + 1) % 0xFFFFFF + 1;
                db->addKey(id, code, k, cardToText(k, code));
            }
        }
        QVERIFY(db->exec("COMMIT"));
        before = content();
        run("pbExport");
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        TestDatabase copy(QStringLiteral("copy.zelkor"));
        run("pbImport", &copy);
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(subscribers(copy), subscribers(*db));
        QCOMPARE(settings(copy), settings(*db));
        QCOMPARE(copy.column("SELECT subscriber_id || ':' || id FROM card ORDER BY 1"),
                 db->column("SELECT subscriber_id || ':' || id FROM card ORDER BY 1"));
        QCOMPARE(copy.value("SELECT COUNT(*) FROM card WHERE type <> 2").toInt(), 0);
    }

    void mainWindowActions()
    {
        sim->start();
        qputenv("OSTROVEL_EXTRA_PORTS", sim->slavePath().toLocal8Bit());
        QZelKorWindow window;
        QVERIFY(window.openDB(db->path()));
        ModalAnswerer boxes;
        boxes.press(QMessageBox::Ok);
        boxes.press(QMessageBox::Ok);
        childOf<QAction>(&window, "actionExport")->trigger();
        childOf<QAction>(&window, "actionImport")->trigger();
        QVERIFY(boxes.waitForAnswered(2));
        QCOMPARE(boxes.seen.at(0).title, QString("Экспорт данных в панель"));
        QCOMPARE(boxes.seen.at(1).title, QString("Импорт данных из панели"));
        QCOMPARE(boxes.seen.at(1).text, QString("Требуется подключение к панели."));

        QComboBox* ports = childOf<QComboBox>(&window, "cbListPort");
        ports->setCurrentIndex(ports->findText(sim->slavePath()));
        childOf<QPushButton>(&window, "pbConnectPort")->click();
        QVERIFY(window.serialThread()->isRunning());
        // A subscriber the tree does not show yet; the accepted import reloads it.
        db->addSubscriber(7, "70");
        boxes.handle([](QWidget* import) {
            childOf<QRadioButton>(import, "rbSettingsImport")->setChecked(true);
            childOf<QPushButton>(import, "pbImport")->click();
        });
        boxes.press(QMessageBox::Yes);
        boxes.press(QMessageBox::Ok);
        childOf<QAction>(&window, "actionImport")->trigger();
        QVERIFY(boxes.waitForAnswered(5));
        QCOMPARE(boxes.seen.at(4).text, QString("Импорт данных из панели в БД выполнен успешно."));
        QTreeWidget* tree = childOf<QTreeWidget>(&window, "treeView");
        QTRY_COMPARE(tree->topLevelItemCount(), 2);
        window.setChecked_ConnectPort(false);
    }
};

QTEST_MAIN(TestPanelImport)
#include "tst_panelimport.moc"
