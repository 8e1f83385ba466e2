#include "portlist.h"

#include <QDir>
#include <QFileInfo>

#include <QSerialPortInfo>

#include <algorithm>

namespace {

std::function<QList<SerialPortEntry>()>& systemPortsReplacement()
{
    static std::function<QList<SerialPortEntry>()> replacement;
    return replacement;
}

} // namespace

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports;
    if (systemPortsReplacement()) {
        ports = systemPortsReplacement()();
    } else {
        const auto infos = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo& info : infos)
            ports.append({info.portName(), info.systemLocation()});
    }
    const QString extra = qEnvironmentVariable("OSTROVEL_EXTRA_PORTS");
    const QStringList paths = extra.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& path : paths)
        ports.append({path, path});
    const QString startup = startupPort();
    const bool listed = std::any_of(ports.cbegin(), ports.cend(), [&startup](const auto& port) {
        return port.name == startup || port.location == startup;
    });
    if (!startup.isEmpty() && !listed)
        ports.append({startup, startup});
    return ports;
}

QString startupPort()
{
    return qEnvironmentVariable("OSTROVEL_CONNECT_PORT");
}

void replaceSystemSerialPorts(std::function<QList<SerialPortEntry>()> ports)
{
    systemPortsReplacement() = std::move(ports);
}

namespace {

QString& stablePortFolder()
{
    static QString folder;
    return folder;
}

} // namespace

void replaceStablePortFolder(const QString& folder)
{
    stablePortFolder() = folder;
}

QString stablePortPath(const QString& location)
{
    const QString folder =
        stablePortFolder().isEmpty() ? QStringLiteral("/dev/serial/by-id") : stablePortFolder();
    const QFileInfo port(location);
    if (port.isSymLink())
        return location;
    const QString device = port.canonicalFilePath();
    if (device.isEmpty())
        return location;
    const QFileInfoList names =
        QDir(folder).entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& name : names)
        if (name.isSymLink() && name.canonicalFilePath() == device)
            return name.absoluteFilePath();
    return location;
}
