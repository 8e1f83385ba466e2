#pragma once

#include "qserialportthread.h"

#include <QObject>
#include <QString>
#include <QTimer>

// The serial worker kept on one port for as long as the caller likes: when polls keep failing
// (the adapter unplugged, the panel without power) the port is closed and opened again, after a
// pause of 1 s that doubles up to 30 s. It says what happened; what to tell the user is the
// caller's business.
class ReopeningLink : public QObject
{
    Q_OBJECT
public:
    explicit ReopeningLink(const QString& port, QObject* parent = nullptr);
    ~ReopeningLink() override;

    // The worker; the same object across reopenings, so connections to it stay.
    QSerialPortThread* worker() { return &m_worker; }
    const QString& port() const { return m_port; }

    // Opens the port the first time; false with the message to show.
    bool open(QString* error);
    // Stops the worker and delivers every answer it sent before it stopped.
    void close();

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

    QString m_port;
    QSerialPortThread m_worker;
    QTimer m_pause;
    int m_failures = 0;
    int m_pauseS = 1;
    bool m_lost = false;
};
