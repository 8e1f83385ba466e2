#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// Plays a ZEL-KOR entrance panel on a pseudo-terminal: the program under test opens
// slavePath() like a serial port. The simulator keeps the panel's memory, answers every
// command of the panel protocol from its own service thread, and lets tests script faults
// and events and read back what it received.
//
// It deliberately shares no code with the program: it is a second reading of the protocol.
// All public members are thread-safe.
//
// Framing. A pty carries no parity bit, so the marked address byte cannot be seen. A frame
// starts with the first byte after silence or after the previous frame; a fragment followed
// by more than 250 ms of silence is dropped unanswered (senders pause a few ms between
// byte 0 and the rest). A header with a bad CRC is answered with result 0x01 at once, and the
// bytes that follow it within 5 ms are taken as the rest of that frame and dropped. A data
// block with a bad CRC is answered with result 0x02. A request that starts while a delayed or
// paced answer is still pending cuts that answer off: the panel serves one request at a time.
// When the simulator itself was held up for longer than that gap (its process stopped, say),
// the silences between the bytes that piled up are unknown, and the sender has given up on all
// but its newest request: that one alone is served, found by its address byte 0 and header CRC;
// what came before it is logged as one dropped fragment and not counted as requests.
//
// Faults. Silence and ResultCode leave the panel untouched: the request never took effect.
// BadHeaderCrc, BadDataCrc, CutAnswer, Delay and Noise apply the request and only damage or hold
// back its answer, as a panel whose answer was lost on the line would. So a poll with 0xFF whose
// answer is damaged has acknowledged one record and delivered the next; the sender's retry
// of the same poll then acknowledges that one too.
//
// Boot mode. The firmware loader knows only boot mode (0x00), version (0x40, version 0.0)
// and the firmware blocks (0x3F, 0x7F); everything else is answered 0xFF. The normal
// firmware answers 0x3F with 0xFF too. The version answer comes from setVersion(), not from
// the trailer of the firmware image.
class PanelSimulator
{
public:
    static constexpr int TableRecords = 25000;
    static constexpr int FirmwareSize = 57344;
    static constexpr int FirmwareBlock = 64;
    static constexpr int SettingsSize = 36;

    // Any command code, for faults and counters.
    static constexpr int AnyCommand = -1;

    enum class FaultKind {
        Silence,      // no answer at all
        BadHeaderCrc, // answer whose header CRC byte is wrong
        BadDataCrc,   // wrong data CRC; a data-less answer gains one data byte to carry it
        CutAnswer,    // only the first `value` bytes of the answer
        ResultCode,   // header-only answer carrying result code `value`
        Delay,        // the normal answer, sent `value` milliseconds late
        ShortData,    // a well-formed answer with only its first `value` data bytes; the
                      // request took effect
        Noise,        // the normal answer followed by `value` bytes of line noise
    };

    struct Frame
    {
        qint64 microseconds = 0; // receive time of the first byte, steady clock, since start()
        QByteArray bytes;        // the request frame as received (header and data block)
    };

    struct Event
    {
        quint32 key = 0;    // 24-bit key code, or the control byte in bits 0-7 for 0x26/0x27
        quint8 flags = 0;   // bit 1 additional reader, bit 2 key emulation
        quint8 code = 0x00; // event code
    };

    // Called from the service thread, without any lock held, with every frame received
    // (incoming, also fragments and bad frames) and every answer about to be sent.
    using TraceHandler = std::function<void(bool incoming, const QByteArray& bytes)>;

    PanelSimulator();
    ~PanelSimulator();
    PanelSimulator(const PanelSimulator&) = delete;
    PanelSimulator& operator=(const PanelSimulator&) = delete;

    // Opens the pseudo-terminal and starts serving. False with a reason on failure.
    bool start(QString* error = nullptr);
    void stop();
    bool isRunning() const;    // from start() to stop(), also while unplugged
    QString slavePath() const; // empty while unplugged or stopped

