#include "simframe.h"

#include <array>
#include <chrono>

namespace panelsim {

namespace {

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

} // namespace

Reply failure(quint8 result)
{
    Reply reply;
    reply.result = result;
    return reply;
}

Reply success(const QByteArray& data)
{
    Reply reply;
    reply.data = data;
    return reply;
}

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

bool goodHeader(const QByteArray& bytes, int offset)
{
    return offset + HeaderSize <= bytes.size() &&
           crc8(bytes.constData() + offset, 5) == byteAt(bytes, offset + 5);
}

int frameSize(const QByteArray& bytes, int offset)
{
    const int n = byteAt(bytes, offset + 4);
    return n == 0 ? HeaderSize : HeaderSize + n + 1;
}

int newestFrameStart(const QByteArray& bytes)
{
    int newest = -1;
    for (int offset = 0; offset + HeaderSize <= bytes.size();) {
        // Requests carry address 0. Without that test the rest of a request after its first
        // byte would pass for a header: with an initial value of 0 a leading zero byte leaves
        // the CRC unchanged, so it checks out against the next request's address byte.
        if (bytes.at(offset) == 0 && goodHeader(bytes, offset)) {
            newest = offset;
            offset += frameSize(bytes, offset);
        } else {
            ++offset;
        }
    }
    if (newest < 0)
        return 0;
    const int end = newest + frameSize(bytes, newest);
    return end < bytes.size() ? end : newest;
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

qint64 lineNs(qint64 bytes)
{
    return bytes * 11 * 1000000000LL / 57600;
}

qint64 lineBytes(qint64 ns)
{
    return ns * 57600 / (11 * 1000000000LL);
}

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace panelsim
