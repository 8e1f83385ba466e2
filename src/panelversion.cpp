#include "panelversion.h"

#include "firmwareimage.h"
#include "protocol.h"

#include <QCoreApplication>

QString PanelVersion::typeText() const
{
    if (deviceType == Firmware::ZelKorType)
        return QCoreApplication::translate("QPanelVersion", "ZEL-KOR");
    return QCoreApplication::translate("QPanelVersion", "Неизвестный тип устройства '%1'")
        .arg(deviceType);
}

QString PanelVersion::versionText() const
{
    if (!hasVersion)
        return QStringLiteral("?");
    if (isBootMode())
        return QCoreApplication::translate("QPanelVersion", "Режим загрузки прошивки.");
    return QStringLiteral("%1.%2").arg(major).arg(minor);
}

PanelVersion decodePanelVersion(const QByteArray& answer)
{
    PanelVersion version;
    version.deviceType = quint8(answer.at(Protocol::OffsetParameter));
    // An answer without both version bytes leaves the version unknown.
    version.hasVersion = answer.size() >= Protocol::OffsetData + 2;
    if (version.hasVersion) {
        version.major = quint8(answer.at(Protocol::OffsetData));
        version.minor = quint8(answer.at(Protocol::OffsetData + 1));
    }
    return version;
}
