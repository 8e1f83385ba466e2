#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns Ctrl+C (SIGINT) and SIGTERM into a signal of the event loop, so that the work in hand
// stops the way the dialogs stop it: the request in flight cancelled, polling back on, the
// database rolled back. A second one ends the process at once. One watcher at a time.
class InterruptWatcher : public QObject
{
    Q_OBJECT
public:
    explicit InterruptWatcher(QObject* parent = nullptr);
    ~InterruptWatcher() override;

    bool isInterrupted() const { return m_interrupted; }

signals:
    void interrupted();

private:
    void onActivated();

    QSocketNotifier* m_notifier = nullptr;
    bool m_interrupted = false;
    struct sigaction m_oldInterrupt = {};
    struct sigaction m_oldTerminate = {};
};
