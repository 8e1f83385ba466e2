#include "panelsimulator.h"

#include <QHash>
#include <QMap>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr qint64 NsPerMs = 1000000;
// A sender pauses only a few milliseconds between byte 0 and the rest of a request, but a
// loaded machine can stretch that to tens; only a much longer silence means it is stale.
constexpr qint64 FrameGapNs = 250 * NsPerMs;
// The rest of a frame with a bad header arrives together with it, while the sender's retry
// comes at least 10 ms after our answer.
constexpr qint64 DropGapNs = 5 * NsPerMs;
// Paced output is written in slices of about this length, not byte by byte.
constexpr qint64 PaceSliceNs = NsPerMs;

constexpr int HeaderSize = 6;
constexpr int ApartmentSize = 4;
constexpr int PhoneSize = 6;
constexpr int KeySize = 5;
constexpr int FirmwareBlocks = PanelSimulator::FirmwareSize / PanelSimulator::FirmwareBlock;
constexpr quint8 IdleStatus = 0x11;

enum Command : quint8 {
    CmdBootMode = 0x00,
    CmdClear = 0x01,
    CmdControl = 0x10,
    CmdWriteSettings = 0x24,
    CmdWriteKeys = 0x25,
    CmdWriteApartments = 0x26,
    CmdWritePhones = 0x27,
    CmdWriteFirmware = 0x3F,
    CmdVersion = 0x40,
    CmdPoll = 0x43,
    CmdReadKeys = 0x61,
    CmdReadApartments = 0x62,
    CmdReadPhones = 0x63,
    CmdReadSettings = 0x64,
    CmdReadFirmware = 0x7F,
};

enum Result : quint8 {
    ResOk = 0x00,
    ResHeaderCrc = 0x01,
    ResDataCrc = 0x02,
    ResKeyOverflow = 0x07,
    ResOutOfRange = 0x08,
    ResUnknownControl = 0x09,
    ResUnknownCommand = 0xFF,
};

constexpr quint8 EventControlFromPc = 0x26;
constexpr quint8 EventPowerOn = 0x0D;
constexpr quint8 EventFireUnblock = 0x13;
constexpr quint8 EventFireReset = 0x14;

