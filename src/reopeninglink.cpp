#include "reopeninglink.h"

#include "portaccess.h"

#include <QCoreApplication>

#include <algorithm>

ReopeningLink::ReopeningLink(const QString& port, QObject* parent)
    : QObject(parent)
    , m_port(port)
{
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &ReopeningLink::reopen);
    connect(&m_worker, &QSerialPortThread::errorEvent, this, &ReopeningLink::onError);
}

ReopeningLink::~ReopeningLink()
{
    close();
}

bool ReopeningLink::start(QString* error)
{
    QSerialPort::SerialPortError code = QSerialPort::NoError;
    QString text;
    if (!m_worker.start(m_port, code, text)) {
        *error = PortAccess::openFailureText(m_port, code, text);
        return false;
    }
    emit started();
    return true;
}

bool ReopeningLink::open(QString* error)
{
    return start(error);
}

void ReopeningLink::close()
{
    m_pause.stop();
    m_worker.stop();
    // The answers the worker sent before it stopped, and its end, reach their receivers.
    QCoreApplication::sendPostedEvents(&m_worker, QEvent::MetaCall);
}

void ReopeningLink::onError(QSerialPortError error, const QString& errorString)
{
    if (error == NoError) {
        if (m_lost)
            emit restored();
        m_lost = false;
        m_failures = 0;
        m_pauseS = 1;
        return;
    }
    if (error == ClosedByUser || error == CancelledByUser || m_pause.isActive())
        return;
    if (++m_failures < FailuresBeforeReopen)
        return;
    if (!m_lost)
        emit lost(errorString);
    m_lost = true;
    m_failures = 0;
    // A port whose adapter was unplugged stays dead even when the adapter is back.
    m_worker.stop();
    m_pause.start(m_pauseS * 1000);
    m_pauseS = std::min(m_pauseS * 2, LongestPauseS);
}

void ReopeningLink::reopen()
{
    QString error;
    if (start(&error))
        return;
    emit reopenFailed(error, m_pauseS);
    m_pause.start(m_pauseS * 1000);
    m_pauseS = std::min(m_pauseS * 2, LongestPauseS);
}
