#include "actionjournal.h"
#include "cardformat.h"
#include "exportchain.h"
#include "importchain.h"
#include "journalfile.h"
#include "journalquery.h"
#include "journalrecorder.h"
#include "panelfixture.h"
#include "paneltables.h"
#include "qexport.h"
#include "qimport.h"
#include "qzelkorwindow.h"
#include "settingsrecord.h"
#include "settingsrow.h"

#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QTreeWidget>

using Fault = PanelSimulator::FaultKind;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// A database's subscribers, keys and panel settings as comparable text.
QStringList content(TestDatabase& db)
{
    QStringList out = db.column("SELECT id || ':' || IFNULL(apartment, 'NULL') || ':' || phone "
                                "FROM subscriber ORDER BY id") +
                      db.column("SELECT subscriber_id || ':' || id || ':' || type || ':' || "
                                "number FROM card ORDER BY subscriber_id, id");
    QVariantMap values;
    QString error;
    SettingsRow::read(db.db(), &values, &error);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        out << it.key() + '=' + it.value().toString();
    return out;
}

} // namespace

// Export of a database into the simulated panel and import of the panel back, through their
// dialogs: the panel's memory, the database, every failure, closing midway, the round trip.
class TestPanelChains : public QObject, PanelFixture
{
    Q_OBJECT

    QStringList before;

    // Runs the export or the import (start is its button) on target, answering the question
    // with Yes and the next box with Ok.
    void run(const char* start, TestDatabase* target = nullptr, bool settingsOnly = false)
    {
        if (QByteArray(start) == "pbImport")
            open<QImport>(target);
        else
            open<QExport>(target);
        if (settingsOnly)
            childOf<QRadioButton>(dialog, "rbSettingsImport")->setChecked(true);
        answerer->press(QMessageBox::Yes);
        answerer->press(QMessageBox::Ok);
        button(start)->click();
        QVERIFY(answerer->waitForAnswered(2, 20000));
    }

    QStringList blockWrites()
    {
        QStringList writes;
        for (const PanelSimulator::Frame& frame : sim->frames()) {
            const QByteArray& bytes = frame.bytes;
            if (bytes.at(1) >= 0x25 && bytes.at(1) <= 0x27)
                writes << QStringLiteral("%1/%2/%3")
                              .arg(int(bytes.at(1)), 0, 16)
                              .arg(quint8(bytes.at(6)) | quint8(bytes.at(7)) << 8)
                              .arg(quint8(bytes.at(4)));
        }
        return writes;
    }

    QByteArray memory(const QString& where)
    {
        const int n = where.mid(1).toInt();
        return (where[0] == 'a'   ? sim->apartmentRecord(n)
                : where[0] == 'p' ? sim->phoneRecord(n)
                                  : sim->keyRecord(n))
            .toHex();
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        setUp();
        // Something the import replaces, or keeps when it fails.
        db->addSubscriber(100, "77", "88");
        db->addKey(100, 0x42, 0, "0000000000000042");
        before = content(*db);
    }

    void cleanup() { tearDown(); }

