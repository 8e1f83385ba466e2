#pragma once

#include <QList>
#include <QString>

#include <functional>

struct SerialPortEntry
{
    QString name;     // shown in the port list
    QString location; // the device path the worker opens
};

// The serial ports of the system, followed by every device path named in the environment
// variable OSTROVEL_EXTRA_PORTS (colon-separated): the system does not list pseudo-terminals
// or bridges to network serial converters.
QList<SerialPortEntry> availableSerialPorts();

// Test hook: lists these ports in place of the system's (the extra ports still follow), so
// that a port whose name differs from its location can be offered. An empty function brings
// the system's list back.
void replaceSystemSerialPorts(std::function<QList<SerialPortEntry>()> ports);
