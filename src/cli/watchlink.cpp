#include "watchlink.h"

#include "console.h"
#include "journalrecorder.h"
#include "portaccess.h"

#include <QCoreApplication>

#include <algorithm>

using Console::tr;

WatchLink::WatchLink(const QString& port, JournalRecorder* recorder)
    : m_port(port)
    , m_recorder(recorder)
{
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &WatchLink::reopen);
    connect(&m_thread, &QSerialPortThread::errorEvent, this, &WatchLink::onError);
    recorder->attach(&m_thread);
}

WatchLink::~WatchLink()
{
    close();
}

bool WatchLink::start(QString* error)
{
    QSerialPort::SerialPortError code = QSerialPort::NoError;
    QString text;
    if (!m_thread.start(m_port, code, text)) {
        *error = PortAccess::openFailureText(m_port, code, text);
        return false;
    }
    m_recorder->linkStarted(m_port);
    return true;
}

bool WatchLink::open(QString* error)
{
    return start(error);
}

void WatchLink::close()
{
    m_pause.stop();
    m_thread.stop();
    // The answers the worker sent before it stopped, and its end, reach the recorder.
    QCoreApplication::sendPostedEvents(&m_thread, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(m_recorder, QEvent::MetaCall);
}

void WatchLink::onError(QSerialPortError error, const QString& errorString)
{
    if (error == NoError) {
        if (m_lost)
            Console::message(tr("Связь с панелью восстановлена (%1).").arg(m_port));
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
        Console::message(
            tr("Нет связи с панелью (%1): %2 Порт будет открыт заново.").arg(m_port, errorString));
    m_lost = true;
    m_failures = 0;
    // A port whose adapter was unplugged stays dead even when the adapter is back.
    m_thread.stop();
    m_pause.start(m_pauseS * 1000);
    m_pauseS = std::min(m_pauseS * 2, LongestPauseS);
}

void WatchLink::reopen()
{
    QString error;
    if (start(&error))
        return;
    Console::message(tr("%1\r\nСледующая попытка через %2 с.").arg(error).arg(m_pauseS));
    m_pause.start(m_pauseS * 1000);
    m_pauseS = std::min(m_pauseS * 2, LongestPauseS);
}
