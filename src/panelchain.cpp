#include "panelchain.h"

#include "protocol.h"
#include "qprotocolerrors.h"

QString answerFailure(QSerialPortError error, const QString& errorString, const QByteArray& data)
{
    if (error != QSerialPortError::NoError)
        return errorString;
    if (data.size() <= Protocol::OffsetResult)
        return linkErrorText(QSerialPortError::Timeout, data.size(), Protocol::HeaderSize);
    const quint8 result = quint8(data.at(Protocol::OffsetResult));
    return result == 0 ? QString() : QProtocolErrors::text(result);
}

PanelChain::PanelChain(QObject* parent)
    : QObject(parent)
{}

PanelChain::~PanelChain()
{
    if (!m_running)
        return;
    // The owner went away midway: the answer in flight has nobody to go to.
    if (m_waiting)
        emit cancel();
    emit startEvents(true);
}

void PanelChain::stop()
{
    if (m_waiting)
        emit cancel();
}

void PanelChain::onLinkClosed()
{
    if (!m_waiting)
        return;
    m_waiting = false;
    finish(false, m_stage, linkErrorText(QSerialPortError::ClosedByUser));
}

void PanelChain::begin()
{
    m_running = true;
    emit startEvents(false);
}

bool PanelChain::answered(QSerialPortError error, const QString& errorString,
                          const QByteArray& data)
{
    if (!m_waiting)
        return false;
    m_waiting = false;
    const QString failure = answerFailure(error, errorString, data);
    if (failure.isEmpty())
        return true;
    finish(false, m_stage, failure);
    return false;
}

void PanelChain::finish(bool ok, int stage, const QString& message)
{
    m_running = false;
    emit startEvents(true);
    emit finished(ok, stage, message);
}
