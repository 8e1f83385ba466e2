#pragma once

#include <QByteArray>

#include <array>
#include <deque>

// What the panel keeps while it has power: settings, the three tables, the firmware image,
// the version it reports, boot mode, the device status and the queue of stored events.
// Not thread-safe: the simulator guards it with its panel lock.
namespace panelsim {

constexpr int ApartmentSize = 4;
constexpr int PhoneSize = 6;
constexpr int KeySize = 5;

class SimMemory
{
public:
    SimMemory();

    // The status byte as it is now: a timed opening or pulse falls back by itself, applied
    // whenever the status is read.
    quint8 currentStatus(qint64 now);
    void setStatus(quint8 status);
    // Sets one device (0 lock, 1 additional device) to `mode`; mode 2 falls back after the hold.
    void setDeviceMode(int device, int mode, qint64 now);

    // A 6-byte record whose status byte is the status at `now`.
    void queueEvent(quint32 key, quint8 flags, quint8 code, qint64 now);
    // The answer data of a poll: the oldest record, or the status byte when none is stored.
    // With `acknowledge` the record the previous poll delivered is removed first.
    QByteArray pollEvent(bool acknowledge, qint64 now);
    int pendingEvents() const;
    void clearEvents();

    // One record of a table, numbers 0 to TableRecords - 1; outside that an empty array.
    static QByteArray recordAt(const QByteArray& table, int size, int number);
    // Stores a record padded with 0xFF or cut to `size`; numbers outside the table are ignored.
    static void storeRecord(QByteArray& table, int size, int number, const QByteArray& record);

    QByteArray settings;
    QByteArray apartments;
    QByteArray phones;
    QByteArray keys;
    QByteArray firmware;
    quint8 deviceType = 9;
    quint8 major = 2;
    quint8 minor = 6;
    bool boot = false;
    int controlHoldMs = 3000;
    int clearDurationMs = 0;

private:
    std::deque<QByteArray> m_events;
    bool m_eventDelivered = false;
    quint8 m_status = 0x11;
    std::array<qint64, 2> m_fallBackNs{{-1, -1}};
};

// `bytes` padded with 0xFF or cut to `size`.
QByteArray fitted(QByteArray bytes, int size);

} // namespace panelsim
