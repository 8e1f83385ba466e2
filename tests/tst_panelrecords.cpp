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

QString describe(const PanelTables::SubscriberImages& images)
{
    QStringList out;
    for (const PanelTables::SubscriberImage& image : images) {
        QStringList keys;
        for (uint key : image.keys)
            keys << QString::number(key, 16);
        out << QStringLiteral("%1:%2:%3:%4")
                   .arg(image.number)
                   .arg(image.apartment, image.phone, keys.join(QLatin1Char(',')));
    }
    return out.join(QLatin1Char(' '));
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
        QTest::newRow("byte 2") << QVariantMap{{"mode_set", 7},
                                               {"hide_numbers", 1},
                                               {"mode_answer", 2},
                                               {"mode_reader_contact", 1}}
                                << 2 << QByteArray("ab");
        QTest::newRow("byte 3") << QVariantMap{{"proto_dev", 1},
                                               {"reset_fire", 1},
                                               {"unblock_lock_imp", 1}}
                                << 3 << QByteArray("89");
        QTest::newRow("byte 4") << QVariantMap{{"timeout_dtmf", 31}, {"show_retry_input_dev", 1}}
                                << 4 << QByteArray("fc");
        QTest::newRow("byte 5") << QVariantMap{{"timer_deactivate", 6}, {"timeout_tap", 3}} << 5
                                << QByteArray("36");
        QTest::newRow("code 0") << QVariantMap{{"code_open_lock", "0"}} << 7
                                << QByteArray("0a0000000000");
        QTest::newRow("empty code")
            << QVariantMap{{"code_unblock_lock", ""}} << 13 << QByteArray("000000000000");
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
        QCOMPARE(record.size(), 37);
        QCOMPARE(record.mid(offset, bytes.size() / 2).toHex(), bytes);
        QCOMPARE(quint8(record.at(36)),
                 crc8(reinterpret_cast<const quint8*>(record.constData()), 36));
        // The reserved bits are never written.
        QCOMPARE(record.at(4) & 0x03, 0);
    }

    void settingsDecodeIsInverse_data()
    {
        QTest::addColumn<QVariantMap>("values");
        QVariantMap defaults{{"talk_time", 30},       {"hide_numbers", 1},
                             {"unblock_lock_imp", 1}, {"timeout_dtmf", 10},
                             {"timer_deactivate", 6}, {"timeout_tap", 3},
                             {"open_time_lock", 1},   {"code_open_lock", "12"},
                             {"time_action_dev", 1},  {"pass_prog", 123456}};
        QTest::newRow("defaults") << settings(defaults);
        QVariantMap full;
        for (const SettingsRecord::Field& field : SettingsRecord::fields()) {
            const int bits =
                field.kind == SettingsRecord::Field::Number ? 8 * field.width : field.width;
            full[QLatin1String(field.column)] = field.kind == SettingsRecord::Field::Code
                                                    ? QVariant("908070")
                                                    : QVariant(int((1LL << bits) - 1));
        }
        QTest::newRow("every field full") << full;
    }
    void settingsDecodeIsInverse()
    {
        QFETCH(QVariantMap, values);
        const QVariantMap decoded = SettingsRecord::decode(SettingsRecord::encode(values));
        QCOMPARE(decoded.keys(), values.keys());
        for (const QString& column : values.keys())
            QCOMPARE(decoded.value(column).toString(), values.value(column).toString());
    }

    void digitCodes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("packed");
        QTest::addColumn<QString>("back");
        QTest::newRow("102") << "102" << 6 << QByteArray("010a02000000")
                             << QByteArray("a10200000000") << "102";
        QTest::newRow("packed width 2")
            << "102" << 2 << QByteArray("010a") << QByteArray("a102") << "10";
        QTest::newRow("empty") << "" << 3 << QByteArray("000000") << QByteArray("000000") << "";
        QTest::newRow("not digits")
            << "a-" << 2 << QByteArray("0a0a") << QByteArray("aa00") << "00";
        QTest::newRow("twelve digits") << "109876543210" << 6 << QByteArray("010a09080706")
                                       << QByteArray("a189674523a1") << "109876";
    }
    void digitCodes()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, packed);
        QFETCH(QString, back);
        QByteArray out(width, '\x55');
        digitsToBytes(text, reinterpret_cast<quint8*>(out.data()), width);
        QCOMPARE(out.toHex(), bytes);
        QCOMPARE(bytesToDigits(reinterpret_cast<const quint8*>(out.constData()), width), back);
        digitsToPacked(text, reinterpret_cast<quint8*>(out.data()), width);
        QCOMPARE(out.toHex(), packed);
        QCOMPARE(packedToDigits(reinterpret_cast<const quint8*>(out.constData()), width),
                 text.left(2 * width).replace(QRegularExpression("\\D"), "0"));
    }

    void garbageNibbles()
    {
        const QByteArray bytes = QByteArray::fromHex("fbc0");
        const auto* raw = reinterpret_cast<const quint8*>(bytes.constData());
        QCOMPARE(bytesToDigits(raw, 2), QString("11"));
        QCOMPARE(packedToDigits(raw, 2), QString("111512"));
    }

    void tableRecords_data()
    {
        QTest::addColumn<int>("table"); // 0 apartments, 1 phones, 2 keys
        QTest::addColumn<int>("request");
        QTest::addColumn<QByteArray>("records");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("last"); // number:apartment:phone:keys of the last image
        QTest::newRow("apartment 12") << 0 << 0 << QByteArray("21000000") << 1 << "0:12::";
        QTest::newRow("apartment 0 and empty ones")
            << 0 << 1 << QByteArray("0a000000ff00ff00ffffffff00000000") << 1 << "15:0::";
        QTest::newRow("phone") << 1 << 1 << QByteArray("ffffffffffff77a7a10a0000") << 1
                               << "11::7770100:";
        QTest::newRow("key") << 2 << 0 << QByteArray("0102030500") << 1 << "5:::30201";
        QTest::newRow("keys skipped")
            << 2 << 0 << QByteArray("010203a8610000000001ffffff0100") << 0 << "";
        QTest::newRow("two keys of one subscriber")
            << 2 << 3 << QByteArray("0700000900ffffffffff0600000900") << 1 << "9:::7,6";
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
        const QByteArray bytes = QByteArray::fromHex(records);
        if (table == 0)
            PanelTables::addApartments(result, request, bytes);
        else if (table == 1)
            PanelTables::addPhones(result, request, bytes);
        else
            PanelTables::addKeys(result, request, bytes);
        QCOMPARE(result.size(), count);
        QCOMPARE(describe(result).section(QLatin1Char(' '), -1), last);
    }
};

QTEST_APPLESS_MAIN(TestPanelRecords)
#include "tst_panelrecords.moc"