constexpr std::array<quint8, 256> makeCrcTable()
{
    std::array<quint8, 256> table{};
    for (int i = 0; i < 256; ++i) {
        quint8 crc = quint8(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint8((crc >> 1) ^ 0x8C) : quint8(crc >> 1);
        table[size_t(i)] = crc;
    }
    return table;
}

constexpr std::array<quint8, 256> CrcTable = makeCrcTable();

quint8 crc8(const char* bytes, int count)
{
    quint8 crc = 0;
    for (int i = 0; i < count; ++i)
        crc = CrcTable[size_t(crc ^ quint8(bytes[i]))];
    return crc;
}

quint8 crc8(const QByteArray& bytes)
{
    return crc8(bytes.constData(), bytes.size());
}

quint8 byteAt(const QByteArray& bytes, int index)
{
    return quint8(bytes.at(index));
}

int le16(const QByteArray& bytes, int offset)
{
    return byteAt(bytes, offset) | (byteAt(bytes, offset + 1) << 8);
}

// Line time of `bytes` characters of 11 bits at 57600 baud, computed whole so that rounding
// does not add up over a long answer.
qint64 lineNs(qint64 bytes)
{
    return bytes * 11 * 1000000000LL / 57600;
}

QByteArray fitted(QByteArray bytes, int size)
{
    bytes.truncate(size);
    if (bytes.size() < size)
        bytes.append(size - bytes.size(), '\xFF');
    return bytes;
}

QByteArray initialSettings()
{
    QByteArray record(PanelSimulator::SettingsSize, '\0');
    record[0] = char(30);         // talk time, seconds
    record[2] = char(0x08);       // hide dialled digits
    record[3] = char(0x80);       // pulsed unblocking of the lock
    record[4] = char(10 << 2);    // DTMF time-out
    record[5] = char(6 | 3 << 4); // call-signal timer, keypad time-out
    record[6] = char(1);          // lock opening time
    record[7] = char(1);          // lock code "12"
    record[8] = char(2);
    record[19] = char(1);        // additional device time
    const int password = 123456; // 24-bit programming password
    record[32] = char(password & 0xFF);
    record[33] = char((password >> 8) & 0xFF);
    record[34] = char((password >> 16) & 0xFF);
    return record;
}

QByteArray initialFirmware()
{
    QByteArray image(PanelSimulator::FirmwareSize, '\0');
    quint32 state = 0x2545F491u; // xorshift32: looks random, is the same on every run
    for (int i = 0; i < image.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = char(state >> 24);
    }
    image[PanelSimulator::FirmwareSize - 3] = char(9);
    image[PanelSimulator::FirmwareSize - 2] = char(2);
    image[PanelSimulator::FirmwareSize - 1] = char(6);
    return image;
}

struct Fault
{
    PanelSimulator::FaultKind kind = PanelSimulator::FaultKind::Silence;
    int value = 0;
    int remaining = 0;
};

struct Reply
{
    quint8 result = ResOk;
    quint8 deviceByte = 0;
    QByteArray data;
    int delayMs = 0;
};

Reply failure(quint8 result)
{
    Reply reply;
    reply.result = result;
    return reply;
}

Reply success(const QByteArray& data = QByteArray())
{
    Reply reply;
    reply.data = data;
    return reply;
}

QByteArray encodeAnswer(quint8 command, const Reply& reply)
{
    const bool ok = reply.result == ResOk;
    const QByteArray data = ok ? reply.data : QByteArray();
    QByteArray frame(HeaderSize, '\0');
    frame[1] = char(command);
    frame[2] = char(reply.result);
    frame[3] = char(ok ? reply.deviceByte : 0);
    frame[4] = char(data.size());
    frame[5] = char(crc8(frame.constData(), 5));
    if (!data.isEmpty()) {
        frame.append(data);
        frame.append(char(crc8(data)));
    }
    return frame;
}

QByteArray withBadDataCrc(QByteArray answer)
{
    if (answer.size() == HeaderSize) {
        // A data-less answer gets one data byte so that a broken data CRC can be seen.
        answer[4] = char(1);
        answer[5] = char(crc8(answer.constData(), 5));
        answer.append('\0');
        answer.append(char(crc8(QByteArray(1, '\0')) ^ 0xFF));
        return answer;
    }
    answer[answer.size() - 1] = char(byteAt(answer, answer.size() - 1) ^ 0xFF);
    return answer;
}

QByteArray shortened(const QByteArray& answer, int keep)
{
    const int length = std::clamp(keep, 0, int(byteAt(answer, 4)));
    QByteArray frame = answer.left(HeaderSize);
    frame[4] = char(length);
    frame[5] = char(crc8(frame.constData(), 5));
    if (length > 0) {
        const QByteArray data = answer.mid(HeaderSize, length);
        frame.append(data);
        frame.append(char(crc8(data)));
    }
    return frame;
}

QByteArray damaged(QByteArray answer, const std::optional<Fault>& fault)
{
    if (!fault)
        return answer;
    switch (fault->kind) {
    case PanelSimulator::FaultKind::BadHeaderCrc:
        answer[5] = char(byteAt(answer, 5) ^ 0xFF);
        return answer;
    case PanelSimulator::FaultKind::BadDataCrc:
        return withBadDataCrc(answer);
    case PanelSimulator::FaultKind::CutAnswer:
        return answer.left(std::max(0, fault->value));
    case PanelSimulator::FaultKind::ShortData:
        return shortened(answer, fault->value);
    case PanelSimulator::FaultKind::Noise:
        for (int i = 0; i < fault->value; ++i)
            answer.append(char(i * 37 + 11));
        return answer;
    default:
        return answer;
    }
}

bool knownToLoader(quint8 command)
{
    return command == CmdBootMode || command == CmdVersion || command == CmdWriteFirmware ||
           command == CmdReadFirmware;
}

QByteArray recordAt(const QByteArray& table, int size, int number)
{
    if (number < 0 || number >= PanelSimulator::TableRecords)
        return QByteArray();
    return table.mid(number * size, size);
}

void storeRecord(QByteArray& table, int size, int number, const QByteArray& record)
{
    if (number < 0 || number >= PanelSimulator::TableRecords)
        return;
    const QByteArray bytes = fitted(record, size);
    std::memcpy(table.data() + number * size, bytes.constData(), size_t(size));
}

} // namespace

struct PanelSimulator::Private
{
    struct Answer
    {
        QByteArray bytes;
        int delayMs = 0;
    };

    Private();