    // A stable name for the port, as /dev/serial/by-id/ gives an adapter: a symbolic link at
    // `path` that points to the current slave while the port is plugged in and is removed
    // while it is not. An empty path removes the link. False with a reason when something
    // other than a symbolic link is in the way or the link cannot be made.
    bool setLinkPath(const QString& path, QString* error = nullptr);
    // The adapter pulled out: the pseudo-terminal is closed under the program's open port,
    // which sees a hang-up, the link is removed, and nothing is answered. The panel keeps
    // its memory and goes on storing events.
    void unplug();
    // Plugged in again: a new pseudo-terminal (its slave path may differ), the link points to
    // it, serving resumes. False with a reason on failure or when the simulator is stopped.
    bool replug(QString* error = nullptr);
    bool isPlugged() const;

    // Line-rate pacing: answers leave at 57600 baud with 11 bits a byte, and an answer starts
    // no earlier than a real line would have delivered the request's last byte: each byte takes
    // its character time from the moment it was written or the previous byte was through,
    // whichever is later, so a pause between byte 0 and the rest counts too.
    void setLinePacing(bool on);
    // Answers one request frame at once, without the line, so that tests can run chains of
    // thousands of requests quickly. The request is logged and counted like one received on
    // the line and faults apply, except Delay; an unanswered request (Silence, a fragment)
    // gives an empty answer. Works whether or not the simulator has been started.
    QByteArray exchange(const QByteArray& request);
    void setTraceHandler(TraceHandler handler);

    // Faults apply to the next `count` requests of `command` (AnyCommand for every command);
    // faults queued for one command are used up in order.
    void injectFault(int command, FaultKind kind, int value = 0, int count = 1);
    void clearFaults();

    // Events. The record's status byte is the device status at the moment the event is queued.
    void queueEvent(const Event& event);
    void queueKey(quint32 key, quint8 flags = 0, quint8 code = 0x00);
    void queueButton();                  // event 0x00 without a key
    void queueFireAlarm(bool unblocked); // 0x13 when true, 0x14 when false
    void queuePowerOn();                 // 0x0D
    int pendingEvents() const;           // records not yet acknowledged
    void clearEvents();

    // Device state and memory. Records are padded with 0xFF or cut to their size; numbers
    // outside the tables are ignored by the setters and give an empty array from the getters.
    quint8 status() const;         // lock state in bits 0-2, device state in bits 4-6
    void setStatus(quint8 status); // also cancels a pending fall back of a timed opening
    void setControlHoldMs(int ms); // timed opening / pulse fall back after this time (default 3000)
    void setClearDurationMs(int ms); // time the clear command takes before answering (default 0)
    void setVersion(quint8 deviceType, quint8 major, quint8 minor); // default 9, 2, 6
    bool bootMode() const;
    void setBootMode(bool on);
    QByteArray settings() const; // 36 bytes
    void setSettings(const QByteArray& record);
    QByteArray apartmentRecord(int number) const; // 4 bytes
    QByteArray phoneRecord(int number) const;     // 6 bytes
    QByteArray keyRecord(int index) const;        // 5 bytes
    void setApartmentRecord(int number, const QByteArray& record);
    void setPhoneRecord(int number, const QByteArray& record);
    void setKeyRecord(int index, const QByteArray& record);
    QByteArray firmware() const; // 57344 bytes
    void setFirmware(const QByteArray& image);
    // Inverts the first byte of a stored firmware block, as a failing memory cell would.
    void damageFirmwareBlock(int block);

    // The line as the program set up its side of the pseudo-terminal. The pty carries bytes
    // whatever the settings, so this is the only way to see them; some kernels keep 8 data
    // bits on a pty whatever is asked.
    struct LineSettings
    {
        int baudRate = 0; // in both directions; 0 when they differ, -1 for an unusual speed
        int dataBits = 0;
        int stopBits = 0;
        // 'M' mark, 'S' space, 'O' odd, 'E' even or 'N' none. Some kernels clear the flag
        // that switches parity on for a pty but keep its kind, so mark and space are read
        // from the kind alone.
        char parity = 'N';
        bool hardwareFlow = false; // RTS/CTS
        bool softwareFlow = false; // XON/XOFF
    };
    LineSettings lineSettings() const;

    // What the panel received. Frames are logged whether or not they were answered,
    // including requests with a bad CRC and dropped fragments; frames(command) selects them by
    // byte 1. requestCount() counts only requests whose CRCs were good (faulted ones too).
    // clearLog() resets the log and all counters.
    QList<Frame> frames() const;
    QList<Frame> frames(int command) const;
    int requestCount(int command = AnyCommand) const;
    qint64 bytesReceived() const;
    void clearLog();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
