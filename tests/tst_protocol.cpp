#include "crc8.h"
#include "protocol.h"
#include "qpacket.h"
#include "qprotocolerrors.h"
#include "qserialporterror.h"

#include <QtTest>

using Protocol::AnswerCheck;

// Frames below were worked out by hand and with an independent CRC routine; they are the
// reference, not the program's own encoder.
class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void crcCheckValue()
    {
        const QByteArray digits("123456789");
        QCOMPARE(crc8(reinterpret_cast<const quint8*>(digits.constData()), 9), quint8(0xA1));
        QCOMPARE(crc8(nullptr, 0), quint8(0x00));
    }

    void sealedHeader_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("parameter");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("version") << 0x40 << 0x00 << QByteArray::fromHex("0040000000e0");
        QTest::newRow("poll") << 0x43 << 0x00 << QByteArray::fromHex("004300000068");
        QTest::newRow("poll ack") << 0x43 << 0xFF << QByteArray::fromHex("004300ff00e9");
        QTest::newRow("boot on") << 0x00 << 0x01 << QByteArray::fromHex("0000000100c4");
        QTest::newRow("boot off") << 0x00 << 0x00 << QByteArray::fromHex("000000000000");
    }
    void sealedHeader()
    {
        QFETCH(int, command);
        QFETCH(int, parameter);
        QFETCH(QByteArray, expected);
        QCOMPARE(Protocol::sealedHeader(quint8(command), quint8(parameter), 0), expected);
    }

    void sealedData()
    {
        QCOMPARE(Protocol::sealedData({}), QByteArray());
        // The event record of a key 12345 with status 0x11: CRC 0x3C.
        QCOMPARE(Protocol::sealedData(QByteArray::fromHex("393000000011")),
                 QByteArray::fromHex("3930000000113c"));
        QCOMPARE(Protocol::sealedHeader(0x24, 0, 36), QByteArray::fromHex("00240000243c"));
        QCOMPARE(Protocol::sealedHeader(0x10, 0x81, 0), QByteArray::fromHex("0010008100d3"));
    }

    void packetFrame()
    {
        const int before = QPacket::liveCount();
        {
            QScopedPointer<QPacket> packet(QPacket::request(0x7F, 0, QByteArray::fromHex("0500")));
            QCOMPARE(QPacket::liveCount(), before + 1);
            QCOMPARE(packet->command(), quint8(0x7F));
            QCOMPARE(packet->data().size(), 3);
            QCOMPARE(packet->frame().left(5), QByteArray::fromHex("007f000002"));
            QCOMPARE(packet->frame().size(), 9);
            QCOMPARE(Protocol::checkAnswer(packet->frame()).status, AnswerCheck::Complete);
        }
        QCOMPARE(QPacket::liveCount(), before);
    }

    void answerTimeout()
    {
        const quint8 commands[] = {0x00, 0x10, 0x24, 0x25, 0x26, 0x27, 0x3F,
                                   0x40, 0x43, 0x61, 0x62, 0x63, 0x64, 0x7F};
        for (quint8 command : commands)
            QCOMPARE(Protocol::answerTimeout(command), 1000);
        QCOMPARE(Protocol::answerTimeout(0x01), 8000);
    }

    void checkAnswer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("expected");

        const QByteArray version = QByteArray::fromHex("0040000902ee02064c");
        const QByteArray block = QByteArray::fromHex(
            "007f00004074000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f2021"
            "22232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3fe2");
        QByteArray badData = block;
        badData[70] = char(0xe3);
        QByteArray badHeader = QByteArray::fromHex("004000090200");

        QTest::newRow("nothing") << QByteArray() << int(AnswerCheck::Incomplete) << 6;
        QTest::newRow("five bytes") << version.left(5) << int(AnswerCheck::Incomplete) << 6;
        QTest::newRow("header only, N = 0")
            << QByteArray::fromHex("00010000008f") << int(AnswerCheck::Complete) << 6;
        QTest::newRow("result code 7")
            << QByteArray::fromHex("00250700008b") << int(AnswerCheck::Complete) << 6;
        QTest::newRow("header crc at sixth byte")
            << badHeader << int(AnswerCheck::HeaderCrcError) << 6;
        QTest::newRow("header crc, more bytes follow")
            << badHeader + QByteArray(20, 'x') << int(AnswerCheck::HeaderCrcError) << 6;
        QTest::newRow("header announces data")
            << version.left(6) << int(AnswerCheck::Incomplete) << 9;
        QTest::newRow("version") << version << int(AnswerCheck::Complete) << 9;
        QTest::newRow("40 of 71") << block.left(40) << int(AnswerCheck::Incomplete) << 71;
        QTest::newRow("70 of 71") << block.left(70) << int(AnswerCheck::Incomplete) << 71;
        QTest::newRow("64 data bytes") << block << int(AnswerCheck::Complete) << 71;
        QTest::newRow("trailing noise") << block + "zz" << int(AnswerCheck::Complete) << 71;
        QTest::newRow("data crc") << badData << int(AnswerCheck::DataCrcError) << 71;
        QTest::newRow("255 data bytes, short")
            << QByteArray::fromHex("00640000ff") + QByteArray(1, char(0xab)) + QByteArray(100, 0)
            << int(AnswerCheck::Incomplete) << 262;
    }
    void checkAnswer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, status);
        QFETCH(int, expected);
        const AnswerCheck check = Protocol::checkAnswer(answer);
        QCOMPARE(int(check.status), status);
        if (check.status != AnswerCheck::HeaderCrcError)
            QCOMPARE(check.expected, expected);
    }

    void resultCodeTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("00") << 0x00 << "Команда обработана успешно";
        QTest::newRow("01") << 0x01 << "Ошибка контрольной суммы CRC8 команды";
        QTest::newRow("02") << 0x02 << "Ошибка контрольной суммы CRC8 данных";
        QTest::newRow("05") << 0x05 << "Неизвестная ошибка: 0x5";
        QTest::newRow("07") << 0x07 << "Переполнение базы ключей";
        QTest::newRow("08") << 0x08 << "Данные вне диапазона";
        QTest::newRow("09") << 0x09 << "Неизвестная команда управления направлением";
        QTest::newRow("0a") << 0x0A << "Неизвестная ошибка: 0xa";
        QTest::newRow("80") << 0x80 << "Неизвестная ошибка: 0x80";
        QTest::newRow("fe") << 0xFE << "Неизвестная ошибка: 0xfe";
        QTest::newRow("ff") << 0xFF << "Неизвестная команда";
    }
    void resultCodeTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QVERIFY(protocolErrors);
        QCOMPARE(QProtocolErrors::text(quint8(code)), text);
    }

    void linkErrorTexts()
    {
        QCOMPARE(linkErrorText(NoError), QString());
        QCOMPARE(linkErrorText(ClosedByUser), QString("Соединение закрыто пользователем."));
        QCOMPARE(linkErrorText(CancelledByUser),
                 QString("Выполнение команды прервано пользователем."));
        QCOMPARE(linkErrorText(Timeout, 40, 71),
                 QString("Таймаут ожидания данных. Получено 40 байт из 71."));
        QCOMPARE(linkErrorText(Timeout, 0, 6),
                 QString("Таймаут ожидания данных. Получено 0 байт из 6."));
        QCOMPARE(linkErrorText(HeaderCrcError),
                 QString("Неверная контрольная сумма пакета команды."));
        QCOMPARE(linkErrorText(DataCrcError), QString("Неверная контрольная сумма пакета данных."));
        QCOMPARE(int(ClosedByUser), 4);
        QCOMPARE(int(DataCrcError), 8);
        registerSerialPortErrorType();
        QVERIFY(QMetaType::type("QSerialPortError") != QMetaType::UnknownType);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
