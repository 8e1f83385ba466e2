#pragma once

#include <QByteArray>

// The panel's frames as bytes: the CRC, the header checks, the answers it builds, and the
// clock and line times the simulator measures with. Pure functions, no state.
namespace panelsim {

constexpr int HeaderSize = 6;
constexpr qint64 NsPerMs = 1000000;

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

// What a command handler answers, before it is framed.
struct Reply
{
    quint8 result = ResOk;
    quint8 deviceByte = 0;
    QByteArray data;
    int delayMs = 0;
};

Reply failure(quint8 result);
Reply success(const QByteArray& data = QByteArray());

quint8 crc8(const char* bytes, int count);
quint8 crc8(const QByteArray& bytes);
quint8 byteAt(const QByteArray& bytes, int index);
int le16(const QByteArray& bytes, int offset);

// Whether a whole header starts at `offset` and its CRC is right.
bool goodHeader(const QByteArray& bytes, int offset = 0);
// The length of the frame whose header starts at `offset`: data block and its CRC included.
int frameSize(const QByteArray& bytes, int offset = 0);

// Where the newest request in a backlog starts. Requests are found again by their address
// byte and header CRC, as a panel finds them after line noise; bytes after the last whole
// request are the start of a newer one. 0 when no request header is there at all.
int newestFrameStart(const QByteArray& bytes);

// The answer frame; a failure carries no data.
QByteArray encodeAnswer(quint8 command, const Reply& reply);

// Line time of `bytes` characters of 11 bits at 57600 baud, computed whole so that rounding
// does not add up over a long answer.
qint64 lineNs(qint64 bytes);
// How many whole characters a 57600-baud line delivers in `ns`.
qint64 lineBytes(qint64 ns);
// The steady clock in nanoseconds; the simulator's parts measure every time with it.
qint64 steadyNs();

} // namespace panelsim
