#pragma once

#include <QByteArray>
#include <QtGlobal>

// Framing of the panel's packets: a six-byte header (address, command, result code,
// parameter, data length N, CRC8 of the first five) and, when N > 0, N data bytes
// followed by their own CRC8. Requests and answers share the layout.
namespace Protocol {

enum Command : quint8 {
    BootMode = 0x00,
    ClearMemory = 0x01,
    Control = 0x10,
    WriteSettings = 0x24,
    WriteKeys = 0x25,
    WriteApartments = 0x26,
    WritePhones = 0x27,
    WriteFirmware = 0x3F,
    ReadVersion = 0x40,
    PollEvents = 0x43,
    ReadKeys = 0x61,
    ReadApartments = 0x62,
    ReadPhones = 0x63,
    ReadSettings = 0x64,
    ReadFirmware = 0x7F,
};

constexpr int HeaderSize = 6;
constexpr int OffsetCommand = 1;
constexpr int OffsetResult = 2;
constexpr int OffsetParameter = 3;
constexpr int OffsetLength = 4;
constexpr int OffsetHeaderCrc = 5;
constexpr int OffsetData = 6;

// Milliseconds the worker waits for a complete answer to a command.
int answerTimeout(quint8 command);

// A request header: 00, command, 00, parameter, length, CRC8 of the five.
QByteArray sealedHeader(quint8 command, quint8 parameter, quint8 length);
// The data bytes followed by their CRC8; empty for no data. At most 255 data bytes.
QByteArray sealedData(const QByteArray& data);

// Where an answer stands while its bytes arrive.
struct AnswerCheck
{
    enum Status { Incomplete, Complete, HeaderCrcError, DataCrcError };
    Status status = Incomplete;
    int expected = HeaderSize; // bytes the whole frame needs, as far as known
};

// Validates the bytes received so far: the header CRC once six bytes are in, the data
// CRC once the announced data block is in. Bytes beyond the frame are not examined.
AnswerCheck checkAnswer(const QByteArray& answer);

// The data block of an answer frame: the N bytes from offset 6, or as many of them as are there.
QByteArray answerData(const QByteArray& answer);

} // namespace Protocol
