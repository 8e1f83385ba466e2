#include "panelchain.h"

#include "actionjournal.h"
#include "answerfailure.h"

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
    report(false, linkErrorText(QSerialPortError::CancelledByUser));
}

void PanelChain::report(bool ok, const QString& failure)
{
    if (!m_action.isEmpty())
        ActionJournal::report(m_action, ActionJournal::outcome(ok ? QString() : failure));
}

void PanelChain::stop()
{
    if (!m_running)
        return;
    // Also while waiting: the answer may already be on its way, and the worker then has
    // nothing to cancel; the next request must not leave either.
    m_stopRequested = true;
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
    m_stopRequested = false;
    // Taken now: a chain destroyed midway can no longer say what it is.
    m_action = m_journalled ? actionText() : QString();
    m_stage = 0;
    emit startEvents(false);
}

void PanelChain::dispatch(int stage, QPacket* packet)
{
    m_stage = stage;
    if (m_stopRequested) {
        // Stopped between two requests: the next one never leaves.
        delete packet;
        finish(false, stage, linkErrorText(QSerialPortError::CancelledByUser));
        return;
    }
    m_waiting = true;
    emit sendPacket(packet);
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
    m_waiting = false;
    ending(ok, stage);
    emit startEvents(true);
    const QString title = stageTitle(stage);
    report(ok, title.isEmpty() ? message : QStringLiteral("%1: %2").arg(title, message));
    emit finished(ok, stage, message);
}

void PanelChain::ending(bool, int) {}