    // Guarded by mutex.
    mutable std::mutex mutex;
    QString slavePath;
    bool pacing = false;
    TraceHandler trace;
    QMap<int, std::deque<Fault>> faults;
    std::deque<QByteArray> events;
    bool eventDelivered = false;
    quint8 status = IdleStatus;
    std::array<qint64, 2> fallBackNs{{-1, -1}};
    int controlHoldMs = 3000;
    int clearDurationMs = 0;
    quint8 deviceType = 9;
    quint8 major = 2;
    quint8 minor = 6;
    bool boot = false;
    QByteArray settings;
    QByteArray apartments;
    QByteArray phones;
    QByteArray keys;
    QByteArray firmware;
    QList<Frame> log;
    int openLogEntry = -1;
    QHash<int, int> requests;
    qint64 bytesIn = 0;
    qint64 startNs = 0;

    // start() and stop() only.
    std::mutex lifecycle;
    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<bool> stopping{false};
    int master = -1;
    int slave = -1;
    int wake = -1;

    // Service thread only.
    const std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
    QByteArray rx;
    qint64 lastByteNs = 0;
    // When the last byte received so far has fully crossed a real line: bytes reach the
    // pseudo-terminal as soon as they are written, a line delivers them one character time
    // after another from the moment each was written.
    qint64 lineEndNs = 0;
    bool dropping = false;
    QByteArray out;
    int outSent = 0;
    qint64 outStartNs = 0;
    qint64 lastWriteNs = 0;
    bool outPaced = false;
    bool outBlocked = false;

    qint64 nowNs() const;
    bool openPty(QString* error);
    void closeFds();
    void resetLine();

    void serve();
    qint64 nextDeadline() const;
    void waitForWork();
    void readInput(qint64 now);
    void feed(char byte, qint64 now);
    void expireFragment(qint64 now);
    void beginFrame(qint64 now);
    void checkHeader(qint64 now);
    void completeFrame(qint64 now);
    int expectedSize() const;
    void sendAnswer(const QByteArray& bytes, int delayMs, qint64 now);
    void flushOutput(qint64 now);
    int dueBytes(qint64 now) const;
    void traceFrame(bool incoming, const QByteArray& bytes) const;

    void appendLog(char byte);
    void closeLog();

    // The rest run with the mutex held.
    Answer respond(const QByteArray& frame, qint64 now);
    std::optional<Fault> takeFault(int command);
    Reply execute(quint8 command, quint8 parameter, const QByteArray& data, qint64 now);
    quint8 currentStatus(qint64 now);
    void queueRecord(quint32 key, quint8 flags, quint8 code, qint64 now);
    Reply version() const;
    Reply poll(quint8 parameter, qint64 now);
    Reply control(quint8 parameter, qint64 now);
    Reply setBoot(quint8 parameter);
    Reply clearTables();
    Reply writeSettings(const QByteArray& data);
    Reply writeFirmware(const QByteArray& data);
    Reply readFirmware(const QByteArray& data) const;
};

PanelSimulator::Private::Private()
    : settings(initialSettings())
    , apartments(TableRecords * ApartmentSize, '\xFF')
    , phones(TableRecords * PhoneSize, '\xFF')
    , keys(TableRecords * KeySize, '\xFF')
    , firmware(initialFirmware())
{}

qint64 PanelSimulator::Private::nowNs() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                epoch)
        .count();
}

namespace {

bool fail(QString* error, const char* what)
{
    if (error)
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                              QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool makeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    tio.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

bool PanelSimulator::Private::openPty(QString* error)
{
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return fail(error, "posix_openpt");
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name))
        return fail(error, "pseudo-terminal setup");
    // The slave stays open for the simulator's whole life: without it the master reports a
    // hang-up whenever the program closes its port.
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return fail(error, "open slave");
    // Raw before anyone else can open it: echo would bounce requests back and output
    // processing would turn 0x0A into 0x0D 0x0A.
    if (!makeRaw(slave))
        return fail(error, "raw mode");
    if (fcntl(master, F_SETFL, O_NONBLOCK) != 0 || fcntl(master, F_SETFD, FD_CLOEXEC) != 0)
        return fail(error, "fcntl");
    wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0)
        return fail(error, "eventfd");
    std::lock_guard<std::mutex> lock(mutex);
    slavePath = QString::fromLocal8Bit(name);
    return true;
}

