// The panel simulator checked on its own: hand-written frames go in through the pty's slave
// side, opened with plain POSIX calls, and the answers are compared byte for byte.

#include "panelsimulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Bit by bit on purpose: the simulator uses a table, so the two can disagree.
quint8 crc8(const QByteArray& bytes)
{
    quint8 crc = 0;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint8((crc >> 1) ^ 0x8C) : quint8(crc >> 1);
    }
    return crc;
}

QByteArray sealed(QByteArray header, const QByteArray& data)
{
    header.append(char(crc8(header)));
    if (!data.isEmpty()) {
        header.append(data);
        header.append(char(crc8(data)));
    }
    return header;
}

QByteArray request(quint8 command, quint8 parameter = 0, const QByteArray& data = QByteArray())
{
    QByteArray header(5, '\0');
    header[1] = char(command);
    header[3] = char(parameter);
    header[4] = char(data.size());
    return sealed(header, data);
}

QByteArray answer(quint8 command, quint8 result = 0, const QByteArray& data = QByteArray(),
                  quint8 deviceByte = 0)
{
    QByteArray header(5, '\0');
    header[1] = char(command);
    header[2] = char(result);
    header[3] = char(deviceByte);
    header[4] = char(data.size());
    return sealed(header, data);
}

QByteArray le16(int value)
{
    QByteArray bytes;
    bytes.append(char(value & 0xFF));
    bytes.append(char((value >> 8) & 0xFF));
    return bytes;
}

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) & 0xFF);
    return bytes;
}

QByteArray blockRead(int first, int count)
{
    return le16(first) + QByteArray(1, char(count));
}

// The program's side of the line: the slave opened like a serial port.
class Line
{
public:
    explicit Line(const QString& path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return;
        termios tio{};
        tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_fd, TCSANOW, &tio);
        tcflush(m_fd, TCIOFLUSH);
    }
    ~Line()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    bool send(const QByteArray& bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Up to `count` bytes, whatever has arrived when `timeoutMs` is over.
    QByteArray read(int count, int timeoutMs)
    {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (got.size() < count) {
            const qint64 left = timeoutMs - timer.elapsed();
            if (left <= 0)
                break;
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, int(left)) <= 0)
                continue;
            char buffer[512];
            const size_t wanted = std::min(sizeof buffer, size_t(count - got.size()));
            const ssize_t n = ::read(m_fd, buffer, wanted);
            if (n > 0)
                got.append(buffer, int(n));
        }
        return got;
    }

    QByteArray readAnswer(int timeoutMs = 1000)
    {
        QByteArray frame = read(6, timeoutMs);
        if (frame.size() == 6 && frame.at(4) != 0)
            frame.append(read(quint8(frame.at(4)) + 1, timeoutMs));
        return frame;
    }

    QByteArray exchange(const QByteArray& bytes)
    {
        if (!send(bytes))
            return QByteArray("write failed");
        return readAnswer();
    }

    bool silentFor(int ms) { return read(1, ms).isEmpty(); }

private:
    int m_fd = -1;
};

} // namespace

class tst_PanelSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void crcHelperMatchesWorkedFrames();
    void versionAnswer();
    void versionFromSettings_data();
    void versionFromSettings();
    void bootMode();
    void resultCodes_data();
    void resultCodes();
    void badHeaderDropsRestOfFrame();
    void pollWithoutEventsGivesStatus();
    void pollRepeatsAndAcknowledges();
    void acknowledgeNeedsDeliveredRecord();
    void eventRecords_data();
    void eventRecords();
    void control_data();
    void control();
    void timedOpeningFallsBack();
    void initialSettings();
    void settingsRoundTrip();
    void clearEmptiesTablesOnly();
    void clearTakesItsTime();
    void blockRoundTrip_data();
    void blockRoundTrip();
    void largestKeyRead();
    void firmwareInitialImage();
    void firmwareWriteAndRead();
    void faults_data();
    void faults();
    void faultEffects_data();
    void faultEffects();
    void faultCountAndOrder();
    void delayedAnswer();
    void pauseAfterFirstByte_data();
    void pauseAfterFirstByte();
    void staleFragmentIsDropped();
    void countersAndLog();
    void reopenedPortIsServed();
    void linePacing();
    void stopAndRestart();

private:
    QByteArray pollOnce(quint8 parameter) { return m_line->exchange(request(0x43, parameter)); }

    std::unique_ptr<PanelSimulator> m_sim;
    std::unique_ptr<Line> m_line;
};

