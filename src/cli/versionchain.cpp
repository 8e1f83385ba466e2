#include "versionchain.h"

#include "protocol.h"

void VersionChain::start()
{
    m_version = PanelVersion();
    begin();
    send(0, Protocol::ReadVersion, {}, &VersionChain::onHandleEvent);
}

QString VersionChain::stageTitle(int) const
{
    return tr("Запрос версии панели");
}

void VersionChain::onHandleEvent(QSerialPortError error, QString errorString, QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    m_version = decodePanelVersion(data);
    finish(true);
}
