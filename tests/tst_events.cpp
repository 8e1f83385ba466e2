#include "eventrecord.h"
#include "lockstate.h"
#include "qeventsdecription.h"

#include <QtTest>

namespace {
QString describe(const QByteArray& record)
{
    return QEventsDecription::text(reinterpret_cast<const quint8*>(record.constData()));
}
} // namespace

// Event records and device status bytes as the panel reports them.
class TestEvents : public QObject
{
    Q_OBJECT

private slots:
    void description_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("text");
        QTest::newRow("button") << QByteArray::fromHex("000000000011") << "Проход по кнопке";
        QTest::newRow("button, any status")
            << QByteArray::fromHex("0000000000ff") << "Проход по кнопке";
        QTest::newRow("key") << QByteArray::fromHex("393000000011") << "Проход по ключу";
        QTest::newRow("key code 0 but key byte 2 set")
            << QByteArray::fromHex("000001000011") << "Проход по ключу";
        QTest::newRow("key from additional reader, emulated")
            << QByteArray::fromHex("393000060011")
            << "Проход по ключу (доп. считыватель,эмуляции ключа)";
        QTest::newRow("additional reader only")
            << QByteArray::fromHex("393000020511") << "Отказ в доступе по ключу (доп. считыватель)";
        QTest::newRow("emulation only")
            << QByteArray::fromHex("393000040011") << "Проход по ключу (эмуляции ключа)";
        QTest::newRow("other flag bits ignored")
            << QByteArray::fromHex("3930000f9011")
            << "Неизвестное событие: 0x90 (доп. считыватель,эмуляции ключа)";
        QTest::newRow("keypad") << QByteArray::fromHex("000000000111") << "Проход с клавиатуры";
        QTest::newRow("phone") << QByteArray::fromHex("000000000211") << "Проход с телефона";
        QTest::newRow("collecting")
            << QByteArray::fromHex("010000000311") << "Добавление ключа и проход во время сбора";
        QTest::newRow("refusal keypad")
            << QByteArray::fromHex("000000000611") << "Отказ в доступе с клавиатуры";
        QTest::newRow("refusal phone")
            << QByteArray::fromHex("000000000711") << "Отказ в доступе с телефона";
        QTest::newRow("overflow")
            << QByteArray::fromHex("010000000811")
            << "Отказ в доступе добавлении ключа во время сбора по переполнению";
        QTest::newRow("power on") << QByteArray::fromHex("000000000d11") << "Включение питания";
        QTest::newRow("fire") << QByteArray::fromHex("000000001341")
                              << "Разблокировка по пожарному датчику";
        QTest::newRow("fire reset")
            << QByteArray::fromHex("000000001411") << "Сброс разблокировки по пожарному датчику";
        QTest::newRow("computer, device off and pulse")
            << QByteArray::fromHex("830000002611")
            << "Управление с компьютера; устройство: доп. устройство; установленный режим: "
               "выключено,импульс";
        QTest::newRow("phone, lock, no mode") << QByteArray::fromHex("000000002711")
                                              << "Управление с телефона; устройство: замок; "
                                                 "установленный режим: ";
        QTest::newRow("computer, lock all modes, flags ignored")
            << QByteArray::fromHex("07ffff062611")
            << "Управление с компьютера; устройство: замок; установленный режим: "
               "ожидание,открывание,разблокировка";
        QTest::newRow("unknown 0b")
            << QByteArray::fromHex("000000000b11") << "Неизвестное событие: 0xb";
        QTest::newRow("unknown 0b, additional reader")
            << QByteArray::fromHex("000000020b11") << "Неизвестное событие: 0xb (доп. считыватель)";
        QTest::newRow("unknown ff")
            << QByteArray::fromHex("01000000ff11") << "Неизвестное событие: 0xff";
    }
    void description()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, text);
        QCOMPARE(describe(record), text);
    }

    void nullRecord() { QCOMPARE(QEventsDecription::text(nullptr), QString()); }

    void rows_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("key");
        QTest::addColumn<uint>("card");
        QTest::newRow("button") << QByteArray::fromHex("000000000012") << 2 << "" << 0u;
        QTest::newRow("key, no database")
            << QByteArray::fromHex("393000000011") << 2 << "12345" << 12345u;
        QTest::newRow("key as touch memory")
            << QByteArray::fromHex("c3b2a1000011") << 0 << "0000000000a1b2c3" << 0xA1B2C3u;
        QTest::newRow("key as em-marin")
            << QByteArray::fromHex("ffff12000011") << 1 << "018,65535" << 0x12FFFFu;
        QTest::newRow("control byte is no key")
            << QByteArray::fromHex("830000002611") << 2 << "" << 0u;
        QTest::newRow("phone control is no key")
            << QByteArray::fromHex("040000002711") << 2 << "" << 0u;
    }
    void rows()
    {
        QFETCH(QByteArray, record);
        QFETCH(int, format);
        QFETCH(QString, key);
        QFETCH(uint, card);
        const QDateTime received(QDate(2026, 12, 5), QTime(7, 30, 0, 45));
        const EventRow row = decodeEventRecord(record, received, format);
        QCOMPARE(row.time, QString("2026.12.05 07:30:00.045"));
        QCOMPARE(row.key, key);
        QCOMPARE(row.card, card);
        QCOMPARE(row.description, describe(record));
    }

    void lockAndDevice_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("lock");
        QTest::addColumn<QStringList>("device");
        // text of the timed button, checked, text of the hold button, checked, state label
        QTest::newRow("12") << 0x12
                            << QStringList{"Закрыть", "1", "Разблокировать", "0", "Открывание"}
                            << QStringList{"Импульс", "0", "Включить", "0", "Выключено"};
        QTest::newRow("44") << 0x44 << QStringList{"Открыть", "0", "Закрыть", "1", "Разблокировка"}
                            << QStringList{"Импульс", "0", "Выключить", "1", "Включено"};
        QTest::newRow("21") << 0x21
                            << QStringList{"Открыть", "0", "Разблокировать", "0", "Ожидание"}
                            << QStringList{"Выключить", "1", "Включить", "0", "Импульс"};
        QTest::newRow("00") << 0x00 << QStringList{"Открыть", "0", "Разблокировать", "0", "?"}
                            << QStringList{"Импульс", "0", "Включить", "0", "?"};
        QTest::newRow("bits 3 and 7 are not states")
            << 0x88 << QStringList{"Открыть", "0", "Разблокировать", "0", "?"}
            << QStringList{"Импульс", "0", "Включить", "0", "?"};
        QTest::newRow("two states at once")
            << 0x66 << QStringList{"Открыть", "0", "Разблокировать", "0", "?"}
            << QStringList{"Импульс", "0", "Включить", "0", "?"};
    }
    void lockAndDevice()
    {
        QFETCH(int, status);
        QFETCH(QStringList, lock);
        QFETCH(QStringList, device);
        auto flatten = [](const ControlView& view) {
            return QStringList{view.timedText, view.timedChecked ? "1" : "0", view.holdText,
                               view.holdChecked ? "1" : "0", view.state};
        };
        QCOMPARE(flatten(lockView(quint8(status))), lock);
        QCOMPARE(flatten(deviceView(quint8(status))), device);
    }

    void controlParameters()
    {
        QCOMPARE(controlParameter(ControlledDevice::Lock, ModeIdle), quint8(0x01));
        QCOMPARE(controlParameter(ControlledDevice::Lock, ModeTimed), quint8(0x02));
        QCOMPARE(controlParameter(ControlledDevice::Lock, ModeHold), quint8(0x04));
        QCOMPARE(controlParameter(ControlledDevice::Additional, ModeIdle), quint8(0x81));
        QCOMPARE(controlParameter(ControlledDevice::Additional, ModeTimed), quint8(0x82));
        QCOMPARE(controlParameter(ControlledDevice::Additional, ModeHold), quint8(0x84));
    }
};

QTEST_GUILESS_MAIN(TestEvents)
#include "tst_events.moc"
