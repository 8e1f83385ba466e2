#pragma once

#include <QSerialPort>
#include <QString>
#include <QVector>

// Why a serial port refuses to open for lack of permission: its device file belongs to a group
// (commonly "dialout") that the user has not joined, or joined after logging in.
namespace PortAccess {

// The groups this process runs with: its effective group and its supplementary groups. A user
// added to a group gets it only with a new login, so these count, not the group database.
QVector<uint> processGroups();

// The name (or, without one, the number) of the group owning the device file at path, when its
// members may read and write the file and none of groups is that group; else empty.
QString groupToJoin(const QString& path, const QVector<uint>& groups);

// The group this process must join to open the port at path after the open failed with error;
// empty for other errors, and when the process may read and write the device already (the
// port was busy, not forbidden).
QString groupToJoin(QSerialPort::SerialPortError error, const QString& path);

// What the user is told when the port at location did not open with error: the port and the
// error text, and the group to join when permission is missing.
QString openFailureText(const QString& location, QSerialPort::SerialPortError error,
                        const QString& errorString);

} // namespace PortAccess
