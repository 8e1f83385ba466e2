#include "simmemory.h"

#include "panelsimulator.h"
#include "simframe.h"

#include <cstring>

namespace panelsim {

namespace {

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

} // namespace

QByteArray fitted(QByteArray bytes, int size)
{
    bytes.truncate(size);
    if (bytes.size() < size)
        bytes.append(size - bytes.size(), '\xFF');
    return bytes;
}

SimMemory::SimMemory()
    : settings(initialSettings())
    , apartments(PanelSimulator::TableRecords * ApartmentSize, '\xFF')
    , phones(PanelSimulator::TableRecords * PhoneSize, '\xFF')
    , keys(PanelSimulator::TableRecords * KeySize, '\xFF')
    , firmware(initialFirmware())
{}

quint8 SimMemory::currentStatus(qint64 now)
{
    for (int device = 0; device < 2; ++device) {
        qint64& due = m_fallBackNs[size_t(device)];
        if (due < 0 || now < due)
            continue;
        const int shift = device * 4;
        m_status = quint8((m_status & ~(0x07 << shift)) | (0x01 << shift));
        due = -1;
    }
    return m_status;
}

void SimMemory::setStatus(quint8 status)
{
    m_status = status;
    m_fallBackNs = {{-1, -1}};
}

void SimMemory::setDeviceMode(int device, int mode, qint64 now)
{
    const int shift = device * 4;
    currentStatus(now);
    m_status = quint8((m_status & ~(0x07 << shift)) | (mode << shift));
    m_fallBackNs[size_t(device)] = mode == 2 ? now + qint64(controlHoldMs) * NsPerMs : -1;
}

void SimMemory::queueEvent(quint32 key, quint8 flags, quint8 code, qint64 now)
{
    QByteArray record(6, '\0');
    record[0] = char(key & 0xFF);
    record[1] = char((key >> 8) & 0xFF);
    record[2] = char((key >> 16) & 0xFF);
    record[3] = char(flags);
    record[4] = char(code);
    record[5] = char(currentStatus(now));
    m_events.push_back(record);
}

QByteArray SimMemory::pollEvent(bool acknowledge, qint64 now)
{
    if (acknowledge && m_eventDelivered && !m_events.empty())
        m_events.pop_front();
    m_eventDelivered = !m_events.empty();
    if (m_eventDelivered)
        return m_events.front();
    return QByteArray(1, char(currentStatus(now)));
}

int SimMemory::pendingEvents() const
{
    return int(m_events.size());
}

void SimMemory::clearEvents()
{
    m_events.clear();
    m_eventDelivered = false;
}

QByteArray SimMemory::recordAt(const QByteArray& table, int size, int number)
{
    if (number < 0 || number >= PanelSimulator::TableRecords)
        return QByteArray();
    return table.mid(number * size, size);
}

void SimMemory::storeRecord(QByteArray& table, int size, int number, const QByteArray& record)
{
    if (number < 0 || number >= PanelSimulator::TableRecords)
        return;
    const QByteArray bytes = fitted(record, size);
    std::memcpy(table.data() + number * size, bytes.constData(), size_t(size));
}

} // namespace panelsim
