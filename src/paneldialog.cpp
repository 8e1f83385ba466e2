#include "paneldialog.h"

#include "panelchain.h"
#include "qserialportthread.h"
#include "requesterwiring.h"

#include <QCloseEvent>
#include <QMessageBox>

PanelDialog::PanelDialog(QWidget* parent, QSerialPortThread* worker)
    : QDialog(parent)
    , m_worker(worker)
{
    if (m_worker)
        connectRequester(this, m_worker);
}

bool PanelDialog::hasLink() const
{
    return !m_worker || m_worker->isRunning();
}

bool PanelDialog::requireLink()
{
    if (hasLink())
        return true;
    QMessageBox::critical(this, windowTitle(), tr("Требуется подключение к панели."));
    return false;
}

void PanelDialog::attach(PanelChain* chain)
{
    connect(chain, &PanelChain::startEvents, this, &PanelDialog::startEvents);
    connect(chain, &PanelChain::cancel, this, &PanelDialog::cancel);
    connect(chain, &PanelChain::sendPacket, this, &PanelDialog::sendPacket);
    if (m_worker)
        connect(m_worker, &QThread::finished, chain, &PanelChain::onLinkClosed);
}

void PanelDialog::leave()
{
    QDialog::reject();
}

bool PanelDialog::leaveIfAsked()
{
    if (!m_closeRequested)
        return false;
    m_closeRequested = false;
    leave();
    return true;
}

void PanelDialog::askToClose()
{
    m_closeRequested = true;
    requestClose();
}

void PanelDialog::reject()
{
    if (isBusy()) {
        askToClose();
        return;
    }
    leave();
}

void PanelDialog::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        askToClose();
        return;
    }
    QDialog::closeEvent(event);
}
