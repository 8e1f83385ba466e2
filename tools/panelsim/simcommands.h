#pragma once

#include "simframe.h"

// The panel's command handlers: what each command does to the panel's memory and answers.
namespace panelsim {

class SimMemory;

constexpr quint8 EventButtonOrKey = 0x00;
constexpr quint8 EventPowerOn = 0x0D;
constexpr quint8 EventFireUnblock = 0x13;
constexpr quint8 EventFireReset = 0x14;
constexpr quint8 EventControlFromPc = 0x26;

// Carries out one request whose CRCs were good. In boot mode only the firmware loader's
// commands are known.
Reply executeCommand(SimMemory& memory, quint8 command, quint8 parameter, const QByteArray& data,
                     qint64 now);

} // namespace panelsim