void tst_PanelSim::init()
{
    m_sim = std::make_unique<PanelSimulator>();
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    QVERIFY(m_sim->isRunning());
    m_line = std::make_unique<Line>(m_sim->slavePath());
    QVERIFY(m_line->isOpen());
}

void tst_PanelSim::cleanup()
{
    m_line.reset();
    m_sim.reset();
}

void tst_PanelSim::crcHelperMatchesWorkedFrames()
{
    QCOMPARE(crc8(QByteArray("123456789")), quint8(0xA1));
    QCOMPARE(crc8(QByteArray()), quint8(0x00));
    QCOMPARE(request(0x40).toHex(), QByteArray("0040000000e0"));
    QCOMPARE(request(0x43).toHex(), QByteArray("004300000068"));
    QCOMPARE(request(0x43, 0xFF).toHex(), QByteArray("004300ff00e9"));
    QCOMPARE(request(0x00, 0x01).toHex(), QByteArray("0000000100c4"));
    QCOMPARE(request(0x00, 0x00).toHex(), QByteArray("000000000000"));
}

void tst_PanelSim::versionAnswer()
{
    const QByteArray got = m_line->exchange(QByteArray::fromHex("0040000000e0"));
    QCOMPARE(got.toHex(), QByteArray("0040000902ee02064c"));
    QVERIFY(m_line->silentFor(50));
}

void tst_PanelSim::versionFromSettings_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("other type, 1.10") << 5 << 1 << 10 << QByteArray("0040000502a3010aba");
    QTest::newRow("default") << 9 << 2 << 6 << QByteArray("0040000902ee02064c");
}

void tst_PanelSim::versionFromSettings()
{
    QFETCH(int, type);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(QByteArray, expected);
    m_sim->setVersion(quint8(type), quint8(major), quint8(minor));
    QCOMPARE(m_line->exchange(request(0x40)).toHex(), expected);
}

void tst_PanelSim::bootMode()
{
    QCOMPARE(m_line->exchange(QByteArray::fromHex("0000000100c4")).toHex(),
             QByteArray("000000000000"));
    QVERIFY(m_sim->bootMode());
    QCOMPARE(m_line->exchange(request(0x40)).toHex(), QByteArray("0040000902ee000000"));
    // The loader knows nothing of events.
    QCOMPARE(pollOnce(0x00), answer(0x43, 0xFF));
    QCOMPARE(m_line->exchange(QByteArray::fromHex("000000000000")).toHex(),
             QByteArray("000000000000"));
    QVERIFY(!m_sim->bootMode());
    QCOMPARE(m_line->exchange(request(0x40)).toHex(), QByteArray("0040000902ee02064c"));
}

void tst_PanelSim::resultCodes_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("result");

    QByteArray badHeader = request(0x40);
    badHeader[5] = char(badHeader.at(5) ^ 0x01);
    QByteArray badData = request(0x24, 0, QByteArray(36, '\x01'));
    badData[badData.size() - 1] = char(badData.at(badData.size() - 1) ^ 0x80);

    QTest::newRow("unknown command") << request(0x55) << 0xFF;
    QTest::newRow("bad header crc") << badHeader << 0x01;
    QTest::newRow("bad data crc") << badData << 0x02;
    QTest::newRow("control mode 3") << request(0x10, 0x03) << 0x09;
    QTest::newRow("control mode 0") << request(0x10, 0x00) << 0x09;
    QTest::newRow("device mode 8") << request(0x10, 0x88) << 0x09;
    QTest::newRow("settings too short") << request(0x24, 0, QByteArray(35, '\0')) << 0x08;
    QTest::newRow("boot parameter 2") << request(0x00, 0x02) << 0x08;
    QTest::newRow("firmware write outside boot mode")
        << request(0x3F, 0, le16(0) + QByteArray(64, '\0')) << 0xFF;
    QTest::newRow("firmware read block 896") << request(0x7F, 0, le16(896)) << 0x08;
    QTest::newRow("firmware read short") << request(0x7F, 0, QByteArray(1, '\0')) << 0x08;
    QTest::newRow("apartments past end") << request(0x26, 0, le16(24999) + pattern(8, 1)) << 0x08;
    QTest::newRow("phones past end") << request(0x27, 0, le16(24999) + pattern(12, 1)) << 0x08;
    QTest::newRow("keys past end") << request(0x25, 0, le16(24999) + pattern(10, 1)) << 0x07;
    QTest::newRow("apartments ragged") << request(0x26, 0, le16(0) + pattern(5, 1)) << 0x08;
    QTest::newRow("keys ragged") << request(0x25, 0, le16(0) + pattern(6, 1)) << 0x08;
    QTest::newRow("read apartments past end") << request(0x62, 0, blockRead(24999, 2)) << 0x08;
    QTest::newRow("read keys over 255 bytes") << request(0x61, 0, blockRead(0, 52)) << 0x08;
    QTest::newRow("read phones without count") << request(0x63, 0, le16(0)) << 0x08;
    QTest::newRow("poll parameter 5") << request(0x43, 0x05) << 0x08;
}

