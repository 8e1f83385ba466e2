#include "portlist.h"

#include <QSerialPortInfo>

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos)
        ports.append({info.portName(), info.systemLocation()});
    const QString extra = qEnvironmentVariable("OSTROVEL_EXTRA_PORTS");
    const QStringList paths = extra.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& path : paths)
        ports.append({path, path});
    return ports;
}
