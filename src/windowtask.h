#pragma once

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QString>

class QLabel;
class QMainWindow;
class QProgressBar;

// The status-bar face of a database task of the main window. While it lives the window is
// busy (another such task is refused and the window does not close), its central widget and
// menu bar are disabled if asked, and the status bar shows the task's name and a progress bar
// fed by the window's setMaximum and setValue signals.
class WindowTask
{
public:
    enum Lock { KeepEnabled, DisableWindow };

    WindowTask(QMainWindow* window, bool* busy, const QString& name, Lock lock);
    ~WindowTask();
    WindowTask(const WindowTask&) = delete;
    WindowTask& operator=(const WindowTask&) = delete;

    QProgressBar* progressBar() const { return m_progress; }

private:
    QMainWindow* m_window;
    bool* m_busy;
    Lock m_lock;
    QLabel* m_label;
    QProgressBar* m_progress;
};

// Keeps the event loop running (painting, progress) until the future has its result.
template<typename T>
T awaitFuture(const QFuture<T>& future)
{
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<T>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!watcher.isFinished())
        loop.exec();
    return future.result();
}
