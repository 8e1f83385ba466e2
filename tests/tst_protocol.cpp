#include "crc8.h"
#include "protocol.h"
#include "qpacket.h"
#include "qprotocolerrors.h"

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
        QCOMPARE(crc8(reinterpret_cast<const quint8*>("123456789"), 9), quint8(0xA1));
        QCOMPARE(crc8(nullptr, 0), quint8(0x00));
    }

    void sealedFrames_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("parameter");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("frame");
        const auto row = [](const char* name, int command, int parameter, const char* data,
                            const char* frame) {
            QTest::newRow(name) << command << parameter << QByteArray::fromHex(data)
                                << QByteArray::fromHex(frame);
        };
        row("version", 0x40, 0x00, "", "0040000000e0");
        row("poll acknowledging a record", 0x43, 0xFF, "", "004300ff00e9");
        row("boot mode on", 0x00, 0x01, "", "0000000100c4");
        row("device control", 0x10, 0x81, "", "0010008100d3");
        row("firmware block 5", 0x7F, 0x00, "0500", "007f0000028e0500ff");
    }
    void sealedFrames()
    {
        QFETCH(int, command);
        QFETCH(int, parameter);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, frame);
        QScopedPointer<QPacket> packet(QPacket::request(quint8(command), quint8(parameter), data));
        QCOMPARE(packet->frame().toHex(), frame.toHex());
    }

    void answerTimeout()
    {
        for (int command = 0; command < 256; ++command)
            QCOMPARE(Protocol::answerTimeout(quint8(command)), command == 0x01 ? 8000 : 1000);
    }

    void checkAnswer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("expected");
        const QByteArray version = QByteArray::fromHex("0040000902ee02064c");
        QByteArray block = QByteArray::fromHex("007f00004074");
        for (int i = 0; i < 64; ++i)
            block.append(char(i));
        block.append(char(0xe2));
        QByteArray badData = block;
        badData[70] = char(0xe3);
        const QByteArray badHeader = QByteArray::fromHex("004000090200");
        QTest::newRow("header only, N = 0")
            << QByteArray::fromHex("00010000008f") << int(AnswerCheck::Complete) << 6;
        QTest::newRow("header crc, more bytes follow")
            << badHeader + QByteArray(20, 'x') << int(AnswerCheck::HeaderCrcError) << 6;
        QTest::newRow("version") << version << int(AnswerCheck::Complete) << 9;
        QTest::newRow("70 of 71") << block.left(70) << int(AnswerCheck::Incomplete) << 71;
        QTest::newRow("64 data bytes and noise")
            << block + "zz" << int(AnswerCheck::Complete) << 71;
        QTest::newRow("data crc") << badData << int(AnswerCheck::DataCrcError) << 71;
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
        QTest::newRow("01") << 0x01 << "Ошибка контрольной суммы CRC8 команды";
        QTest::newRow("02") << 0x02 << "Ошибка контрольной суммы CRC8 данных";
        QTest::newRow("07") << 0x07 << "Переполнение базы ключей";
        QTest::newRow("08") << 0x08 << "Данные вне диапазона";
        QTest::newRow("09") << 0x09 << "Неизвестная команда управления направлением";
        QTest::newRow("0a") << 0x0A << "Неизвестная ошибка: 0xa";
        QTest::newRow("ff") << 0xFF << "Неизвестная команда";
    }
    void resultCodeTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(QProtocolErrors::text(quint8(code)), text);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