    void exportWritesThePanel_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("records"); // a, p or k with the number, = hex
        QTest::addColumn<QStringList>("writes");  // command/first record/data length
        QTest::newRow("apartments 0 and 14")
            << "INSERT INTO subscriber (id, apartment) VALUES (0, '12'), (14, '3')"
            << QStringList{"a0=21000000", "a1=ffffffff", "a13=ffffffff", "a14=03000000"}
            << QStringList{"26/0/62"};
        QTest::newRow("phone in slot 6 of block 1")
            << "INSERT INTO subscriber (id, phone) VALUES (16, '7770100')"
            << QStringList{"p16=77a7a10a0000", "p15=ffffffffffff", "a16=ffffffff"}
            << QStringList{"27/10/62"};
        QTest::newRow("keys in ascending code")
            << "INSERT INTO subscriber (id) VALUES (7), (2); INSERT INTO card (id, "
               "subscriber_id, number) VALUES (5, 7, ''), (3, 7, ''), (4, 2, '')"
            << QStringList{"k0=0300000700", "k1=0400000200", "k2=0500000700", "k3=ffffffffff"}
            << QStringList{"25/0/17"};
        QTest::newRow("thirteen keys in two blocks")
            << "INSERT INTO subscriber (id) VALUES (2); WITH RECURSIVE n(x) AS (SELECT 1 UNION "
               "SELECT x + 1 FROM n WHERE x < 13) INSERT INTO card (id, subscriber_id, number) "
               "SELECT x * 65793, 2, '' FROM n"
            << QStringList{"k11=0c0c0c0200", "k12=0d0d0d0200"} << QStringList{"25/0/62", "25/12/7"};
        QTest::newRow("twelve keys fill one block")
            << "INSERT INTO subscriber (id) VALUES (2); WITH RECURSIVE n(x) AS (SELECT 1 UNION "
               "SELECT x + 1 FROM n WHERE x < 12) INSERT INTO card (id, subscriber_id, number) "
               "SELECT x * 65793, 2, '' FROM n"
            << QStringList{"k11=0c0c0c0200", "k12=ffffffffff"} << QStringList{"25/0/62"};
        QTest::newRow("last blocks")
            << "INSERT INTO subscriber (id, apartment, phone) VALUES (24995, '10203040', "
               "'109876543210'), (24999, '9', '')"
            << QStringList{"a24995=a1a2a3a4", "a24999=09000000", "p24995=a189674523a1"}
            << QStringList{"26/24990/42", "27/24990/62"};
        QTest::newRow("no apartment, no phone")
            << "INSERT INTO subscriber (id, apartment) VALUES (3, NULL), (4, '')"
            << QStringList{"a3=ffffffff", "a4=ffffffff", "p3=ffffffffffff"} << QStringList{};
        QTest::newRow("empty database") << "" << QStringList{"a0=ffffffff"} << QStringList{};
    }
    void exportWritesThePanel()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, records);
        QFETCH(QStringList, writes);
        QVERIFY(db->exec("DELETE FROM subscriber"));
        for (const QString& statement : sql.split("; ", Qt::SkipEmptyParts))
            QVERIFY(db->exec(statement));
        // Whatever the panel held before is cleared first.
        sim->setApartmentRecord(0, hex("99999999"));
        sim->setKeyRecord(3, hex("0101010101"));
        run("pbExport");
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(link->polling);
        for (const QString& record : records)
            QCOMPARE(memory(record.section('=', 0, 0)), record.section('=', 1).toLatin1());
        QCOMPARE(blockWrites(), writes);
        QCOMPARE(sim->frames().first().bytes.at(1), char(0x01));
        for (const char* name : {"pbSettings", "pbApartment", "pbPhone", "pbCard"}) {
            auto* progress = childOf<QProgressBar>(dialog, name);
            QCOMPARE(progress->value(), progress->maximum());
        }
        // A table's bar counts its blocks, as "блок N из M" does.
        for (const auto& [name, command] :
             {std::pair("pbApartment", "26/"), std::pair("pbPhone", "27/"),
              std::pair("pbCard", "25/")})
            QCOMPARE(childOf<QProgressBar>(dialog, name)->maximum(),
                     std::max(1, int(writes.filter(command).size())));
    }

    void stopWithTheAnswerOnItsWay()
    {
        // Stopped after the panel answered but before the answer came: nothing more goes out.
        ExportChain chain;
        link->attach(&chain);
        QSignalSpy finished(&chain, &PanelChain::finished);
        connect(&chain, &PanelChain::sendPacket, &chain, [&chain] { chain.stop(); });
        chain.start(loadExportContent(db->db()).content);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toBool(), false);
        QCOMPARE(finished[0][2].toString(), QString("Выполнение команды прервано пользователем."));
        QCOMPARE(sim->requestCount(), 1);
        QVERIFY(link->polling);
    }

    void exportLoadFailuresSendNothing_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("subscriber 25000")
            << "INSERT INTO subscriber (id) VALUES (25000)"
            << "Абонент '25000' вне диапазона номеров панели (0–24999).";
        QTest::newRow("more keys than the panel holds")
            << "INSERT INTO subscriber (id) VALUES (1); WITH RECURSIVE n(x) AS (SELECT 1 UNION "
               "SELECT x + 1 FROM n WHERE x < 25001) INSERT INTO card (id, subscriber_id, "
               "number) SELECT x, 1, '' FROM n"
            << "Ключей в БД 25002, а панель вмещает не более 25000.";
        QTest::newRow("keys unreadable") << "DROP TABLE card"
                                         << "Ошибка загрузки ключей из БД.\r\nSqlError: ";
        QTest::newRow("no settings row") << "DELETE FROM system"
                                         << "Файл БД поврежден. Отсутствует запись о панели.";
    }
    void exportLoadFailuresSendNothing()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        for (const QString& statement : sql.split("; "))
            QVERIFY(db->exec(statement));
        run("pbExport");
        QCOMPARE(answerer->seen.at(1).title, QString("Экспорт данных в панель"));
        QVERIFY(answerer->seen.at(1).text.startsWith(message));
        QCOMPARE(sim->requestCount(), 0);
        QVERIFY(button("pbExport")->isEnabled());
    }

    void failuresEndTheChain_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("command"); // 0x100 to 0x102: the database refuses the import
        QTest::addColumn<int>("fault");   // -1 Close button, -2 link stopped, -3 close box
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        const QString timeout = "Таймаут ожидания данных. Получено %1 байт из 6.";
        const QString cancelled = "Выполнение команды прервано пользователем.";
        QTest::newRow("export clearing") << "pbExport" << 0x01 << int(Fault::Silence) << 0
                                         << "Очистка памяти панели" << timeout.arg(0);
        QTest::newRow("export settings") << "pbExport" << 0x24 << int(Fault::BadHeaderCrc) << 0
                                         << "Процесс очистки и экспорта настроек"
                                         << "Неверная контрольная сумма пакета команды.";
        QTest::newRow("export apartments")
            << "pbExport" << 0x26 << int(Fault::ResultCode) << 7 << "Процесс экспорта квартир"
            << "Переполнение базы ключей";
        QTest::newRow("export phones")
            << "pbExport" << 0x27 << int(Fault::BadDataCrc) << 0 << "Процесс экспорта телефонов"
            << "Неверная контрольная сумма пакета данных.";
        QTest::newRow("export cancelled")
            << "pbExport" << 0x25 << -1 << 0 << "Процесс экспорта ключей" << cancelled;
        QTest::newRow("export link stopped")
            << "pbExport" << 0x27 << -2 << 0 << "Процесс экспорта телефонов"
            << "Соединение закрыто пользователем.";
        QTest::newRow("import settings") << "pbImport" << 0x64 << int(Fault::Silence) << 0
                                         << "Импорт настроек" << timeout.arg(0);
        QTest::newRow("import apartments")
            << "pbImport" << 0x62 << int(Fault::BadHeaderCrc) << 0 << "Процесс импорта квартир"
            << "Неверная контрольная сумма пакета команды.";
        QTest::newRow("import phones")
            << "pbImport" << 0x63 << int(Fault::ResultCode) << 8 << "Процесс импорта телефонов"
            << "Данные вне диапазона";
        QTest::newRow("import cancelled")
            << "pbImport" << 0x61 << -1 << 0 << "Процесс импорта ключей" << cancelled;
        QTest::newRow("import duplicate apartments")
            << "pbImport" << 0x100 << 0 << 0 << "Добавление абонента '1'."
            << "Запись в БД не выполнена, БД не изменена.\r\nSqlError: UNIQUE constraint failed: "
               "subscriber.apartment Unable to fetch row.";
        QTest::newRow("import keys not written")
            << "pbImport" << 0x102 << 0 << 0 << "Добавление ключа '1' для обонента '0'."
            << "Запись в БД не выполнена, БД не изменена.\r\nSqlError: integer overflow Unable to "
               "fetch row.";
        QTest::newRow("import settings not saved")
            << "pbImport" << 0x101 << 0 << 0 << "Сохранение настроек панели в БД"
            << "Ошибка сохранения настроек панели в БД.\r\nSqlError: settings are read-only Unable "
               "to fetch row.";
    }
    void failuresEndTheChain()
    {
        QFETCH(QString, start);
        QFETCH(int, command);
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(QString, title);
        QFETCH(QString, message);
        sim->setApartmentRecord(0, hex("21000000"));
        sim->setApartmentRecord(1, hex(command == 0x100 ? "21000000" : "31000000"));
        sim->setKeyRecord(0, hex("0100000000"));
        if (command == 0x101)
            QVERIFY(db->exec("CREATE TRIGGER readonly BEFORE UPDATE ON system BEGIN SELECT "
                             "RAISE(ABORT, 'settings are read-only'); END"));
        // Not a constraint: no key could be written.
        if (command == 0x102)
            QVERIFY(db->exec("CREATE TRIGGER broken BEFORE INSERT ON card BEGIN SELECT "
                             "abs(-9223372036854775807 - 1); END"));
        if (fault < 0)
            link->hold(command);
        else if (command < 0x100)
            sim->injectFault(command, Fault(fault), value, 3);
        if (start == "pbImport")
            open<QImport>();
        else
            open<QExport>();
        answerer->press(QMessageBox::Yes);
        answerer->press(QMessageBox::Ok);
        answerer->press(QMessageBox::Ok);
        button(qPrintable(start))->click();
        if (fault < 0) {
            QTRY_VERIFY(link->holding());
            if (fault == -1)
                button("pbClose")->click();
            else if (fault == -2)
                QMetaObject::invokeMethod(dialog->findChild<PanelChain*>(), "onLinkClosed");
            else
                QVERIFY(!dialog->close());
        }
        QVERIFY(answerer->waitForAnswered(2, 20000));
        QCOMPARE(answerer->seen.at(1).title, title);
        QCOMPARE(answerer->seen.at(1).text, message);
        // Closing a cleared panel midway says what it holds.
        if (start == "pbExport" && fault == -1) {
            QVERIFY(answerer->waitForAnswered(3));
            QVERIFY(answerer->seen.at(2).text.startsWith("Панель заполнена не полностью"));
        }
        QVERIFY(link->polling);
        QTRY_VERIFY(button(qPrintable(start))->isEnabled());
        // A close closes the dialog after the message; a failure leaves it open.
        QTRY_COMPARE(dialog->isVisible(), fault != -1 && fault != -3);
        QCOMPARE(content(*db), before);
    }

    void importRecordsBecomeSubscribers()
    {
        sim->setApartmentRecord(0, hex("21000000"));
        sim->setApartmentRecord(1, hex("0a000000"));
        sim->setApartmentRecord(2, hex("ff00ff00"));
        sim->setPhoneRecord(16, hex("77a7a10a0000"));
        int index = 0;
        for (const char* record : {"0102030500", "070000a861", "ffffff0100", "0900000900"})
            sim->setKeyRecord(index++, hex(record));
        run("pbImport");
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(content(*db).mid(0, 7),
                 QStringList({"0:12:", "1:0:", "5:NULL:", "9:NULL:", "16:NULL:7770100",
                              "5:197121:2:197121", "9:9:2:9"}));
        QCOMPARE(sim->requestCount(), 1 + 1667 + 2500 + 2084);
        QCOMPARE(sim->frames(0x62).last().bytes.mid(6, 3).toHex(), QByteArray("9e610a"));
        QCOMPARE(sim->frames(0x61).last().bytes.mid(6, 3).toHex(), QByteArray("a46104"));
    }

    void importSettingsOnlyAndEmptyPanel_data()
    {
        QTest::addColumn<bool>("settingsOnly");
        QTest::newRow("settings only") << true;
        QTest::newRow("empty panel") << false;
    }
    void importSettingsOnlyAndEmptyPanel()
    {
        QFETCH(bool, settingsOnly);
        sim->setApartmentRecord(3, settingsOnly ? hex("31000000") : hex("ffffffff"));
        QVariantMap values = SettingsRecord::decode(sim->settings());
        values["talk_time"] = 300;
        sim->setSettings(SettingsRecord::encode(values));
        run("pbImport", db, settingsOnly);
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(sim->requestCount(), settingsOnly ? 1 : 6252);
        QStringList expected =
            before.replaceInStrings(QRegularExpression("^talk_time=30$"), "talk_time=300");
        QCOMPARE(content(*db), settingsOnly ? expected : expected.mid(2));
        QProgressBar* progress = childOf<QProgressBar>(dialog, "pbDB");
        QCOMPARE(progress->value(), progress->maximum());
    }

    void importDuplicateKeySkipsTheRest()
    {
        int index = 0;
        for (const char* record : {"0500000300", "0500000300", "0600000300", "0700000400"})
            sim->setKeyRecord(index++, hex(record));
        open<QImport>();
        childOf<QComboBox>(dialog, "cbType")->setCurrentIndex(0);
        answerer->press(QMessageBox::Yes);
        answerer->press(QMessageBox::Ok);
        answerer->press(QMessageBox::Ok);
        button("pbImport")->click();
        QVERIFY(answerer->waitForAnswered(3, 20000));
        QCOMPARE(answerer->seen.at(1).title,
                 QString("Добавление ключа '0000000000000005' для обонента '3'."));
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(content(*db).mid(0, 4),
                 QStringList(
                     {"3:NULL:", "4:NULL:", "3:5:0:0000000000000005", "4:7:0:0000000000000007"}));
    }

    void importClosedWhileWritingRollsBack()
    {
        for (int n = 0; n < PanelTables::Records; ++n)
            sim->setApartmentRecord(n, PanelTables::keyRecord(uint(n + 1), 0).left(4));
        open<QImport>();
        connect(dialog->findChild<ImportChain*>(), &PanelChain::finished, dialog,
                [this] { QVERIFY(!dialog->close()); });
        answerer->press(QMessageBox::Yes);
        button("pbImport")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 20000);
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(answerer->seen.size(), 1);
        QCOMPARE(content(*db), before);
        QVERIFY(link->polling);
    }

    void roundTrip()
    {
        QVERIFY(db->exec("DELETE FROM subscriber"));
        // Every setting at the top of its field, and codes with the digit 0.
        QStringList maxima = {"code_open_lock = '0'", "code_on_off_dev = '901020'"};
        for (const SettingsRecord::Field& field : SettingsRecord::fields())
            if (field.kind != SettingsRecord::Field::Code)
                maxima << QString("%1 = %2")
                              .arg(field.column)
                              .arg((1LL << (field.kind == SettingsRecord::Field::Bits
                                                ? field.width
                                                : 8 * field.width)) -
                                   1);
        QVERIFY(db->exec("UPDATE system SET " + maxima.join(", ")));
        QVERIFY(db->exec("BEGIN"));
        for (int i = 0; i < 3000; ++i) {
            const int id = i * 8 + i % 7;
            QVariant apartment;
            if (i % 5)
                apartment = QString::number(i % 2 ? 10203040 + i : i * 10);
            const bool phone = i % 3 || i % 4 == 0;
            db->addSubscriber(id, apartment,
                              phone ? QString("1098765%1").arg(i, 5, 10, QChar('0')) : "");
            for (int k = 0; k < i % 4; ++k) {
                const uint code = uint(0x100000 + i * 4 + k) * (k + 1) % 0xFFFFFF + 1;
                db->addKey(id, code, k, cardToText(k, code));
            }
        }
        QVERIFY(db->exec("COMMIT"));
        QTemporaryDir folder;
        JournalRecorder recorder(folder.filePath("journal.sqlite"));
        ActionJournal::setRecorder(&recorder);
        // With a copy of the panel read before the export.
        qputenv("OSTROVEL_SNAPSHOTS", folder.path().toLocal8Bit());
        settingsStore().setValue("QExport/cbPanelCopy", true);
        run("pbExport");
        settingsStore().remove("QExport/cbPanelCopy");
        qunsetenv("OSTROVEL_SNAPSHOTS");
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        TestDatabase copy(QStringLiteral("copy.zelkor"));
        run("pbImport", &copy);
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        // Each is in the journal once; the export's reading of the panel beforehand is not.
        recorder.close();
        JournalFile journal(recorder.journalFile());
        QCOMPARE(journal.openForReading(), JournalFile::State::ReadOnly);
        QStringList actions;
        JournalQuery(journal.database(), {}).forEach([&](const JournalEntry& e) {
            return actions << e.record.text + ": " + e.record.detail, true;
        });
        QCOMPARE(actions, QStringList({"Экспорт данных в панель: выполнено",
                                       "Импорт данных из панели: выполнено"}));
        // Keys come back as codes, all in the format chosen for the import.
        QVERIFY(db->exec("UPDATE card SET type = 2, number = id"));
        QCOMPARE(content(copy), content(*db));
    }

    void mainWindowActions()
    {
        QVERIFY(sim->start());
        qputenv("OSTROVEL_EXTRA_PORTS", sim->slavePath().toLocal8Bit());
        QZelKorWindow window;
        QVERIFY(window.openDB(db->path()));
        ModalAnswerer boxes;
        boxes.press(QMessageBox::Ok);
        boxes.press(QMessageBox::Ok);
        childOf<QAction>(&window, "actionExport")->trigger();
        childOf<QAction>(&window, "actionImport")->trigger();
        QVERIFY(boxes.waitForAnswered(2));
        QCOMPARE(boxes.seen.at(0).title + boxes.seen.at(1).title + boxes.seen.at(1).text,
                 QString("Экспорт данных в панельИмпорт данных из панелиТребуется подключение "
                         "к панели."));

        QComboBox* ports = childOf<QComboBox>(&window, "cbListPort");
        ports->setCurrentIndex(ports->findText(sim->slavePath()));
        childOf<QPushButton>(&window, "pbConnectPort")->click();
        QVERIFY(window.serialThread()->isRunning());
        // A subscriber the tree does not show yet; the accepted import reloads the tree.
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
        QTRY_COMPARE(childOf<QTreeWidget>(&window, "treeView")->topLevelItemCount(), 2);
    }
};

QTEST_MAIN(TestPanelChains)
#include "tst_panelchains.moc"
