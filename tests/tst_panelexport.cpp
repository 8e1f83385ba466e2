#include "directlink.h"
#include "guitest.h"
#include "modalanswerer.h"
#include "qexport.h"
#include "qpacket.h"
#include "qserialportthread.h"
#include "settingsrecord.h"
#include "settingsrow.h"
#include "testdatabase.h"

#include <QtTest>

#include <QProgressBar>
#include <QPushButton>

using Fault = PanelSimulator::FaultKind;

// The export dialog writing a database into the simulated panel, checked in the panel's memory.
class TestPanelExport : public QObject
{
    Q_OBJECT

    TestDatabase* db = nullptr;
    PanelSimulator* sim = nullptr;
    DirectLink* link = nullptr;
    QExport* dialog = nullptr;
    ModalAnswerer* answerer = nullptr;

    QPushButton* button(const char* name) { return childOf<QPushButton>(dialog, name); }

    void open(QSerialPortThread* thread = nullptr)
    {
        if (thread) {
            dialog = QExport::create(nullptr, &db->db(), thread);
        } else {
            dialog = new QExport(nullptr, &db->db(), nullptr);
            link->attach(dialog);
        }
        dialog->show();
        // The dialog itself is not one of the boxes to answer.
        delete answerer;
        answerer = new ModalAnswerer;
    }

    // Starts the export with Yes; the next box is answered with Ok.
    void startExport()
    {
        answerer->press(QMessageBox::Yes);
        answerer->press(QMessageBox::Ok);
        button("pbExport")->click();
    }

    // What the panel received in the block writes, as command/first record/data length.
    QStringList blockWrites()
    {
        QStringList writes;
        for (const PanelSimulator::Frame& frame : sim->frames()) {
            const QByteArray& bytes = frame.bytes;
            const int command = quint8(bytes.at(1));
            if (command < 0x25 || command > 0x27)
                continue;
            writes << QStringLiteral("%1/%2/%3")
                          .arg(command, 0, 16)
                          .arg(quint8(bytes.at(6)) | quint8(bytes.at(7)) << 8)
                          .arg(quint8(bytes.at(4)));
        }
        return writes;
    }

