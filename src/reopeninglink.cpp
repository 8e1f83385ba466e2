#include "reopeninglink.h"

#include "portaccess.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

ReopeningLink::ReopeningLink(const QString& port, QObject* parent)
    : ReopeningLink(new QSerialPortThread, parent)
{
    m_own.reset(m_worker);
    m_port = port;
}

ReopeningLink::ReopeningLink(QSerialPortThread* worker, QObject* parent)
    : QObject(parent)
    , m_worker(worker)
{
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &ReopeningLink::reopen);
    m_countdown.setInterval(1000);
    connect(&m_countdown, &QTimer::timeout, this, &ReopeningLink::showPause);
    connect(m_worker, &QSerialPortThread::errorEvent, this, &ReopeningLink::onError);
}

ReopeningLink::~ReopeningLink()
{
    // A worker of the caller's may already be gone.
    if (m_own)
        close();
}

bool ReopeningLink::start(QString* error)
{
    QSerialPort::SerialPortError code = QSerialPort::NoError;
    QString text;
    if (!m_worker->start(m_port, code, text)) {
        *error = PortAccess::openFailureText(m_port, code, text);
        return false;
    }
    emit started();
    return true;
}

bool ReopeningLink::open(QString* error)
{
    m_failures = 0;
    m_pauseS = 1;
    m_lost = false;
    m_worker->setLinkNote(QString());
    if (!start(error))
        return false;
    m_worker->setKeptOpen(true);
    return true;
}

bool ReopeningLink::open(const QString& port, QString* error)
{
    m_port = port;
    return open(error);
}

void ReopeningLink::close()
{
    m_pause.stop();
    m_countdown.stop();
    m_worker->setKeptOpen(false);
    m_worker->setLinkNote(QString());
    m_worker->stop();
    // The answers the worker sent before it stopped, and its end, reach their receivers.
    QCoreApplication::sendPostedEvents(m_worker, QEvent::MetaCall);
}

void ReopeningLink::onError(QSerialPortError error, const QString& errorString)
{
    if (error == NoError) {
        if (m_lost)
            emit restored();
        m_lost = false;
        m_failures = 0;
        m_pauseS = 1;
        m_worker->setLinkNote(QString());
        return;
    }
    if (error == ClosedByUser || error == CancelledByUser || m_pause.isActive())
        return;
    // A vanished device needs no second failure to be believed.
    if (++m_failures < FailuresBeforeReopen && error != PortGone)
        return;
    if (!m_lost)
        emit lost(errorString);
    m_lost = true;
    m_failures = 0;
    m_lostBecause = errorString;
    // A port whose adapter was unplugged stays dead even when the adapter is back.
    m_worker->stop();
    waitToReopen();
}

void ReopeningLink::reopen()
{
    m_countdown.stop();
    QString error;
    if (start(&error)) {
        m_worker->setLinkNote(tr("Порт %1 открыт заново, ожидание ответа панели.").arg(m_port));
        return;
    }
    emit reopenFailed(error, m_pauseS);
    waitToReopen();
}

void ReopeningLink::waitToReopen()
{
    m_pause.start(m_pauseS * 1000);
    m_countdown.start();
    m_pauseS = std::min(m_pauseS * 2, LongestPauseS);
    showPause();
}

void ReopeningLink::showPause()
{
    const int seconds = std::max(1, int(std::ceil(m_pause.remainingTime() / 1000.0)));
    // A port still there has a panel that does not answer; a vanished one, an adapter pulled.
    m_worker->setLinkNote(
        QFileInfo::exists(m_port)
            ? tr("Нет связи с панелью: %1 Повторное открытие порта %2 через %3 с.")
                  .arg(m_lostBecause, m_port)
                  .arg(seconds)
            : tr("Порт %1 недоступен, повторное открытие через %2 с").arg(m_port).arg(seconds));
}