void tst_PanelSim::resultCodes()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, result);
    QCOMPARE(m_line->exchange(frame).toHex(), answer(quint8(frame.at(1)), quint8(result)).toHex());
    QVERIFY(m_line->silentFor(30));
}

void tst_PanelSim::badHeaderDropsRestOfFrame()
{
    // A settings write whose header CRC is broken: its 37 data bytes must not be taken for
    // new frames.
    QByteArray frame = request(0x24, 0, pattern(36, 3));
    frame[5] = char(frame.at(5) ^ 0xFF);
    QCOMPARE(m_line->exchange(frame).toHex(), QByteArray("0024010000d5"));
    QVERIFY(m_line->silentFor(100));
    QCOMPARE(m_line->exchange(request(0x40)).toHex(), QByteArray("0040000902ee02064c"));
    QCOMPARE(m_sim->frames().size(), 2);
    QCOMPARE(m_sim->frames().first().bytes, frame);
    QCOMPARE(m_sim->requestCount(0x24), 0);
}

void tst_PanelSim::pollWithoutEventsGivesStatus()
{
    QCOMPARE(pollOnce(0x00).toHex(), QByteArray("00430000013611c3"));
    m_sim->setStatus(0x44);
    QCOMPARE(pollOnce(0xFF), answer(0x43, 0, QByteArray::fromHex("44")));
}

void tst_PanelSim::pollRepeatsAndAcknowledges()
{
    m_sim->queueKey(12345);
    m_sim->queueButton();
    QCOMPARE(m_sim->pendingEvents(), 2);
    const QByteArray keyAnswer("0043000006b53930000000113c");
    const QByteArray buttonAnswer("0043000006b5000000000011c3");
    QCOMPARE(pollOnce(0x00).toHex(), keyAnswer);
    QCOMPARE(pollOnce(0x00).toHex(), keyAnswer);
    QCOMPARE(m_sim->pendingEvents(), 2);
    QCOMPARE(pollOnce(0xFF).toHex(), buttonAnswer);
    QCOMPARE(m_sim->pendingEvents(), 1);
    QCOMPARE(pollOnce(0xFF).toHex(), QByteArray("00430000013611c3"));
    QCOMPARE(m_sim->pendingEvents(), 0);
    QCOMPARE(pollOnce(0xFF).toHex(), QByteArray("00430000013611c3"));
}

void tst_PanelSim::acknowledgeNeedsDeliveredRecord()
{
    // The last poll answered with the status, so this 0xFF has nothing to confirm.
    QCOMPARE(pollOnce(0x00).size(), 8);
    m_sim->queuePowerOn();
    QCOMPARE(pollOnce(0xFF), answer(0x43, 0, QByteArray::fromHex("000000000d11")));
    QCOMPARE(m_sim->pendingEvents(), 1);
    m_sim->clearEvents();
    m_sim->queueButton();
    QCOMPARE(pollOnce(0xFF), answer(0x43, 0, QByteArray::fromHex("000000000011")));
    QCOMPARE(m_sim->pendingEvents(), 1);
}

void tst_PanelSim::eventRecords_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("key from additional reader, refused")
        << 0 << QByteArray::fromHex("563412060511");
    QTest::newRow("button") << 1 << QByteArray::fromHex("000000000011");
    QTest::newRow("fire unblock") << 2 << QByteArray::fromHex("000000001311");
    QTest::newRow("fire reset") << 3 << QByteArray::fromHex("000000001411");
    QTest::newRow("power on") << 4 << QByteArray::fromHex("000000000d11");
    QTest::newRow("control event") << 5 << QByteArray::fromHex("830000002611");
    QTest::newRow("status at queue time") << 6 << QByteArray::fromHex("393000000044");
}

