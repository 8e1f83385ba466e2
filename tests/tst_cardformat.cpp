#include "cardformat.h"

#include <QtTest>

// Key codes as text in the four key formats and back.
class TestCardFormat : public QObject
{
    Q_OBJECT

private slots:
    void toText_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<uint>("card");
        QTest::addColumn<QString>("text");
        QTest::newRow("touch memory") << 0 << 0xA1B2C3u << "0000000000a1b2c3";
        QTest::newRow("em-marin") << 1 << 0x12FFFFu << "018,65535";
        QTest::newRow("em-marin ignores bits above 23") << 1 << 0x01000005u << "000,00005";
        QTest::newRow("code") << 2 << 123u << "123";
        QTest::newRow("ten digits") << 3 << 0xFFFFFFu << "0016777215";
        QTest::newRow("unknown format") << 7 << 123u << "123";
    }
    void toText()
    {
        QFETCH(int, format);
        QFETCH(uint, card);
        QFETCH(QString, text);
        QCOMPARE(cardToText(format, card), text);
        if (format < CardFormat::Count && card <= 0xFFFFFF)
            QCOMPARE(textToCard(format, text, {}), card);
    }

    void toCard_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<uint>("card");
        const auto row = [](const char* name, int format, const char* text, const char* pattern,
                            uint card) {
            QTest::newRow(name) << format << QString(text) << QString(pattern) << card;
        };
        row("touch memory, checksum and type ignored", 0, "FF01778899a1B2C3", "", 0xA1B2C3);
        row("touch memory, not hex", 0, "0000000000A1B2CG", "", 0);
        row("em-marin max", 1, "255,65535", "", 0xFFFFFF);
        row("em-marin high part out of range", 1, "256,00001", "", 0);
        row("em-marin low part out of range", 1, "001,65536", "", 0);
        row("code max", 2, "9999999", "", 9999999);
        row("code of 8 digits", 2, "12345678", "", 0);
        row("ten digits wrap to 24 bits", 3, "4294967295", "", 0xFFFFFF);
        row("ten digits, 2^24", 3, "0016777216", "", 0);
        row("spaces", 0, " 0000000000A1B2C3 ", "", 0);
        row("empty", 2, "", "", 0);
        row("unknown format", 4, "123", "", 0);
        row("own pattern", 2, "K-42", "^K-(\\d+)$", 42);
        row("own em-marin pattern with one group", 1, "018,65535", "^(\\d{3}),\\d{5}$", 0);
        row("invalid pattern", 2, "123", "^(\\d+", 0);
        row("touch memory pattern capturing all 16 digits", 0, "FF01778899A1B2C3",
            "^([0-9a-fA-F]{1,16})$", 0xA1B2C3);
    }
    void toCard()
    {
        QFETCH(int, format);
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(uint, card);
        QCOMPARE(textToCard(format, text, pattern), card);
    }
};

QTEST_GUILESS_MAIN(TestCardFormat)
#include "tst_cardformat.moc"