void PanelSimulator::Private::closeFds()
{
    for (int* fd : {&wake, &slave, &master}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void PanelSimulator::Private::resetLine()
{
    rx.clear();
    dropping = false;
    out.clear();
    outSent = 0;
    outBlocked = false;
}

void PanelSimulator::Private::serve()
{
    while (!stopping.load()) {
        waitForWork();
        const qint64 now = nowNs();
        expireFragment(now);
        flushOutput(now);
    }
}

qint64 PanelSimulator::Private::nextDeadline() const
{
    qint64 deadline = -1;
    auto consider = [&deadline](qint64 t) { deadline = deadline < 0 ? t : std::min(deadline, t); };
    if (dropping)
        consider(lastByteNs + DropGapNs + 1);
    if (!rx.isEmpty())
        consider(lastByteNs + FrameGapNs + 1);
    if (!out.isEmpty() && !outBlocked) {
        const qint64 next = outPaced ? outStartNs + lineNs(outSent + 1) : outStartNs;
        consider(outPaced ? std::max(next, lastWriteNs + PaceSliceNs) : next);
    }
    return deadline;
}

void PanelSimulator::Private::waitForWork()
{
    const short masterEvents = short(POLLIN | (outBlocked ? POLLOUT : 0));
    pollfd fds[2] = {{master, masterEvents, 0}, {wake, POLLIN, 0}};
    const qint64 deadline = nextDeadline();
    timespec wait{};
    if (deadline >= 0) {
        const qint64 ns = std::max<qint64>(0, deadline - nowNs());
        wait.tv_sec = time_t(ns / 1000000000);
        wait.tv_nsec = long(ns % 1000000000);
    }
    if (ppoll(fds, 2, deadline >= 0 ? &wait : nullptr, nullptr) <= 0)
        return;
    const qint64 now = nowNs();
    if (fds[0].revents & POLLIN)
        readInput(now);
    if (fds[0].revents & POLLOUT)
        outBlocked = false;
}

void PanelSimulator::Private::readInput(qint64 now)
{
    char buffer[512];
    const ssize_t count = ::read(master, buffer, sizeof buffer);
    if (count <= 0)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        bytesIn += count;
    }
    for (ssize_t i = 0; i < count; ++i)
        feed(buffer[i], now);
}

void PanelSimulator::Private::feed(char byte, qint64 now)
{
    expireFragment(now);
    if (dropping) {
        appendLog(byte);
        lastByteNs = now;
        return;
    }
    if (rx.isEmpty())
        beginFrame(now);
    lineEndNs = std::max(lineEndNs, now) + lineNs(1);
    rx.append(byte);
    appendLog(byte);
    lastByteNs = now;
    if (rx.size() == HeaderSize)
        checkHeader(now);
    else if (rx.size() > HeaderSize && rx.size() == expectedSize())
        completeFrame(now);
}

void PanelSimulator::Private::expireFragment(qint64 now)
{
    if (dropping && now - lastByteNs > DropGapNs) {
        dropping = false;
        closeLog();
    }
    if (!rx.isEmpty() && now - lastByteNs > FrameGapNs) {
        traceFrame(true, rx);
        rx.clear();
        closeLog();
    }
}

void PanelSimulator::Private::beginFrame(qint64 now)
{
    // One request at a time: a new request ends whatever answer was still pending.
    out.clear();
    outSent = 0;
    outBlocked = false;
    std::lock_guard<std::mutex> lock(mutex);
    log.append(Frame{(now - startNs) / 1000, QByteArray()});
    openLogEntry = log.size() - 1;
}

void PanelSimulator::Private::checkHeader(qint64 now)
{
    if (crc8(rx.constData(), 5) != byteAt(rx, 5)) {
        traceFrame(true, rx);
        sendAnswer(encodeAnswer(byteAt(rx, 1), failure(ResHeaderCrc)), 0, now);
        rx.clear();
        dropping = true;
        return;
    }
    if (byteAt(rx, 4) == 0)
        completeFrame(now);
}

int PanelSimulator::Private::expectedSize() const
{
    const int n = byteAt(rx, 4);
    return n == 0 ? HeaderSize : HeaderSize + n + 1;
}

void PanelSimulator::Private::completeFrame(qint64 now)
{
    const QByteArray frame = rx;
    rx.clear();
    closeLog();
    traceFrame(true, frame);
    const int n = byteAt(frame, 4);
    if (n > 0 && crc8(frame.constData() + HeaderSize, n) != byteAt(frame, HeaderSize + n)) {
        sendAnswer(encodeAnswer(byteAt(frame, 1), failure(ResDataCrc)), 0, now);
        return;
    }
    const Answer answer = respond(frame, now);
    if (!answer.bytes.isEmpty())
        sendAnswer(answer.bytes, answer.delayMs, now);
}

void PanelSimulator::Private::sendAnswer(const QByteArray& bytes, int delayMs, qint64 now)
{
    traceFrame(false, bytes);
    bool paced = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        paced = pacing;
    }
    qint64 start = now + qint64(delayMs) * NsPerMs;
    // On a real line the answer cannot begin before the request has crossed it.
    if (paced)
        start = std::max(start, lineEndNs);
    out = bytes;
    outSent = 0;
    outStartNs = start;
    outPaced = paced;
    lastWriteNs = 0;
    flushOutput(now);
}

