#include "lockstate.h"

#include <QCoreApplication>

namespace {

QString translate(const char* text)
{
    return QCoreApplication::translate("QZelKorWindow", text);
}

} // namespace

ControlView lockView(quint8 status)
{
    ControlView view{translate("Открыть"), false, translate("Разблокировать"), false,
                     QStringLiteral("?")};
    switch (status & 7) {
    case ModeTimed:
        view.timedText = translate("Закрыть");
        view.timedChecked = true;
        view.state = translate("Открывание");
        break;
    case ModeHold:
        view.holdText = translate("Закрыть");
        view.holdChecked = true;
        view.state = translate("Разблокировка");
        break;
    case ModeIdle:
        view.state = translate("Ожидание");
        break;
    }
    return view;
}

ControlView deviceView(quint8 status)
{
    ControlView view{translate("Импульс"), false, translate("Включить"), false,
                     QStringLiteral("?")};
    switch ((status >> 4) & 7) {
    case ModeTimed:
        view.timedText = translate("Выключить");
        view.timedChecked = true;
        view.state = translate("Импульс");
        break;
    case ModeHold:
        view.holdText = translate("Выключить");
        view.holdChecked = true;
        view.state = translate("Включено");
        break;
    case ModeIdle:
        view.state = translate("Выключено");
        break;
    }
    return view;
}

quint8 controlParameter(ControlledDevice device, ControlMode mode)
{
    return quint8(int(device) << 7 | mode);
}
