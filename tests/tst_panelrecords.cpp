#include "crc8.h"
#include "digitcodes.h"
#include "paneltables.h"
#include "settingsrecord.h"

#include <QtTest>

namespace {

// Every column at zero or empty, with the given values over it.
QVariantMap settings(const QVariantMap& overrides)
{
    QVariantMap values;
    for (const SettingsRecord::Field& field : SettingsRecord::fields())
        values[QLatin1String(field.column)] =
            field.kind == SettingsRecord::Field::Code ? QVariant(QString()) : QVariant(0);
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
        values[it.key()] = it.value();
    return values;
}

} // namespace

// The settings record, the digit codes and the table records, against worked bytes.
class TestPanelRecords : public QObject
{
    Q_OBJECT

private slots:
    void settingsBytes_data()
    {
        QTest::addColumn<QVariantMap>("values");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("talk time") << QVariantMap{{"talk_time", 300}} << 0 << QByteArray("2c01");
        QTest::newRow("masked to the field")
            << QVariantMap{{"mode_set", 7}, {"mode_answer", 2}} << 2 << QByteArray("23");
        QTest::newRow("byte 4") << QVariantMap{{"timeout_dtmf", 31}, {"show_retry_input_dev", 1}}
                                << 4 << QByteArray("fc");
        QTest::newRow("byte 5") << QVariantMap{{"timer_deactivate", 6}, {"timeout_tap", 3}} << 5
                                << QByteArray("36");
        QTest::newRow("code 0") << QVariantMap{{"code_open_lock", "0"}} << 7
                                << QByteArray("0a0000000000");
        QTest::newRow("seven characters keep six")
            << QVariantMap{{"time_action_dev", 255}, {"code_temp_action_dev", "1234567"}} << 19
            << QByteArray("ff010203040506");
        QTest::newRow("password") << QVariantMap{{"pass_prog", "9999999"}} << 32
                                  << QByteArray("7f9698");
        QTest::newRow("empty password")
            << QVariantMap{{"pass_prog", ""}} << 32 << QByteArray("000000");
        QTest::newRow("unreadable password")
            << QVariantMap{{"pass_prog", "12a"}} << 32 << QByteArray("000000");
        QTest::newRow("key union alone in byte 35")
            << QVariantMap{{"mode_key_union", 3}} << 35 << QByteArray("01");
    }
    void settingsBytes()
    {
        QFETCH(QVariantMap, values);
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        const QByteArray record = SettingsRecord::encode(settings(values));
        QCOMPARE(record.mid(offset, bytes.size() / 2).toHex(), bytes);
        QCOMPARE(quint8(record.at(36)),
                 crc8(reinterpret_cast<const quint8*>(record.constData()), 36));
    }

    void digitCodes()
    {
        quint8 bytes[6];
        digitsToBytes("102", bytes, 6);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(bytes), 6).toHex(), QByteArray("010a02000000"));
        QCOMPARE(bytesToDigits(bytes, 6), QString("102"));
        digitsToPacked("102", bytes, 2);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(bytes), 2).toHex(), QByteArray("a102"));
        QCOMPARE(packedToDigits(bytes, 2), QString("102"));
        digitsToBytes("a-", bytes, 2);
        QCOMPARE(bytesToDigits(bytes, 2), QString("00"));
    }

    void tableRecords_data()
    {
        QTest::addColumn<int>("table"); // 0 apartments, 1 phones, 2 keys
        QTest::addColumn<int>("request");
        QTest::addColumn<QByteArray>("records");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("last"); // number:apartment:phone:keys of the last image
        QTest::newRow("garbage digits") << 0 << 0 << QByteArray("fb2c0a00") << 1 << "0:20::";
        QTest::newRow("keys skipped")
            << 2 << 0 << QByteArray("010203a8610000000001ffffff0100") << 0 << "";
        QTest::newRow("short answer") << 1 << 0 << QByteArray("1111111111") << 0 << "";
        QTest::newRow("last block keeps to the table")
            << 0 << 1666 << QByteArray("11000000").repeated(15) << 10 << "24999:11::";
        QTest::newRow("last key block keeps to the table")
            << 2 << 2083 << QByteArray("0100000100").repeated(12) << 1 << "1:::1,1,1,1";
    }
    void tableRecords()
    {
        QFETCH(int, table);
        QFETCH(int, request);
        QFETCH(QByteArray, records);
        QFETCH(int, count);
        QFETCH(QString, last);
        PanelTables::SubscriberImages result;
        const auto add = table == 0   ? PanelTables::addApartments
                         : table == 1 ? PanelTables::addPhones
                                      : PanelTables::addKeys;
        add(result, request, QByteArray::fromHex(records));
        QCOMPARE(result.size(), count);
        const PanelTables::SubscriberImage image =
            result.isEmpty() ? PanelTables::SubscriberImage() : result.last();
        QStringList keys;
        for (uint key : image.keys)
            keys << QString::number(key, 16);
        const QString text = result.isEmpty()
                                 ? QString()
                                 : QStringLiteral("%1:%2:%3:%4")
                                       .arg(image.number)
                                       .arg(image.apartment, image.phone, keys.join(','));
        QCOMPARE(text, last);
    }
};

QTEST_APPLESS_MAIN(TestPanelRecords)
#include "tst_panelrecords.moc"
