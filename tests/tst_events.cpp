#include "eventrecord.h"
#include "lockstate.h"

#include <QtTest>

// Event records and device status bytes as the panel reports them.
class TestEvents : public QObject
{
    Q_OBJECT

private slots:
    void rows_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* record, int format, const char* key, const char* text) {
            QTest::newRow(record) << QByteArray::fromHex(record) << format << QString(key)
                                  << QString(text);
        };
        row("000000000011", 2, "", "Проход по кнопке");
        row("393000000011", 2, "12345", "Проход по ключу");
        row("c3b2a1000011", 0, "0000000000a1b2c3", "Проход по ключу");
        row("ffff12020511", 1, "018,65535", "Отказ в доступе по ключу (доп. считыватель)");
        row("393000040011", 3, "0000012345", "Проход по ключу (эмуляции ключа)");
        row("3930000f9011", 2, "12345",
            "Неизвестное событие: 0x90 (доп. считыватель,эмуляции ключа)");
        row("000000000111", 2, "", "Проход с клавиатуры");
        row("010000000311", 2, "1", "Добавление ключа и проход во время сбора");
        row("010000000811", 2, "1",
            "Отказ в доступе при добавлении ключа во время сбора по переполнению");
        row("000000000d11", 2, "", "Включение питания");
        row("000000001341", 2, "", "Разблокировка по пожарному датчику");
        row("830000002611", 2, "",
            "Управление с компьютера; устройство: доп. устройство; установленный режим: "
            "выключено,импульс");
        row("000000002711", 2, "",
            "Управление с телефона; устройство: замок; установленный режим: ");
        row("07ffff062611", 2, "",
            "Управление с компьютера; устройство: замок; установленный режим: "
            "ожидание,открывание,разблокировка");
        row("000000020b11", 2, "", "Неизвестное событие: 0xb (доп. считыватель)");
        row("01000000ff11", 2, "1", "Неизвестное событие: 0xff");
    }
    void rows()
    {
        QFETCH(QByteArray, record);
        QFETCH(int, format);
        QFETCH(QString, key);
        QFETCH(QString, text);
        const EventRow row =
            decodeEventRecord(record, QDateTime(QDate(2026, 12, 5), QTime(7, 30, 0, 45)), format);
        QCOMPARE(row.time, QString("2026.12.05 07:30:00.045"));
        QCOMPARE(row.description, text);
        QCOMPARE(row.key, key);
        // The code offered to key capture: the key, or nothing for records without one.
        const uint code = quint8(record[0]) | quint8(record[1]) << 8 | quint8(record[2]) << 16;
        QCOMPARE(row.card, key.isEmpty() ? 0u : code);
    }

    void lockAndDevice_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("lock");
        QTest::addColumn<QString>("device");
        // the timed button, checked, the hold button, checked, the state label
        QTest::newRow("12") << 0x12 << "Закрыть 1 Разблокировать 0 Открывание"
                            << "Импульс 0 Включить 0 Выключено";
        QTest::newRow("two states at once") << 0x66 << "Открыть 0 Разблокировать 0 ?"
                                            << "Импульс 0 Включить 0 ?";
    }
    void lockAndDevice()
    {
        QFETCH(int, status);
        QFETCH(QString, lock);
        QFETCH(QString, device);
        const auto flatten = [](const ControlView& view) {
            return QStringList{view.timedText, QString::number(view.timedChecked), view.holdText,
                               QString::number(view.holdChecked), view.state}
                .join(' ');
        };
        QCOMPARE(flatten(lockView(quint8(status))), lock);
        QCOMPARE(flatten(deviceView(quint8(status))), device);
    }
};

QTEST_GUILESS_MAIN(TestEvents)
#include "tst_events.moc"
