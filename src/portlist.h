#pragma once

#include <QList>
#include <QString>

struct SerialPortEntry
{
    QString name;     // shown in the port list
    QString location; // the device path the worker opens
};

// The serial ports of the system, followed by every device path named in the environment
// variable OSTROVEL_EXTRA_PORTS (colon-separated): the system does not list pseudo-terminals
// or bridges to network serial converters.
QList<SerialPortEntry> availableSerialPorts();
