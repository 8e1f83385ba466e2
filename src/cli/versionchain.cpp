#include "versionchain.h"

#include "protocol.h"

void VersionChain::start()
{
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
    m_type = quint8(data.at(Protocol::OffsetParameter));
    m_hasVersion = data.size() >= Protocol::OffsetData + 2;
    if (m_hasVersion) {
        m_major = quint8(data.at(Protocol::OffsetData));
        m_minor = quint8(data.at(Protocol::OffsetData + 1));
    }
    finish(true);
}
