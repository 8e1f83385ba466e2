#pragma once

#include "qserialportthread.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

// The serial worker kept on one port for as long as the caller likes: when polls keep failing
// (the adapter unplugged, the panel without power) the port is closed and opened again, after a
// pause of 1 s that doubles up to 30 s. It says what happened in signals, and on the worker, in
// a note every dialog can show (QSerialPortThread::linkNote); what else to tell the user is the
// caller's business. The window and ostrovel-cli watch share it.
class ReopeningLink : public QObject
{
    Q_OBJECT
public:
    // A link with a worker of its own on port.
    explicit ReopeningLink(const QString& port, QObject* parent = nullptr);
    // A link that keeps the caller's worker open; the port comes with open(). The worker must
    // outlive the link's use of it: the link's end leaves the worker alone.
    explicit ReopeningLink(QSerialPortThread* worker, QObject* parent = nullptr);
    ~ReopeningLink() override;

    // The worker; the same object across reopenings, so connections to it stay.
    QSerialPortThread* worker() { return m_worker; }
    const QString& port() const { return m_port; }

    // Opens the port the first time; false with the message to show.
    bool open(QString* error);
    bool open(const QString& port, QString* error);
    // Stops the worker and delivers every answer it sent before it stopped.
    void close();
    // True while the port waits to be opened again.
    bool isReopening() const { return m_pause.isActive(); }
    // How long until the next attempt to open it, in ms; -1 while none is due.
    int msToReopen() const { return m_pause.isActive() ? m_pause.remainingTime() : -1; }

    static constexpr int FailuresBeforeReopen = 2;
    static constexpr int LongestPauseS = 30;

signals:
    // The port was opened, the first time or again.
    void started();
    // Polls kept failing and the port was closed; said once until the link is back.
    void lost(const QString& errorString);
    // The first good answer after the link was lost.
    void restored();
    // The port did not open again; the next attempt follows after pauseS seconds.
    void reopenFailed(const QString& error, int pauseS);

private:
    bool start(QString* error);
    void onError(QSerialPortError error, const QString& errorString);
    void reopen();
    void waitToReopen();
    void showPause();

    std::unique_ptr<QSerialPortThread> m_own;
    QSerialPortThread* m_worker;
    QString m_port;
    QString m_lostBecause;
    QTimer m_pause;
    QTimer m_countdown;
    int m_failures = 0;
    int m_pauseS = 1;
    bool m_lost = false;
};