int PanelSimulator::Private::dueBytes(qint64 now) const
{
    if (now < outStartNs)
        return 0;
    if (!outPaced)
        return out.size();
    const qint64 elapsed = now - outStartNs;
    return int(std::min<qint64>(out.size(), elapsed * 57600 / (11 * 1000000000LL)));
}

void PanelSimulator::Private::flushOutput(qint64 now)
{
    if (out.isEmpty() || outBlocked)
        return;
    const int due = dueBytes(now) - outSent;
    if (due <= 0)
        return;
    const ssize_t written = ::write(master, out.constData() + outSent, size_t(due));
    if (written < 0) {
        if (errno == EAGAIN)
            outBlocked = true;
        else
            out.clear();
        return;
    }
    outSent += int(written);
    lastWriteNs = now;
    if (outSent >= out.size()) {
        out.clear();
        outSent = 0;
    }
}

void PanelSimulator::Private::traceFrame(bool incoming, const QByteArray& bytes) const
{
    TraceHandler handler;
    {
        std::lock_guard<std::mutex> lock(mutex);
        handler = trace;
    }
    if (handler)
        handler(incoming, bytes);
}

void PanelSimulator::Private::appendLog(char byte)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (openLogEntry >= 0 && openLogEntry < log.size())
        log[openLogEntry].bytes.append(byte);
}

void PanelSimulator::Private::closeLog()
{
    std::lock_guard<std::mutex> lock(mutex);
    openLogEntry = -1;
}

PanelSimulator::Private::Answer PanelSimulator::Private::respond(const QByteArray& frame,
                                                                 qint64 now)
{
    const quint8 command = byteAt(frame, 1);
    const quint8 parameter = byteAt(frame, 3);
    const QByteArray data = frame.mid(HeaderSize, byteAt(frame, 4));
    std::lock_guard<std::mutex> lock(mutex);
    ++requests[command];
    const std::optional<Fault> fault = takeFault(command);
    if (fault && fault->kind == FaultKind::Silence)
        return Answer();
    if (fault && fault->kind == FaultKind::ResultCode)
        return Answer{encodeAnswer(command, failure(quint8(fault->value))), 0};
    const Reply reply = execute(command, parameter, data, now);
    const int delay = fault && fault->kind == FaultKind::Delay ? fault->value : 0;
    return Answer{damaged(encodeAnswer(command, reply), fault), reply.delayMs + delay};
}

std::optional<Fault> PanelSimulator::Private::takeFault(int command)
{
    for (const int key : {command, int(AnyCommand)}) {
        auto it = faults.find(key);
        if (it == faults.end() || it->empty())
            continue;
        const Fault fault = it->front();
        if (--it->front().remaining <= 0)
            it->pop_front();
        return fault;
    }
    return std::nullopt;
}

namespace {

// A block holds at most 60 bytes of records: 15 apartments, 10 phones or 12 keys.
Reply writeBlock(QByteArray& table, int size, quint8 overflow, const QByteArray& data)
{
    if (data.size() < 2 + size || (data.size() - 2) % size != 0 || data.size() - 2 > 60)
        return failure(ResOutOfRange);
    const int first = le16(data, 0);
    const int count = (data.size() - 2) / size;
    if (first + count > PanelSimulator::TableRecords)
        return failure(overflow);
    std::memcpy(table.data() + first * size, data.constData() + 2, size_t(count * size));
    return success();
}

Reply readBlock(const QByteArray& table, int size, const QByteArray& data)
{
    if (data.size() != 3)
        return failure(ResOutOfRange);
    const int first = le16(data, 0);
    const int count = byteAt(data, 2);
    if (first + count > PanelSimulator::TableRecords || count * size > 255)
        return failure(ResOutOfRange);
    return success(table.mid(first * size, count * size));
}

} // namespace

