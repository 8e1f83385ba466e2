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
// or bridges to network serial converters. The start-up port follows when no port listed so
// far has its name or location.
QList<SerialPortEntry> availableSerialPorts();

// A name of the port at location that survives the adapter being pulled out and plugged in
// again, for opening it again: location itself when it is a symbolic link already (as the
// simulator's --link), else a symbolic link in /dev/serial/by-id that leads to the same device
// (udev keeps such names for USB adapters), else location.
QString stablePortPath(const QString& location);

// The port the program connects to at start-up, named (by port name or device path) in the
// environment variable OSTROVEL_CONNECT_PORT; empty when none is.
QString startupPort();

// Test hook: lists these ports in place of the system's (the extra ports still follow), so
// that a port whose name differs from its location can be offered. An empty function brings
// the system's list back.
void replaceSystemSerialPorts(std::function<QList<SerialPortEntry>()> ports);
// Test hook: stable names are looked for in folder instead of /dev/serial/by-id; an empty
// folder brings that back.
void replaceStablePortFolder(const QString& folder);
