#include "cardformat.h"

#include <QtTest>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

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
        QTest::newRow("touch memory 1") << 0 << 1u << "0000000000000001";
        QTest::newRow("em-marin") << 1 << 0x12FFFFu << "018,65535";
        QTest::newRow("em-marin max") << 1 << 0xFFFFFFu << "255,65535";
        QTest::newRow("em-marin ignores bits above 23") << 1 << 0x01000005u << "000,00005";
        QTest::newRow("code") << 2 << 123u << "123";
        QTest::newRow("ten digits") << 3 << 123u << "0000000123";
        QTest::newRow("ten digits max") << 3 << 0xFFFFFFu << "0016777215";
        QTest::newRow("unknown format") << 7 << 123u << "123";
        QTest::newRow("negative format") << -1 << 42u << "42";
    }
    void toText()
    {
        QFETCH(int, format);
        QFETCH(uint, card);
        QFETCH(QString, text);
        QCOMPARE(cardToText(format, card), text);
    }

    void toCard_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<uint>("card");

        QTest::newRow("tm upper") << 0 << "0000000000A1B2C3"
                                  << "" << 0xA1B2C3u;
        QTest::newRow("tm lower") << 0 << "0000000000a1b2c3"
                                  << "" << 0xA1B2C3u;
        QTest::newRow("tm checksum and type ignored") << 0 << "FF01778899A1B2C3"
                                                      << "" << 0xA1B2C3u;
        QTest::newRow("tm 15 digits") << 0 << "000000000A1B2C3"
                                      << "" << 0u;
        QTest::newRow("tm 17 digits") << 0 << "00000000000A1B2C3"
                                      << "" << 0u;
        QTest::newRow("tm not hex") << 0 << "0000000000A1B2CG"
                                    << "" << 0u;
        QTest::newRow("tm zero code") << 0 << "FFFFFFFFFF000000"
                                      << "" << 0u;
        QTest::newRow("em") << 1 << "018,65535"
                            << "" << 0x12FFFFu;
        QTest::newRow("em max") << 1 << "255,65535"
                                << "" << 0xFFFFFFu;
        QTest::newRow("em high part out of range") << 1 << "256,00001"
                                                   << "" << 0u;
        QTest::newRow("em low part out of range") << 1 << "001,65536"
                                                  << "" << 0u;
        QTest::newRow("em no comma") << 1 << "01865535"
                                     << "" << 0u;
        QTest::newRow("em short part") << 1 << "18,65535"
                                       << "" << 0u;
        QTest::newRow("code") << 2 << "123"
                              << "" << 123u;
        QTest::newRow("code max") << 2 << "9999999"
                                  << "" << 9999999u;
        QTest::newRow("code 8 digits") << 2 << "12345678"
                                       << "" << 0u;
        QTest::newRow("code leading zeros") << 2 << "0000123"
                                            << "" << 123u;
        QTest::newRow("ten digits") << 3 << "0000000123"
                                    << "" << 123u;
        QTest::newRow("ten digits wrap") << 3 << "4294967295"
                                         << "" << 0xFFFFFFu;
        QTest::newRow("ten digits 2^24") << 3 << "0016777216"
                                         << "" << 0u;
        QTest::newRow("ten digits, 9") << 3 << "123456789"
                                       << "" << 0u;
        QTest::newRow("leading space") << 2 << " 123"
                                       << "" << 0u;
        QTest::newRow("trailing space") << 3 << "0000000123 "
                                        << "" << 0u;
        QTest::newRow("tm surrounded by spaces") << 0 << " 0000000000A1B2C3 "
                                                 << "" << 0u;
        QTest::newRow("empty") << 2 << ""
                               << "" << 0u;
        QTest::newRow("unknown format") << 4 << "123"
                                        << "" << 0u;
        QTest::newRow("custom pattern") << 2 << "K-42"
                                        << "^K-(\\d+)$" << 42u;
        QTest::newRow("custom tm pattern") << 0 << "1A2B"
                                           << "^([0-9A-Fa-f]{1,6})$" << 0x1A2Bu;
        QTest::newRow("tm pattern capturing all 16 digits") << 0 << "FF01778899A1B2C3"
                                                            << "^([0-9a-fA-F]{1,16})$" << 0xA1B2C3u;
        QTest::newRow("custom pattern without group") << 2 << "42"
                                                      << "^\\d+$" << 0u;
        QTest::newRow("custom em pattern with one group") << 1 << "018,65535"
                                                          << "^(\\d{3}),\\d{5}$" << 0u;
        QTest::newRow("custom pattern, capture not a number") << 2 << "abc"
                                                              << "^(\\w+)$" << 0u;
        QTest::newRow("invalid pattern") << 2 << "123"
                                         << "^(\\d+" << 0u;
        QTest::newRow("custom ten digits reduced") << 3 << "id 16777217"
                                                   << "(\\d+)$" << 1u;
    }
    void toCard()
    {
        QFETCH(int, format);
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(uint, card);
        QCOMPARE(textToCard(format, text, pattern), card);
    }

    void roundTrip()
    {
        const uint cards[] = {1u, 123u, 0xA1B2C3u, 0x12FFFFu, 0xFFFFFFu, 9999999u};
        for (int format = 0; format < CardFormat::Count; ++format)
            for (uint card : cards) {
                // The code format holds at most seven digits.
                if (format == CardFormat::Digits && card > 9999999)
                    continue;
                QCOMPARE(textToCard(format, cardToText(format, card), {}), card);
            }
    }

    void formatTable()
    {
        QCOMPARE(CardFormat::names(),
                 QStringList({"Ключи iButton (Формат TouchMemory)", "Proxy (Формат EM-Marin)",
                              "Код (от 1 до 7 цифр)", "10 Цифр"}));
        QCOMPARE(CardFormat::inputMask(0), QString(">HHHHHHHHHHHHHHHH"));
        QCOMPARE(CardFormat::inputMask(1), QString("999,99999"));
        QCOMPARE(CardFormat::inputMask(2), QString("0000000"));
        QCOMPARE(CardFormat::inputMask(3), QString("9999999999"));
        QCOMPARE(
            CardFormat::hint(1),
            QString("Укажите ключ в формате 'AAA,BBBBB', 'AAA': 000-255, 'BBBBB': 00000-65535."));
        QCOMPARE(CardFormat::hint(2), QString("Укажите ключ в формате 'DDDDDDD', 'DDDDDDD' - номер "
                                              "ключа (0-9999999)."));
        QCOMPARE(CardFormat::hint(3), QString("Укажите ключ в формате 'DDDDDDDDDD', 'DDDDDDDDDD' - "
                                              "номер ключа (0000000000-9999999999)."));
        QCOMPARE(CardFormat::hint(0),
                 QString("Укажите ключ в формате 'CCTTNNNNNNNNNNNN', 'CC' - контрольная сумма "
                         "(00-FF), 'TT' - тип ключа (00-FF), 'NNNNNNNNNNNN' - номер ключа "
                         "(000000000000-FFFFFFFFFFFF)."));
        QCOMPARE(CardFormat::Default, 2);
    }

    void freeId_data()
    {
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<int>("expected");
        QTest::newRow("gap") << QList<int>{0, 1, 2, 5} << 3;
        QTest::newRow("none") << QList<int>{} << 0;
        QTest::newRow("0 free") << QList<int>{1, 2} << 0;
        QTest::newRow("0, 1 and 3") << QList<int>{0, 1, 3} << 2;
        QTest::newRow("stray negative number") << QList<int>{-5, 0, 1} << 2;
        QList<int> all;
        for (int id = 0; id < 25000; ++id)
            all << id;
        QTest::newRow("all taken") << all << -1;
        all.removeAt(24999);
        QTest::newRow("last free") << all << 24999;
    }
    void freeId()
    {
        QFETCH(QList<int>, ids);
        QFETCH(int, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "freeId");
            db.setDatabaseName(dir.filePath("free.zelkor"));
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec("CREATE TABLE subscriber (id integer NOT NULL PRIMARY KEY)"));
            QVERIFY(db.transaction());
            QVERIFY(query.prepare("INSERT INTO subscriber (id) VALUES (:id)"));
            for (int id : ids) {
                query.bindValue(":id", id);
                QVERIFY(query.exec());
            }
            QVERIFY(db.commit());
            QCOMPARE(freeSubscriberId(&db), expected);
            db.close();
        }
        QSqlDatabase::removeDatabase("freeId");
    }

    void freeIdWithoutDatabase()
    {
        QCOMPARE(freeSubscriberId(nullptr), 0);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "closed");
            QCOMPARE(freeSubscriberId(&db), 0);
            QTemporaryDir dir;
            db.setDatabaseName(dir.filePath("empty.zelkor"));
            QVERIFY(db.open());
            // No subscriber table: the query fails.
            QCOMPARE(freeSubscriberId(&db), 0);
            db.close();
        }
        QSqlDatabase::removeDatabase("closed");
    }
};

QTEST_GUILESS_MAIN(TestCardFormat)
#include "tst_cardformat.moc"
