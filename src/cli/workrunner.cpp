#include "workrunner.h"

#include "console.h"
#include "panelchain.h"
#include "panellink.h"

#include <QEventLoop>

WorkRunner::WorkRunner()
{
    connect(&m_interrupts, &InterruptWatcher::interrupted, this, &WorkRunner::onInterrupted);
}

WorkRunner::~WorkRunner() = default;

void WorkRunner::onInterrupted()
{
    m_cancel.set();
    if (m_chain)
        m_chain->stop();
}

bool WorkRunner::runChain(PanelChain& chain, const std::function<void()>& start, QString* message)
{
    if (isInterrupted()) {
        *message = Console::tr("Операция прервана пользователем.");
        return false;
    }
    QEventLoop loop;
    bool ok = false;
    const QMetaObject::Connection progress = connect(
        &chain, &PanelChain::progress, this, [this, &chain](int stage, int value, int maximum) {
            m_progress.show(chain.stageTitle(stage), value, maximum);
        });
    const QMetaObject::Connection end = connect(
        &chain, &PanelChain::finished, &loop, [&](bool success, int stage, const QString& text) {
            ok = success;
            const QString title = chain.stageTitle(stage);
            *message =
                success || title.isEmpty() ? text : QStringLiteral("%1: %2").arg(title, text);
            loop.quit();
        });
    m_chain = &chain;
    start();
    if (chain.isRunning())
        loop.exec();
    m_chain = nullptr;
    disconnect(progress);
    disconnect(end);
    m_progress.end();
    return ok;
}

bool WorkRunner::runOnPanel(const QString& port, PanelChain& chain,
                            const std::function<void()>& start, QString* message)
{
    PanelLink link;
    if (link.open(port, message)) {
        link.attach(&chain);
        if (runChain(chain, start, message))
            return true;
    }
    Console::message(*message);
    return false;
}

bool runChainOnPanel(const QString& port, PanelChain& chain, const std::function<void()>& start,
                     QString* message)
{
    QString said;
    WorkRunner runner;
    return runner.runOnPanel(port, chain, start, message ? message : &said);
}

Csv::Progress WorkRunner::taskProgress(const QString& label)
{
    Csv::Progress progress;
    // Called in the pool thread; the line is drawn in this one.
    progress.setMaximum = [this](int value) { m_maximum = value; };
    progress.setValue = [this, label](int value) {
        QMetaObject::invokeMethod(
            this, [this, label, value] { m_progress.show(label, value, m_maximum); },
            Qt::QueuedConnection);
    };
    CancelFlag* cancel = &m_cancel;
    progress.isCancelled = [cancel] { return cancel->isSet(); };
    return progress;
}

void WorkRunner::waitFor(QFutureWatcherBase& watcher)
{
    QEventLoop loop;
    connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished())
        loop.exec();
    // Progress that was still on its way belongs to this task's line.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_progress.end();
}
