#include "simcommands.h"

#include "panelsimulator.h"
#include "simmemory.h"

#include <cstring>

namespace panelsim {

namespace {

constexpr int FirmwareBlocks = PanelSimulator::FirmwareSize / PanelSimulator::FirmwareBlock;

bool knownToLoader(quint8 command)
{
    return command == CmdBootMode || command == CmdVersion || command == CmdWriteFirmware ||
           command == CmdReadFirmware;
}

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

Reply version(const SimMemory& memory)
{
    Reply reply;
    reply.deviceByte = memory.deviceType;
    reply.data.append(char(memory.boot ? 0 : memory.major));
    reply.data.append(char(memory.boot ? 0 : memory.minor));
    return reply;
}

Reply poll(SimMemory& memory, quint8 parameter, qint64 now)
{
    if (parameter != 0x00 && parameter != 0xFF)
        return failure(ResOutOfRange);
    // 0xFF confirms the record the previous poll delivered; 0x00 asks for it again.
    return success(memory.pollEvent(parameter == 0xFF, now));
}

Reply control(SimMemory& memory, quint8 parameter, qint64 now)
{
    const int device = parameter >> 7;
    const int mode = parameter & 0x7F;
    if (mode != 1 && mode != 2 && mode != 4)
        return failure(ResUnknownControl);
    memory.setDeviceMode(device, mode, now);
    memory.queueEvent(parameter, 0, EventControlFromPc, now);
    return success();
}

Reply setBoot(SimMemory& memory, quint8 parameter)
{
    if (parameter > 1)
        return failure(ResOutOfRange);
    memory.boot = parameter == 1;
    return success();
}

Reply clearTables(SimMemory& memory)
{
    memory.apartments.fill('\xFF');
    memory.phones.fill('\xFF');
    memory.keys.fill('\xFF');
    Reply reply;
    reply.delayMs = memory.clearDurationMs;
    return reply;
}

Reply writeSettings(SimMemory& memory, const QByteArray& data)
{
    if (data.size() != PanelSimulator::SettingsSize)
        return failure(ResOutOfRange);
    memory.settings = data;
    return success();
}

Reply writeFirmware(SimMemory& memory, const QByteArray& data)
{
    if (!memory.boot)
        return failure(ResUnknownCommand);
    const int blockSize = PanelSimulator::FirmwareBlock;
    if (data.size() != 2 + blockSize)
        return failure(ResOutOfRange);
    const int block = le16(data, 0);
    if (block >= FirmwareBlocks)
        return failure(ResOutOfRange);
    std::memcpy(memory.firmware.data() + block * blockSize, data.constData() + 2,
                size_t(blockSize));
    return success();
}

Reply readFirmware(const SimMemory& memory, const QByteArray& data)
{
    if (data.size() != 2)
        return failure(ResOutOfRange);
    const int block = le16(data, 0);
    if (block >= FirmwareBlocks)
        return failure(ResOutOfRange);
    const int blockSize = PanelSimulator::FirmwareBlock;
    return success(memory.firmware.mid(block * blockSize, blockSize));
}

} // namespace

Reply executeCommand(SimMemory& memory, quint8 command, quint8 parameter, const QByteArray& data,
                     qint64 now)
{
    if (memory.boot && !knownToLoader(command))
        return failure(ResUnknownCommand);
    switch (command) {
    case CmdBootMode:
        return setBoot(memory, parameter);
    case CmdClear:
        return clearTables(memory);
    case CmdControl:
        return control(memory, parameter, now);
    case CmdWriteSettings:
        return writeSettings(memory, data);
    case CmdReadSettings:
        return success(memory.settings);
    case CmdWriteApartments:
        return writeBlock(memory.apartments, ApartmentSize, ResOutOfRange, data);
    case CmdWritePhones:
        return writeBlock(memory.phones, PhoneSize, ResOutOfRange, data);
    case CmdWriteKeys:
        return writeBlock(memory.keys, KeySize, ResKeyOverflow, data);
    case CmdReadApartments:
        return readBlock(memory.apartments, ApartmentSize, data);
    case CmdReadPhones:
        return readBlock(memory.phones, PhoneSize, data);
    case CmdReadKeys:
        return readBlock(memory.keys, KeySize, data);
    case CmdWriteFirmware:
        return writeFirmware(memory, data);
    case CmdReadFirmware:
        return readFirmware(memory, data);
    case CmdVersion:
        return version(memory);
    case CmdPoll:
        return poll(memory, parameter, now);
    default:
        return failure(ResUnknownCommand);
    }
}

} // namespace panelsim
