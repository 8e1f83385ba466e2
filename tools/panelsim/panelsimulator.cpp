#include "panelsimulator.h"

#include "simcommands.h"
#include "simfaults.h"
#include "simframe.h"
#include "simline.h"
#include "simlog.h"
#include "simmemory.h"
#include "simpty.h"

#include <algorithm>
#include <atomic>
#include <mutex>

using namespace panelsim;

struct PanelSimulator::Private
{
    Private();
    SimLine::Answer respond(const QByteArray& frame, qint64 now);

    // The panel lock guards the memory and the faults.
    mutable std::mutex mutex;
    SimMemory memory;
    SimFaults faults;
    SimLog log;
    SimLine line;
    SimPty pty;
    // Held by start(), stop(), unplug() and replug() throughout, so that they never interleave.
    std::mutex lifecycle;
    std::atomic<bool> running{false};
};

PanelSimulator::Private::Private()
    : line(log, [this](const QByteArray& frame, qint64 now) { return respond(frame, now); })
    , pty(line)
{}

SimLine::Answer PanelSimulator::Private::respond(const QByteArray& frame, qint64 now)
{
    const quint8 command = byteAt(frame, 1);
    const quint8 parameter = byteAt(frame, 3);
    const QByteArray data = frame.mid(HeaderSize, byteAt(frame, 4));
    log.countRequest(command);
    std::lock_guard<std::mutex> lock(mutex);
    const std::optional<Fault> fault = faults.take(command);
    if (fault && fault->kind == FaultKind::Silence)
        return SimLine::Answer();
    if (fault && fault->kind == FaultKind::ResultCode)
        return SimLine::Answer{encodeAnswer(command, failure(quint8(fault->value))), 0};
    const Reply reply = executeCommand(memory, command, parameter, data, now);
    const int delay = fault && fault->kind == FaultKind::Delay ? fault->value : 0;
    return SimLine::Answer{damaged(encodeAnswer(command, reply), fault), reply.delayMs + delay};
}

PanelSimulator::PanelSimulator()
    : d(std::make_unique<Private>())
{}

PanelSimulator::~PanelSimulator()
{
    stop();
}

bool PanelSimulator::start(QString* error)
{
    std::lock_guard<std::mutex> lock(d->lifecycle);
    if (d->running)
        return true;
    d->log.setStart(steadyNs());
    const bool opened = d->pty.open(error);
    d->running = opened;
    return opened;
}

void PanelSimulator::stop()
{
    std::lock_guard<std::mutex> lock(d->lifecycle);
    d->pty.close();
    d->running = false;
}

bool PanelSimulator::isRunning() const
{
    return d->running;
}

QString PanelSimulator::slavePath() const
{
    return d->pty.slavePath();
}

bool PanelSimulator::setLinkPath(const QString& path, QString* error)
{
    return d->pty.setLinkPath(path, error);
}

void PanelSimulator::unplug()
{
    std::lock_guard<std::mutex> lock(d->lifecycle);
    d->pty.close();
}

bool PanelSimulator::replug(QString* error)
{
    std::lock_guard<std::mutex> lock(d->lifecycle);
    if (!d->running) {
        if (error)
            *error = QStringLiteral("the simulator is not running");
        return false;
    }
    return d->pty.open(error);
}

bool PanelSimulator::isPlugged() const
{
    return d->pty.isOpen();
}

QByteArray PanelSimulator::exchange(const QByteArray& request)
{
    const qint64 now = steadyNs();
    d->log.add(now, request);
    d->log.countBytes(request.size());
    if (request.size() < HeaderSize)
        return QByteArray();
    const quint8 command = byteAt(request, 1);
    if (!goodHeader(request))
        return encodeAnswer(command, failure(ResHeaderCrc));
    const int n = byteAt(request, 4);
    if (n > 0 && (request.size() < HeaderSize + n + 1 ||
                  crc8(request.constData() + HeaderSize, n) != byteAt(request, HeaderSize + n)))
        return encodeAnswer(command, failure(ResDataCrc));
    return d->respond(request.left(frameSize(request)), now).bytes;
}