    QByteArray memory(const QString& where)
    {
        const int number = where.mid(1).toInt();
        switch (where.at(0).toLatin1()) {
        case 'a':
            return sim->apartmentRecord(number).toHex();
        case 'p':
            return sim->phoneRecord(number).toHex();
        default:
            return sim->keyRecord(number).toHex();
        }
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

    void writesThePanel_data()
    {
        QTest::addColumn<QStringList>("sql");
        QTest::addColumn<QStringList>("records"); // a, p or k with the number, = hex
        QTest::addColumn<QStringList>("writes");
        QTest::newRow("apartments 0 and 14")
            << QStringList{"INSERT INTO subscriber (id, apartment) VALUES (0, '12'), (14, '3')"}
            << QStringList{"a0=21000000", "a1=ffffffff", "a13=ffffffff", "a14=03000000"}
            << QStringList{"26/0/62"};
        QTest::newRow("phone in slot 6 of block 1")
            << QStringList{"INSERT INTO subscriber (id, phone) VALUES (16, '7770100')"}
            << QStringList{"p16=77a7a10a0000", "p15=ffffffffffff", "a16=ffffffff"}
            << QStringList{"27/10/62"};
        QTest::newRow("keys go in ascending code")
            << QStringList{"INSERT INTO subscriber (id) VALUES (7)",
                           "INSERT INTO card (id, subscriber_id, number) VALUES (5, 7, '5'), "
                           "(3, 7, '3')"}
            << QStringList{"k0=0300000700", "k1=0500000700", "k2=ffffffffff"}
            << QStringList{"25/0/12"};
        QStringList thirteen = {"INSERT INTO subscriber (id) VALUES (2)"};
        for (int code = 1; code <= 13; ++code)
            thirteen << QStringLiteral("INSERT INTO card (id, subscriber_id, number) VALUES "
                                       "(%1, 2, '')")
                            .arg(code * 0x10101);
        QTest::newRow("thirteen keys in two blocks")
            << thirteen << QStringList{"k11=0c0c0c0200", "k12=0d0d0d0200"}
            << QStringList{"25/0/62", "25/12/7"};
        QTest::newRow("last apartment block")
            << QStringList{"INSERT INTO subscriber (id, apartment, phone) VALUES (24995, "
                           "'10203040', '109876543210'), (24999, '9', '')"}
            << QStringList{"a24995=a1a2a3a4", "a24999=09000000", "p24995=a189674523a1"}
            << QStringList{"26/24990/42", "27/24990/62"};
        QTest::newRow("empty database")
            << QStringList{} << QStringList{"a0=ffffffff"} << QStringList{};
        QTest::newRow("no apartment, no phone")
            << QStringList{"INSERT INTO subscriber (id, apartment, phone) VALUES (3, NULL, ''), "
                           "(4, '', '')"}
            << QStringList{"a3=ffffffff", "a4=ffffffff", "p3=ffffffffffff"} << QStringList{};
    }
    void writesThePanel()
    {
        QFETCH(QStringList, sql);
        QFETCH(QStringList, records);
        QFETCH(QStringList, writes);
        for (const QString& statement : sql)
            QVERIFY(db->exec(statement));
        // Whatever the panel held before is cleared first.
        sim->setApartmentRecord(0, QByteArray::fromHex("99999999"));
        sim->setKeyRecord(2, QByteArray::fromHex("0101010101"));
        open();
        startExport();
        QVERIFY(answerer->waitForAnswered(2));
        QCOMPARE(answerer->seen.at(1).text, QString("Экспорт данных в панель выполнен успешно."));
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(link->polling);

        for (const QString& record : records)
            QCOMPARE(memory(record.section('=', 0, 0)), record.section('=', 1).toLatin1());
        QCOMPARE(blockWrites(), writes);
        QCOMPARE(quint8(sim->frames().first().bytes.at(1)), quint8(0x01));
        QVariantMap settings;
        QString error;
        QCOMPARE(SettingsRow::read(db->db(), &settings, &error), SettingsRow::Read::Read);
        QCOMPARE(sim->settings().toHex(), SettingsRecord::encode(settings).left(36).toHex());
        for (const char* bar : {"pbSettings", "pbApartment", "pbPhone", "pbCard"}) {
            QProgressBar* progress = childOf<QProgressBar>(dialog, bar);
            QCOMPARE(progress->value(), progress->maximum());
        }
    }

    void loadFailuresSendNothing_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("subscriber 25000")
            << "INSERT INTO subscriber (id) VALUES (1), (25000)"
            << "Абонент '25000' вне диапазона номеров панели (0–24999).";
        QTest::newRow("negative subscriber")
            << "INSERT INTO subscriber (id) VALUES (-1)"
            << "Абонент '-1' вне диапазона номеров панели (0–24999).";
        QTest::newRow("keys unreadable") << "DROP TABLE card"
                                         << "Ошибка загрузки ключей из БД.\r\nSqlError: ";
        QTest::newRow("subscribers unreadable")
            << "DROP VIEW view_tree; DROP TABLE card; DROP TABLE subscriber"
            << "Ошибка загрузка квартир и телефонов из БД.\r\nSqlError: ";
        QTest::newRow("no settings row") << "DELETE FROM system"
                                         << "Файл БД поврежден. Отсутствует запись о панели.";
    }
    void loadFailuresSendNothing()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        for (const QString& statement : sql.split("; "))
            QVERIFY(db->exec(statement));
        open();
        startExport();
        QVERIFY(answerer->waitForAnswered(2));
        QCOMPARE(answerer->seen.at(1).title, QString("Экспорт данных в панель"));
        QVERIFY2(answerer->seen.at(1).text.startsWith(message),
                 qPrintable(answerer->seen.at(1).text));
        QCOMPARE(sim->requestCount(), 0);
        QCOMPARE(link->pollingSwitches, 0);
        QVERIFY(button("pbExport")->isEnabled());
        QVERIFY(dialog->isVisible());
    }

    void failuresEndTheChain_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("clearing unanswered")
            << 0x01 << int(Fault::Silence) << 0 << "Очистка памяти панели"
            << "Таймаут ожидания данных. Получено 0 байт из 6.";
        QTest::newRow("settings header crc")
            << 0x24 << int(Fault::BadHeaderCrc) << 0 << "Процесс очистки и экспорта настроек"
            << "Неверная контрольная сумма пакета команды.";
        QTest::newRow("apartments result code")
            << 0x26 << int(Fault::ResultCode) << 7 << "Процесс экспорта квартир"
            << "Переполнение базы ключей";
        QTest::newRow("phones data crc")
            << 0x27 << int(Fault::BadDataCrc) << 0 << "Процесс экспорта телефонов"
            << "Неверная контрольная сумма пакета данных.";
        QTest::newRow("keys cut short")
            << 0x25 << int(Fault::CutAnswer) << 3 << "Процесс экспорта ключей"
            << "Таймаут ожидания данных. Получено 3 байт из 6.";
        QTest::newRow("keys cancelled") << 0x25 << -1 << 0 << "Процесс экспорта ключей"
                                        << "Выполнение команды прервано пользователем.";
    }
    void failuresEndTheChain()
    {
        QFETCH(int, command);
        QFETCH(int, fault);
        QFETCH(int, value);
        QFETCH(QString, title);
        QFETCH(QString, message);
        db->addSubscriber(1, "11", "22");
        db->addKey(1, 0x123, 2, "291");
        if (fault < 0)
            link->hold(command);
        else
            sim->injectFault(command, Fault(fault), value, 3);
        open();
        startExport();
        if (fault < 0) {
            QTRY_VERIFY(link->holding());
            button("pbClose")->click();
        }
        QVERIFY(answerer->waitForAnswered(2));
        QCOMPARE(answerer->seen.at(1).title, title);
        QCOMPARE(answerer->seen.at(1).text, message);
        QCOMPARE(answerer->seen.at(1).icon, QMessageBox::Critical);
        QVERIFY(link->polling);
        QCOMPARE(link->pollingSwitches, 2);
        QVERIFY(button("pbExport")->isEnabled());
        // A close closes the dialog after the message; an error leaves it open.
        QTRY_COMPARE(dialog->isVisible(), fault >= 0);
    }

    void closeBoxWaitsForTheCancelledRequest()
    {
        db->addSubscriber(1, "11");
        link->hold(0x26);
        open();
        startExport();
        QTRY_VERIFY(link->holding());
        QVERIFY(!dialog->close());
        QVERIFY(answerer->waitForAnswered(2));
        QCOMPARE(answerer->seen.at(1).title, QString("Процесс экспорта квартир"));
        QTRY_VERIFY(!dialog->isVisible());
        QVERIFY(link->polling);
        // Destroying a dialog midway still gives polling back.
        link->hold(0x01);
        dialog->show();
        delete answerer;
        answerer = new ModalAnswerer;
        answerer->press(QMessageBox::Yes);
        button("pbExport")->click();
        QTRY_VERIFY(link->holding());
        QVERIFY(!link->polling);
        delete dialog;
        dialog = nullptr;
        QVERIFY(link->polling);
    }

    void throughTheSerialWorker()
    {
        sim->start();
        QSerialPortThread thread;
        QSerialPort::SerialPortError error;
        QString text;
        QVERIFY(thread.start(sim->slavePath(), error, text));
        db->addSubscriber(3, "45", "678");
        db->addKey(3, 0xABCDEF, 0, "0000000000abcdef");
        open(&thread);
        startExport();
        QVERIFY(answerer->waitForAnswered(2));
        QCOMPARE(answerer->seen.at(1).text, QString("Экспорт данных в панель выполнен успешно."));
        QCOMPARE(sim->apartmentRecord(3).toHex(), QByteArray("54000000"));
        QCOMPARE(sim->phoneRecord(3).toHex(), QByteArray("760800000000"));
        QCOMPARE(sim->keyRecord(0).toHex(), QByteArray("efcdab0300"));
        // Polling is back on once the chain has ended.
        const int polls = sim->requestCount(0x43);
        QTRY_VERIFY(sim->requestCount(0x43) > polls);
        delete dialog;
        dialog = nullptr;
    }
};

QTEST_MAIN(TestPanelExport)
#include "tst_panelexport.moc"
