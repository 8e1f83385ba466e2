#include "crc8.h"

#include <array>

namespace {

constexpr std::array<quint8, 256> makeTable()
{
    std::array<quint8, 256> table{};
    for (int value = 0; value < 256; ++value) {
        quint8 crc = quint8(value);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint8((crc >> 1) ^ 0x8C) : quint8(crc >> 1);
        table[std::size_t(value)] = crc;
    }
    return table;
}

constexpr std::array<quint8, 256> table = makeTable();

} // namespace

quint8 crc8(const quint8* data, quint8 count)
{
    quint8 crc = 0;
    for (quint8 i = 0; i < count; ++i)
        crc = table[crc ^ data[i]];
    return crc;
}