void PanelSimulator::setLinePacing(bool on)
{
    d->line.setPacing(on);
}

void PanelSimulator::setTraceHandler(TraceHandler handler)
{
    d->log.setTraceHandler(std::move(handler));
}

void PanelSimulator::injectFault(int command, FaultKind kind, int value, int count)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->faults.inject(command, kind, value, count);
}

void PanelSimulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->faults.clear();
}

void PanelSimulator::queueEvent(const Event& event)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->memory.queueEvent(event.key, event.flags, event.code, steadyNs());
}

void PanelSimulator::queueKey(quint32 key, quint8 flags, quint8 code)
{
    queueEvent(Event{key, flags, code});
}

void PanelSimulator::queueButton()
{
    queueEvent(Event{0, 0, EventButtonOrKey});
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
    return d->memory.pendingEvents();
}

void PanelSimulator::clearEvents()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->memory.clearEvents();
}

quint8 PanelSimulator::status() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->memory.currentStatus(steadyNs());
}

void PanelSimulator::setStatus(quint8 status)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->memory.setStatus(status);
}

void PanelSimulator::setControlHoldMs(int ms)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->memory.controlHoldMs = std::max(0, ms);
}

void PanelSimulator::setClearDurationMs(int ms)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->memory.clearDurationMs = std::max(0, ms);
}

void PanelSimulator::setVersion(quint8 deviceType, quint8 major, quint8 minor)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->memory.deviceType = deviceType;
    d->memory.major = major;
    d->memory.minor = minor;
}

bool PanelSimulator::bootMode() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->memory.boot;
}

void PanelSimulator::setBootMode(bool on)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->memory.boot = on;
}

QByteArray PanelSimulator::settings() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->memory.settings;
}

void PanelSimulator::setSettings(const QByteArray& record)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->memory.settings = fitted(record, SettingsSize);
}

QByteArray PanelSimulator::apartmentRecord(int number) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return SimMemory::recordAt(d->memory.apartments, ApartmentSize, number);
}

QByteArray PanelSimulator::phoneRecord(int number) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return SimMemory::recordAt(d->memory.phones, PhoneSize, number);
}

QByteArray PanelSimulator::keyRecord(int index) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return SimMemory::recordAt(d->memory.keys, KeySize, index);
}

void PanelSimulator::setApartmentRecord(int number, const QByteArray& record)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    SimMemory::storeRecord(d->memory.apartments, ApartmentSize, number, record);
}

void PanelSimulator::setPhoneRecord(int number, const QByteArray& record)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    SimMemory::storeRecord(d->memory.phones, PhoneSize, number, record);
}

void PanelSimulator::setKeyRecord(int index, const QByteArray& record)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    SimMemory::storeRecord(d->memory.keys, KeySize, index, record);
}

QByteArray PanelSimulator::firmware() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->memory.firmware;
}

void PanelSimulator::setFirmware(const QByteArray& image)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->memory.firmware = fitted(image, FirmwareSize);
}

void PanelSimulator::damageFirmwareBlock(int block)
{
    if (block < 0 || block >= FirmwareSize / FirmwareBlock)
        return;
    std::lock_guard<std::mutex> lock(d->mutex);
    const int offset = block * FirmwareBlock;
    d->memory.firmware[offset] = char(~d->memory.firmware.at(offset));
}

PanelSimulator::LineSettings PanelSimulator::lineSettings() const
{
    return d->pty.lineSettings();
}

QList<PanelSimulator::Frame> PanelSimulator::frames() const
{
    return d->log.frames(AnyCommand);
}

QList<PanelSimulator::Frame> PanelSimulator::frames(int command) const
{
    return d->log.frames(command);
}

int PanelSimulator::requestCount(int command) const
{
    return d->log.requestCount(command);
}

qint64 PanelSimulator::bytesReceived() const
{
    return d->log.bytesReceived();
}

void PanelSimulator::clearLog()
{
    d->log.clear();
}
