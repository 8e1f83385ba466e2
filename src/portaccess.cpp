#include "portaccess.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

QVector<uint> PortAccess::processGroups()
{
    QVector<uint> groups{uint(getegid())};
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> supplementary(size_t(qMax(count, 0)));
    const int got = count > 0 ? getgroups(count, supplementary.data()) : 0;
    for (int i = 0; i < got; ++i)
        groups.append(uint(supplementary[size_t(i)]));
    return groups;
}

QString PortAccess::groupToJoin(const QString& path, const QVector<uint>& groups)
{
    struct stat device;
    if (stat(QFile::encodeName(path).constData(), &device) != 0)
        return {};
    if ((device.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {};
    if (groups.contains(uint(device.st_gid)))
        return {};
    group entry;
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (getgrgid_r(device.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(device.st_gid);
}

QString PortAccess::groupToJoin(QSerialPort::SerialPortError error, const QString& path)
{
    if (error != QSerialPort::PermissionError)
        return {};
    // Root and the group's members may open the device; then another program holds the port.
    if (faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | W_OK, AT_EACCESS) == 0)
        return {};
    return groupToJoin(path, processGroups());
}

QString PortAccess::openFailureText(const QString& location, QSerialPort::SerialPortError error,
                                    const QString& errorString)
{
    QString message =
        QCoreApplication::translate("QZelKorWindow", "Не удалось открыть порт %1.\r\nОшибка: %2")
            .arg(location, errorString);
    const QString group = groupToJoin(error, location);
    if (!group.isEmpty())
        message += QCoreApplication::translate(
                       "QZelKorWindow",
                       "\r\nДобавьте пользователя в группу '%1' и войдите в систему заново.")
                       .arg(group);
    return message;
}