void tst_PanelSim::eventRecords()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, record);
    switch (kind) {
    case 0:
        m_sim->queueKey(0x123456, 0x06, 0x05);
        break;
    case 1:
        m_sim->queueButton();
        break;
    case 2:
    case 3:
        m_sim->queueFireAlarm(kind == 2);
        break;
    case 4:
        m_sim->queuePowerOn();
        break;
    case 5:
        m_sim->queueEvent(PanelSimulator::Event{0x83, 0, 0x26});
        break;
    default:
        m_sim->setStatus(0x44);
        m_sim->queueKey(12345);
        m_sim->setStatus(0x11);
        break;
    }
    QCOMPARE(pollOnce(0x00).toHex(), answer(0x43, 0, record).toHex());
}

void tst_PanelSim::control_data()
{
    QTest::addColumn<int>("initial");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<int>("status");
    QTest::newRow("lock open") << 0x11 << 0x02 << 0x12;
    QTest::newRow("lock unblock") << 0x11 << 0x04 << 0x14;
    QTest::newRow("lock back to idle") << 0x24 << 0x01 << 0x21;
    QTest::newRow("device pulse") << 0x11 << 0x82 << 0x21;
    QTest::newRow("device on") << 0x14 << 0x84 << 0x44;
    QTest::newRow("device off") << 0x42 << 0x81 << 0x12;
}

void tst_PanelSim::control()
{
    QFETCH(int, initial);
    QFETCH(int, parameter);
    QFETCH(int, status);
    m_sim->setStatus(quint8(initial));
    QCOMPARE(m_line->exchange(request(0x10, quint8(parameter))), answer(0x10));
    QCOMPARE(int(m_sim->status()), status);
    QByteArray record = QByteArray::fromHex("000000002600");
    record[0] = char(parameter);
    record[5] = char(status);
    QCOMPARE(pollOnce(0x00).toHex(), answer(0x43, 0, record).toHex());
}

void tst_PanelSim::timedOpeningFallsBack()
{
    m_sim->setControlHoldMs(150);
    QCOMPARE(m_line->exchange(QByteArray::fromHex("0010000200a9")).toHex(),
             QByteArray("001000000038"));
    QCOMPARE(pollOnce(0x00).toHex(), QByteArray("0043000006b502000000261224"));
    QTRY_COMPARE_WITH_TIMEOUT(int(m_sim->status()), 0x11, 3000);
    QCOMPARE(pollOnce(0xFF).toHex(), QByteArray("00430000013611c3"));
}

void tst_PanelSim::initialSettings()
{
    const QByteArray expected("0064000024dc1e00088028360101020000000000000000000001000000000000000"
                              "00000000040e20100e2");
    QCOMPARE(m_line->exchange(QByteArray::fromHex("00640000009e")).toHex(), expected);
}

void tst_PanelSim::settingsRoundTrip()
{
    const QByteArray record = pattern(36, 11);
    QCOMPARE(m_line->exchange(request(0x24, 0, record)), answer(0x24));
    QCOMPARE(m_sim->settings(), record);
    QCOMPARE(m_line->exchange(request(0x64)), answer(0x64, 0, record));
}

void tst_PanelSim::clearEmptiesTablesOnly()
{
    m_sim->setApartmentRecord(5, QByteArray::fromHex("21000000"));
    m_sim->setPhoneRecord(16, QByteArray::fromHex("77a7a10a0000"));
    m_sim->setKeyRecord(0, QByteArray::fromHex("0300000700"));
    const QByteArray settings = pattern(36, 5);
    m_sim->setSettings(settings);
    m_sim->queueButton();
    QCOMPARE(m_sim->apartmentRecord(5).toHex(), QByteArray("21000000"));

    QCOMPARE(m_line->exchange(QByteArray::fromHex("00010000008f")).toHex(),
             QByteArray("00010000008f"));
    QCOMPARE(m_sim->apartmentRecord(5).toHex(), QByteArray("ffffffff"));
    QCOMPARE(m_sim->phoneRecord(16).toHex(), QByteArray("ffffffffffff"));
    QCOMPARE(m_sim->keyRecord(0).toHex(), QByteArray("ffffffffff"));
    QCOMPARE(m_sim->settings(), settings);
    QCOMPARE(m_sim->pendingEvents(), 1);
}