Reply PanelSimulator::Private::execute(quint8 command, quint8 parameter, const QByteArray& data,
                                       qint64 now)
{
    if (boot && !knownToLoader(command))
        return failure(ResUnknownCommand);
    switch (command) {
    case CmdBootMode:
        return setBoot(parameter);
    case CmdClear:
        return clearTables();
    case CmdControl:
        return control(parameter, now);
    case CmdWriteSettings:
        return writeSettings(data);
    case CmdReadSettings:
        return success(settings);
    case CmdWriteApartments:
        return writeBlock(apartments, ApartmentSize, ResOutOfRange, data);
    case CmdWritePhones:
        return writeBlock(phones, PhoneSize, ResOutOfRange, data);
    case CmdWriteKeys:
        return writeBlock(keys, KeySize, ResKeyOverflow, data);
    case CmdReadApartments:
        return readBlock(apartments, ApartmentSize, data);
    case CmdReadPhones:
        return readBlock(phones, PhoneSize, data);
    case CmdReadKeys:
        return readBlock(keys, KeySize, data);
    case CmdWriteFirmware:
        return boot ? writeFirmware(data) : failure(ResUnknownCommand);
    case CmdReadFirmware:
        return readFirmware(data);
    case CmdVersion:
        return version();
    case CmdPoll:
        return poll(parameter, now);
    default:
        return failure(ResUnknownCommand);
    }
}

quint8 PanelSimulator::Private::currentStatus(qint64 now)
{
    // Timed opening and pulse end by themselves; applied lazily whenever the status is read.
    for (int device = 0; device < 2; ++device) {
        qint64& due = fallBackNs[size_t(device)];
        if (due < 0 || now < due)
            continue;
        const int shift = device * 4;
        status = quint8((status & ~(0x07 << shift)) | (0x01 << shift));
        due = -1;
    }
    return status;
}

void PanelSimulator::Private::queueRecord(quint32 key, quint8 flags, quint8 code, qint64 now)
{
    QByteArray record(6, '\0');
    record[0] = char(key & 0xFF);
    record[1] = char((key >> 8) & 0xFF);
    record[2] = char((key >> 16) & 0xFF);
    record[3] = char(flags);
    record[4] = char(code);
    record[5] = char(currentStatus(now));
    events.push_back(record);
}

Reply PanelSimulator::Private::version() const
{
    Reply reply;
    reply.deviceByte = deviceType;
    reply.data.append(char(boot ? 0 : major));
    reply.data.append(char(boot ? 0 : minor));
    return reply;
}

Reply PanelSimulator::Private::poll(quint8 parameter, qint64 now)
{
    if (parameter != 0x00 && parameter != 0xFF)
        return failure(ResOutOfRange);
    // 0xFF confirms the record the previous poll delivered; 0x00 asks for it again.
    if (parameter == 0xFF && eventDelivered && !events.empty())
        events.pop_front();
    eventDelivered = !events.empty();
    if (eventDelivered)
        return success(events.front());
    return success(QByteArray(1, char(currentStatus(now))));
}

Reply PanelSimulator::Private::control(quint8 parameter, qint64 now)
{
    const int device = parameter >> 7;
    const int mode = parameter & 0x7F;
    if (mode != 1 && mode != 2 && mode != 4)
        return failure(ResUnknownControl);
    const int shift = device * 4;
    currentStatus(now);
    status = quint8((status & ~(0x07 << shift)) | (mode << shift));
    fallBackNs[size_t(device)] = mode == 2 ? now + qint64(controlHoldMs) * NsPerMs : -1;
    queueRecord(parameter, 0, EventControlFromPc, now);
    return success();
}

Reply PanelSimulator::Private::setBoot(quint8 parameter)
{
    if (parameter > 1)
        return failure(ResOutOfRange);
    boot = parameter == 1;
    return success();
}

Reply PanelSimulator::Private::clearTables()
{
    apartments.fill('\xFF');
    phones.fill('\xFF');
    keys.fill('\xFF');
    Reply reply;
    reply.delayMs = clearDurationMs;
    return reply;
}

