#pragma once

#include <QByteArray>
#include <QFile>

// A memory figure of this process from /proc/self/status, in KiB: "VmRSS:" for the resident
// size now, "VmHWM:" for its peak.
inline double processMemoryKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toDouble();
    return 0;
}
