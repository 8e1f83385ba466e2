#pragma once

#include <QObject>
#include <QString>

#include <csignal>

class QSocketNotifier;

// Turns Ctrl+C (SIGINT) and SIGTERM into a signal of the event loop, so that the work in hand
// stops the way the dialogs stop it: the request in flight cancelled, polling back on, the
// database rolled back. A second one ends the process at once, after removing the unfinished
// file if one is named. One watcher at a time.
class InterruptWatcher : public QObject
{
    Q_OBJECT
public:
    explicit InterruptWatcher(QObject* parent = nullptr);
    ~InterruptWatcher() override;

    bool isInterrupted() const { return m_interrupted; }

    // The unfinished file that a second interrupt removes, with SQLite's journal beside it;
    // empty for none. One file at a time.
    static void setUnfinishedFile(const QString& path);

signals:
    void interrupted();

private:
    void onActivated();

    QSocketNotifier* m_notifier = nullptr;
    bool m_interrupted = false;
    struct sigaction m_oldInterrupt = {};
    struct sigaction m_oldTerminate = {};
};
