#include "paneldialog.h"

#include "panelchain.h"
#include "qserialportthread.h"
#include "requesterwiring.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>

#include <utility>

PanelDialog::PanelDialog(QWidget* parent, QSerialPortThread* worker)
    : QDialog(parent)
    , m_worker(worker)
{
    if (!m_worker)
        return;
    connectRequester(this, m_worker);
    connect(m_worker, &QSerialPortThread::linkNoteChanged, this, &PanelDialog::showLinkNote);
    connect(m_worker, &QSerialPortThread::errorEvent, this, &PanelDialog::onLinkAnswer);
}

bool PanelDialog::event(QEvent* event)
{
    // Below the form's own rows, made once the form is complete.
    if (event->type() == QEvent::Show && !m_linkNote) {
        m_linkNote = new QLabel(this);
        m_linkNote->setObjectName(QStringLiteral("lLinkNote"));
        m_linkNote->setWordWrap(true);
        m_linkNote->setStyleSheet(QStringLiteral("color: #b00000;"));
        m_linkNote->hide();
        if (auto* rows = qobject_cast<QBoxLayout*>(layout()))
            rows->addWidget(m_linkNote);
        showLinkNote();
    }
    return QDialog::event(event);
}

void PanelDialog::showLinkNote()
{
    if (!m_linkNote)
        return;
    const QString note = m_awaited ? tr("Ожидание связи с панелью…") +
                                         (m_worker->linkNote().isEmpty()
                                              ? QString()
                                              : QStringLiteral("\n") + m_worker->linkNote())
                         : m_worker ? m_worker->linkNote()
                                    : QString();
    m_linkNote->setText(note);
    m_linkNote->setVisible(!note.isEmpty());
}

bool PanelDialog::refusesToOpen(QWidget* parent)
{
    const QString refused = refusal();
    if (refused.isEmpty())
        return false;
    QMessageBox::critical(parent, windowTitle(), refused);
    return true;
}

bool PanelDialog::hasLink() const
{
    return !m_worker || m_worker->isRunning();
}

bool PanelDialog::requireLink()
{
    if (hasLink())
        return true;
    const QString note = m_worker->linkNote();
    QMessageBox::critical(this, windowTitle(),
                          note.isEmpty() ? tr("Требуется подключение к панели.")
                                         : tr("Нет связи с панелью.\r\n%1").arg(note));
    return false;
}

bool PanelDialog::whenLinkAnswers(std::function<void()> then)
{
    if (!m_worker || (m_worker->isRunning() && m_worker->isAnswering())) {
        then();
        return true;
    }
    if (!m_worker->isKeptOpen()) {
        if (!requireLink())
            return false;
        then();
        return true;
    }
    m_awaited = std::move(then);
    showLinkNote();
    return true;
}

void PanelDialog::stopAwaitingLink()
{
    m_awaited = nullptr;
    showLinkNote();
}

void PanelDialog::onLinkAnswer(QSerialPortError error)
{
    if (error != NoError || !m_awaited)
        return;
    const std::function<void()> then = std::exchange(m_awaited, nullptr);
    showLinkNote();
    then();
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
