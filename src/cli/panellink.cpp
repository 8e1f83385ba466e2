#include "panellink.h"

#include "panelchain.h"
#include "portaccess.h"
#include "requesterwiring.h"

PanelLink::~PanelLink()
{
    close();
}

bool PanelLink::open(const QString& port, QString* error)
{
    QSerialPort::SerialPortError code = QSerialPort::NoError;
    QString text;
    if (!m_thread.start(port, code, text)) {
        *error = PortAccess::openFailureText(port, code, text);
        return false;
    }
    // The worker polls only after its first interval: nothing has been polled yet.
    emit m_thread.startEvents(false);
    return true;
}

void PanelLink::attach(PanelChain* chain)
{
    connectRequester(chain, &m_thread);
    QObject::connect(&m_thread, &QThread::finished, chain, &PanelChain::onLinkClosed);
}

void PanelLink::close()
{
    m_thread.stop();
}