void tst_PanelSim::clearTakesItsTime()
{
    m_sim->setClearDurationMs(400);
    QVERIFY(m_line->send(request(0x01)));
    QVERIFY(m_line->silentFor(150));
    QCOMPARE(m_line->readAnswer(3000), answer(0x01));
}

void tst_PanelSim::blockRoundTrip_data()
{
    QTest::addColumn<int>("writeCommand");
    QTest::addColumn<int>("readCommand");
    QTest::addColumn<int>("recordSize");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::newRow("apartments, last block") << 0x26 << 0x62 << 4 << 24985 << 15;
    QTest::newRow("apartments, first block") << 0x26 << 0x62 << 4 << 0 << 15;
    QTest::newRow("phones, last block") << 0x27 << 0x63 << 6 << 24990 << 10;
    QTest::newRow("phones, middle") << 0x27 << 0x63 << 6 << 16 << 10;
    QTest::newRow("keys, last block") << 0x25 << 0x61 << 5 << 24988 << 12;
    QTest::newRow("keys, one record") << 0x25 << 0x61 << 5 << 12 << 1;
}

void tst_PanelSim::blockRoundTrip()
{
    QFETCH(int, writeCommand);
    QFETCH(int, readCommand);
    QFETCH(int, recordSize);
    QFETCH(int, first);
    QFETCH(int, count);
    const QByteArray records = pattern(recordSize * count, first);
    QCOMPARE(m_line->exchange(request(quint8(writeCommand), 0, le16(first) + records)),
             answer(quint8(writeCommand)));
    QCOMPARE(m_line->exchange(request(quint8(readCommand), 0, blockRead(first, count))),
             answer(quint8(readCommand), 0, records));

    const auto stored = [&](int number) {
        if (writeCommand == 0x26)
            return m_sim->apartmentRecord(number);
        if (writeCommand == 0x27)
            return m_sim->phoneRecord(number);
        return m_sim->keyRecord(number);
    };
    QCOMPARE(stored(first + count - 1), records.right(recordSize));
    if (first > 0)
        QCOMPARE(stored(first - 1), QByteArray(recordSize, '\xFF'));
}

void tst_PanelSim::largestKeyRead()
{
    const QByteArray got = m_line->exchange(request(0x61, 0, blockRead(24949, 51)));
    QCOMPARE(got, answer(0x61, 0, QByteArray(255, '\xFF')));
}

void tst_PanelSim::firmwareInitialImage()
{
    const QByteArray image = m_sim->firmware();
    QCOMPARE(image.size(), PanelSimulator::FirmwareSize);
    QCOMPARE(image.right(3).toHex(), QByteArray("090206"));
    QVERIFY(image.left(64) != QByteArray(64, image.at(0)));
    QCOMPARE(m_line->exchange(request(0x7F, 0, le16(895))), answer(0x7F, 0, image.right(64)));
}

void tst_PanelSim::firmwareWriteAndRead()
{
    const QByteArray block = pattern(64, 200);
    QCOMPARE(m_line->exchange(request(0x00, 0x01)), answer(0x00));
    QCOMPARE(m_line->exchange(request(0x3F, 0, le16(3) + block)), answer(0x3F));
    QCOMPARE(m_line->exchange(request(0x3F, 0, le16(896) + block)), answer(0x3F, 0x08));
    QCOMPARE(m_line->exchange(request(0x7F, 0, le16(3))), answer(0x7F, 0, block));
    QCOMPARE(m_line->exchange(request(0x00, 0x00)), answer(0x00));
    QCOMPARE(m_line->exchange(request(0x7F, 0, le16(3))), answer(0x7F, 0, block));
    QCOMPARE(m_sim->firmware().mid(3 * 64, 64), block);
}

void tst_PanelSim::faults_data()
{
    using Kind = PanelSimulator::FaultKind;
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray version = request(0x40);
    QTest::newRow("silence") << version << int(Kind::Silence) << 0 << QByteArray();
    QTest::newRow("bad header crc")
        << version << int(Kind::BadHeaderCrc) << 0 << QByteArray("00400009021102064c");
    QTest::newRow("bad data crc") << version << int(Kind::BadDataCrc) << 0
                                  << QByteArray("0040000902ee0206b3");
    QTest::newRow("bad data crc without data")
        << request(0x10, 0x01) << int(Kind::BadDataCrc) << 0 << QByteArray("00100000016600ff");
    QTest::newRow("cut answer") << version << int(Kind::CutAnswer) << 4 << QByteArray("00400009");
    QTest::newRow("result code") << version << int(Kind::ResultCode) << 7
                                 << QByteArray("00400700009a");
}