Reply PanelSimulator::Private::writeSettings(const QByteArray& data)
{
    if (data.size() != SettingsSize)
        return failure(ResOutOfRange);
    settings = data;
    return success();
}

Reply PanelSimulator::Private::writeFirmware(const QByteArray& data)
{
    if (data.size() != 2 + FirmwareBlock)
        return failure(ResOutOfRange);
    const int block = le16(data, 0);
    if (block >= FirmwareBlocks)
        return failure(ResOutOfRange);
    std::memcpy(firmware.data() + block * FirmwareBlock, data.constData() + 2,
                size_t(FirmwareBlock));
    return success();
}

Reply PanelSimulator::Private::readFirmware(const QByteArray& data) const
{
    if (data.size() != 2)
        return failure(ResOutOfRange);
    const int block = le16(data, 0);
    if (block >= FirmwareBlocks)
        return failure(ResOutOfRange);
    return success(firmware.mid(block * FirmwareBlock, FirmwareBlock));
}

// Public interface.

PanelSimulator::PanelSimulator()
    : d(std::make_unique<Private>())
{}

PanelSimulator::~PanelSimulator()
{
    stop();
}

bool PanelSimulator::start(QString* error)
{
    std::lock_guard<std::mutex> life(d->lifecycle);
    if (d->running.load())
        return true;
    if (!d->openPty(error)) {
        d->closeFds();
        return false;
    }
    d->resetLine();
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->startNs = d->nowNs();
        d->openLogEntry = -1;
    }
    d->stopping = false;
    d->thread = std::thread([this] { d->serve(); });
    d->running = true;
    return true;
}

void PanelSimulator::stop()
{
    std::lock_guard<std::mutex> life(d->lifecycle);
    if (!d->running.load())
        return;
    d->stopping = true;
    const quint64 one = 1;
    if (::write(d->wake, &one, sizeof one) < 0)
        qWarning("panel simulator: cannot wake the service thread");
    d->thread.join();
    d->closeFds();
    d->running = false;
    std::lock_guard<std::mutex> lock(d->mutex);
    d->slavePath.clear();
}

bool PanelSimulator::isRunning() const
{
    return d->running.load();
}

QString PanelSimulator::slavePath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->slavePath;
}

QByteArray PanelSimulator::exchange(const QByteArray& request)
{
    const qint64 now = d->nowNs();
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->log.append(Frame{(now - d->startNs) / 1000, request});
        d->bytesIn += request.size();
    }
    if (request.size() < HeaderSize)
        return QByteArray();
    const quint8 command = byteAt(request, 1);
    if (crc8(request.constData(), 5) != byteAt(request, 5))
        return encodeAnswer(command, failure(ResHeaderCrc));
    const int n = byteAt(request, 4);
    if (n > 0 && (request.size() < HeaderSize + n + 1 ||
                  crc8(request.constData() + HeaderSize, n) != byteAt(request, HeaderSize + n)))
        return encodeAnswer(command, failure(ResDataCrc));
    return d->respond(request.left(n > 0 ? HeaderSize + n + 1 : HeaderSize), now).bytes;
}

void PanelSimulator::setLinePacing(bool on)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->pacing = on;
}

void PanelSimulator::setTraceHandler(TraceHandler handler)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->trace = std::move(handler);
}

void PanelSimulator::injectFault(int command, FaultKind kind, int value, int count)
{
    if (count <= 0)
        return;
    std::lock_guard<std::mutex> lock(d->mutex);
    d->faults[command].push_back(Fault{kind, value, count});
}

void PanelSimulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->faults.clear();
}

void PanelSimulator::queueEvent(const Event& event)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->queueRecord(event.key, event.flags, event.code, d->nowNs());
}

void PanelSimulator::queueKey(quint32 key, quint8 flags, quint8 code)
{
    queueEvent(Event{key, flags, code});
}

void PanelSimulator::queueButton()
{
    queueEvent(Event{0, 0, 0x00});
}

void PanelSimulator::queueFireAlarm(bool unblocked)
{
    queueEvent(Event{0, 0, unblocked ? EventFireUnblock : EventFireReset});
}

void PanelSimulator::queuePowerOn()
{
    queueEvent(Event{0, 0, EventPowerOn});
}

int PanelSimulator::pendingEvents() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return int(d->events.size());
}

void PanelSimulator::clearEvents()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->events.clear();
    d->eventDelivered = false;
}

quint8 PanelSimulator::status() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->currentStatus(d->nowNs());
}

