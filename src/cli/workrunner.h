#pragma once

#include "cancelflag.h"
#include "csvformat.h"
#include "interruptwatcher.h"
#include "progressline.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QtConcurrent>

#include <functional>

class PanelChain;

// Runs a command's long work to its end in a local event loop, a panel chain or a task in the
// thread pool, with its progress on the terminal; Ctrl+C stops the work the way the dialogs'
// Close button does.
class WorkRunner : public QObject
{
    Q_OBJECT
public:
    WorkRunner();
    ~WorkRunner() override;

    bool isInterrupted() const { return m_interrupts.isInterrupted(); }

    // Starts the chain with start and waits for its end; message receives the failure under
    // the failing stage's title, or what the chain says on success.
    bool runChain(PanelChain& chain, const std::function<void()>& start, QString* message);
    // The same on the serial port named port, opened for the chain and closed after it; a
    // failure is told on standard error.
    bool runOnPanel(const QString& port, PanelChain& chain, const std::function<void()>& start,
                    QString* message);

    // Runs task in the pool and waits for its result; the task reports through progress and
    // learns of Ctrl+C from progress.cancelled().
    template<typename Result>
    Result runTask(const QString& label, const std::function<Result(const Csv::Progress&)>& task)
    {
        const Csv::Progress progress = taskProgress(label);
        QFutureWatcher<Result> watcher;
        watcher.setFuture(QtConcurrent::run([task, progress] { return task(progress); }));
        waitFor(watcher);
        return watcher.result();
    }

private:
    void onInterrupted();
    Csv::Progress taskProgress(const QString& label);
    void waitFor(QFutureWatcherBase& watcher);

    InterruptWatcher m_interrupts;
    ProgressLine m_progress;
    CancelFlag m_cancel;
    PanelChain* m_chain = nullptr;
    QAtomicInt m_maximum = 0;
};

// Runs the chain, started by start, on the serial port named port with a runner of its own:
// Ctrl+C is watched only while the chain runs. False after the failure was told; message, if
// given, receives what the chain says on success.
bool runChainOnPanel(const QString& port, PanelChain& chain, const std::function<void()>& start,
                     QString* message = nullptr);
