#pragma once

#include <QtGlobal>

// CRC-8/MAXIM (Dallas 1-Wire): polynomial x^8 + x^5 + x^4 + 1, reflected, initial 0,
// no final XOR. The panel guards every header and data block with it.
quint8 crc8(const quint8* data, quint8 count);