void tst_PanelSim::faults()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, kind);
    QFETCH(int, value);
    QFETCH(QByteArray, expected);
    m_sim->injectFault(quint8(frame.at(1)), PanelSimulator::FaultKind(kind), value);
    QVERIFY(m_line->send(frame));
    if (expected.isEmpty())
        QTRY_COMPARE(m_sim->requestCount(), 1);
    QCOMPARE(m_line->read(expected.size() / 2, 1000).toHex(), expected);
    QVERIFY(m_line->silentFor(50));
    // Used up: the retry is answered normally.
    const QByteArray normal = m_line->exchange(frame);
    QVERIFY(normal.size() >= 6);
    QCOMPARE(quint8(normal.at(2)), quint8(0));
    QCOMPARE(quint8(normal.at(5)), crc8(normal.left(5)));
}

void tst_PanelSim::faultEffects_data()
{
    using Kind = PanelSimulator::FaultKind;
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("applied");
    QTest::newRow("silence") << int(Kind::Silence) << 0 << false;
    QTest::newRow("result code") << int(Kind::ResultCode) << 8 << false;
    QTest::newRow("bad header crc") << int(Kind::BadHeaderCrc) << 0 << true;
    QTest::newRow("bad data crc") << int(Kind::BadDataCrc) << 0 << true;
    QTest::newRow("cut answer") << int(Kind::CutAnswer) << 3 << true;
    QTest::newRow("delay") << int(Kind::Delay) << 30 << true;
}

void tst_PanelSim::faultEffects()
{
    QFETCH(int, kind);
    QFETCH(int, value);
    QFETCH(bool, applied);
    m_sim->injectFault(0x10, PanelSimulator::FaultKind(kind), value);
    QVERIFY(m_line->send(request(0x10, 0x04)));
    QTRY_COMPARE(m_sim->requestCount(0x10), 1);
    QCOMPARE(int(m_sim->status()), applied ? 0x14 : 0x11);
    QCOMPARE(m_sim->pendingEvents(), applied ? 1 : 0);
}

void tst_PanelSim::faultCountAndOrder()
{
    using Kind = PanelSimulator::FaultKind;
    m_sim->injectFault(PanelSimulator::AnyCommand, Kind::ResultCode, 0x09);
    m_sim->injectFault(0x40, Kind::ResultCode, 0x07, 2);
    m_sim->injectFault(0x40, Kind::CutAnswer, 2);
    QCOMPARE(m_line->exchange(request(0x40)), answer(0x40, 0x07));
    QCOMPARE(m_line->exchange(request(0x40)), answer(0x40, 0x07));
    QVERIFY(m_line->send(request(0x40)));
    QCOMPARE(m_line->read(3, 200).toHex(), QByteArray("0040"));
    QCOMPARE(m_line->exchange(request(0x40)), answer(0x40, 0x09));
    QCOMPARE(m_line->exchange(request(0x40)).toHex(), QByteArray("0040000902ee02064c"));

    m_sim->injectFault(0x40, Kind::Silence, 0, 5);
    m_sim->clearFaults();
    QCOMPARE(m_line->exchange(request(0x40)).toHex(), QByteArray("0040000902ee02064c"));
}

void tst_PanelSim::delayedAnswer()
{
    m_sim->injectFault(0x40, PanelSimulator::FaultKind::Delay, 400);
    QVERIFY(m_line->send(request(0x40)));
    QVERIFY(m_line->silentFor(150));
    QCOMPARE(m_line->readAnswer(3000).toHex(), QByteArray("0040000902ee02064c"));
}

void tst_PanelSim::pauseAfterFirstByte_data()
{
    QTest::addColumn<int>("pauseMs");
    QTest::newRow("1 ms") << 1;
    QTest::newRow("3 ms") << 3;
    QTest::newRow("20 ms, loaded sender") << 20;
}

void tst_PanelSim::pauseAfterFirstByte()
{
    QFETCH(int, pauseMs);
    const QByteArray frame = request(0x7F, 0, le16(1));
    QVERIFY(m_line->send(frame.left(1)));
    QTest::qSleep(pauseMs);
    QVERIFY(m_line->send(frame.mid(1)));
    QCOMPARE(m_line->readAnswer(), answer(0x7F, 0, m_sim->firmware().mid(64, 64)));
    QCOMPARE(m_sim->requestCount(0x7F), 1);
}