void PanelSimulator::setStatus(quint8 status)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->status = status;
    d->fallBackNs = {{-1, -1}};
}

void PanelSimulator::setControlHoldMs(int ms)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->controlHoldMs = std::max(0, ms);
}

void PanelSimulator::setClearDurationMs(int ms)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->clearDurationMs = std::max(0, ms);
}

void PanelSimulator::setVersion(quint8 deviceType, quint8 major, quint8 minor)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->deviceType = deviceType;
    d->major = major;
    d->minor = minor;
}

bool PanelSimulator::bootMode() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->boot;
}

void PanelSimulator::setBootMode(bool on)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->boot = on;
}

QByteArray PanelSimulator::settings() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->settings;
}

void PanelSimulator::setSettings(const QByteArray& record)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->settings = fitted(record, SettingsSize);
}

QByteArray PanelSimulator::apartmentRecord(int number) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return recordAt(d->apartments, ApartmentSize, number);
}

QByteArray PanelSimulator::phoneRecord(int number) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return recordAt(d->phones, PhoneSize, number);
}

QByteArray PanelSimulator::keyRecord(int index) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return recordAt(d->keys, KeySize, index);
}

void PanelSimulator::setApartmentRecord(int number, const QByteArray& record)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    storeRecord(d->apartments, ApartmentSize, number, record);
}

void PanelSimulator::setPhoneRecord(int number, const QByteArray& record)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    storeRecord(d->phones, PhoneSize, number, record);
}

void PanelSimulator::setKeyRecord(int index, const QByteArray& record)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    storeRecord(d->keys, KeySize, index, record);
}

QByteArray PanelSimulator::firmware() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->firmware;
}

void PanelSimulator::setFirmware(const QByteArray& image)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->firmware = fitted(image, FirmwareSize);
}

void PanelSimulator::damageFirmwareBlock(int block)
{
    if (block < 0 || block >= FirmwareBlocks)
        return;
    std::lock_guard<std::mutex> lock(d->mutex);
    const int offset = block * FirmwareBlock;
    d->firmware[offset] = char(~d->firmware.at(offset));
}

PanelSimulator::LineSettings PanelSimulator::lineSettings() const
{
    termios tio{};
    {
        std::lock_guard<std::mutex> life(d->lifecycle);
        // On Linux the master reports the terminal settings of the slave side.
        if (d->master < 0 || tcgetattr(d->master, &tio) != 0)
            return LineSettings();
    }
    const auto speed = [](speed_t code) {
        const std::pair<speed_t, int> known[] = {{B1200, 1200},   {B2400, 2400},    {B4800, 4800},
                                                 {B9600, 9600},   {B19200, 19200},  {B38400, 38400},
                                                 {B57600, 57600}, {B115200, 115200}};
        for (const auto& entry : known)
            if (entry.first == code)
                return entry.second;
        return -1;
    };
    const tcflag_t size = tio.c_cflag & CSIZE;
    LineSettings line;
    const int output = speed(cfgetospeed(&tio));
    line.baudRate = output == speed(cfgetispeed(&tio)) ? output : 0;
    line.dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    line.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    const bool odd = tio.c_cflag & PARODD;
    if (tio.c_cflag & CMSPAR)
        line.parity = odd ? 'M' : 'S';
    else if (tio.c_cflag & PARENB)
        line.parity = odd ? 'O' : 'E';
    line.hardwareFlow = tio.c_cflag & CRTSCTS;
    line.softwareFlow = tio.c_iflag & (IXON | IXOFF);
    return line;
}

QList<PanelSimulator::Frame> PanelSimulator::frames() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->log;
}

QList<PanelSimulator::Frame> PanelSimulator::frames(int command) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (command == AnyCommand)
        return d->log;
    QList<Frame> selected;
    for (const Frame& frame : d->log) {
        if (frame.bytes.size() > 1 && byteAt(frame.bytes, 1) == command)
            selected.append(frame);
    }
    return selected;
}

int PanelSimulator::requestCount(int command) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (command != AnyCommand)
        return d->requests.value(command);
    int total = 0;
    for (const int count : d->requests)
        total += count;
    return total;
}

qint64 PanelSimulator::bytesReceived() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->bytesIn;
}

void PanelSimulator::clearLog()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->log.clear();
    d->openLogEntry = -1;
    d->requests.clear();
    d->bytesIn = 0;
}
