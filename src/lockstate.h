#pragma once

#include <QString>
#include <QtGlobal>

// What the lock or the additional-device group of the connection strip shows for a device
// status byte (lock state in bits 0-2, device state in bits 4-6: 1 idle/off, 2 timed
// opening/pulse, 4 unblocked/on).
struct ControlView
{
    QString timedText; // the button for a timed action (open / pulse)
    bool timedChecked = false;
    QString holdText; // the button for a held action (unblock / switch on)
    bool holdChecked = false;
    QString state; // the state label
};

ControlView lockView(quint8 status);
ControlView deviceView(quint8 status);

enum class ControlledDevice { Lock = 0, Additional = 1 };
enum ControlMode : quint8 { ModeIdle = 1, ModeTimed = 2, ModeHold = 4 };

// The parameter byte of the control command.
quint8 controlParameter(ControlledDevice device, ControlMode mode);