void tst_PanelSim::staleFragmentIsDropped()
{
    QVERIFY(m_line->send(QByteArray::fromHex("004300")));
    QTest::qSleep(100);
    QCOMPARE(m_line->exchange(request(0x40)).toHex(), QByteArray("0040000902ee02064c"));
    QVERIFY(m_line->silentFor(100));
    QCOMPARE(m_sim->frames().size(), 2);
    QCOMPARE(m_sim->frames().first().bytes.toHex(), QByteArray("004300"));
    QCOMPARE(m_sim->requestCount(), 1);
    QCOMPARE(m_sim->requestCount(0x43), 0);
}

void tst_PanelSim::countersAndLog()
{
    QByteArray bad = request(0x40);
    bad[5] = char(bad.at(5) ^ 0x10);
    QCOMPARE(m_line->exchange(request(0x40)).size(), 9);
    QCOMPARE(m_line->exchange(request(0x43)).size(), 8);
    QCOMPARE(m_line->exchange(bad), answer(0x40, 0x01));
    QTest::qSleep(20);
    QCOMPARE(m_line->exchange(request(0x7F, 0, le16(0))).size(), 71);

    const QList<PanelSimulator::Frame> frames = m_sim->frames();
    QCOMPARE(frames.size(), 4);
    QCOMPARE(frames.at(0).bytes, request(0x40));
    QCOMPARE(frames.at(2).bytes, bad);
    QCOMPARE(frames.at(3).bytes, request(0x7F, 0, le16(0)));
    QVERIFY(frames.at(0).microseconds >= 0);
    for (int i = 1; i < frames.size(); ++i)
        QVERIFY(frames.at(i).microseconds > frames.at(i - 1).microseconds);
    QCOMPARE(m_sim->frames(0x40).size(), 2);
    QCOMPARE(m_sim->frames(PanelSimulator::AnyCommand).size(), 4);
    QCOMPARE(m_sim->requestCount(0x40), 1);
    QCOMPARE(m_sim->requestCount(0x43), 1);
    QCOMPARE(m_sim->requestCount(0x10), 0);
    QCOMPARE(m_sim->requestCount(), 3);
    QCOMPARE(m_sim->bytesReceived(), qint64(6 + 6 + 6 + 9));

    m_sim->clearLog();
    QVERIFY(m_sim->frames().isEmpty());
    QCOMPARE(m_sim->requestCount(), 0);
    QCOMPARE(m_sim->bytesReceived(), qint64(0));
}

void tst_PanelSim::reopenedPortIsServed()
{
    for (int round = 0; round < 3; ++round) {
        m_line = std::make_unique<Line>(m_sim->slavePath());
        QVERIFY(m_line->isOpen());
        QCOMPARE(m_line->exchange(request(0x40)).toHex(), QByteArray("0040000902ee02064c"));
    }
    QCOMPARE(m_sim->requestCount(0x40), 3);
}

void tst_PanelSim::linePacing()
{
    m_sim->setLinePacing(true);
    const QByteArray frame = request(0x7F, 0, le16(895));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(m_line->exchange(frame), answer(0x7F, 0, m_sim->firmware().right(64)));
    // 9 request and 71 answer bytes of 11 bits at 57600 baud take 15.3 ms at least.
    QVERIFY2(timer.nsecsElapsed() >= 15000000, qPrintable(QString::number(timer.elapsed())));
    m_sim->setLinePacing(false);
    QCOMPARE(m_line->exchange(request(0x40)).toHex(), QByteArray("0040000902ee02064c"));
}

void tst_PanelSim::stopAndRestart()
{
    const QByteArray settings = pattern(36, 9);
    QCOMPARE(m_line->exchange(request(0x24, 0, settings)), answer(0x24));
    m_line.reset();
    m_sim->stop();
    QVERIFY(!m_sim->isRunning());
    QVERIFY(m_sim->slavePath().isEmpty());
    m_sim->stop();

    QVERIFY(m_sim->start());
    m_line = std::make_unique<Line>(m_sim->slavePath());
    QVERIFY(m_line->isOpen());
    QCOMPARE(m_line->exchange(request(0x64)), answer(0x64, 0, settings));
}

QTEST_GUILESS_MAIN(tst_PanelSim)
#include "tst_panelsim.moc"
