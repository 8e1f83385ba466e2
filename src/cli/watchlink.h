#pragma once

#include "qserialportthread.h"

#include <QObject>
#include <QString>
#include <QTimer>

class JournalRecorder;

// The serial link of `ostrovel-cli watch`: the worker polls the panel the whole time and its
// answers go to the recorder. When polls keep failing (the adapter unplugged, the panel without
// power) the port is closed and opened again, with a pause that doubles up to 30 s; standard
// error says when the link is lost, when the port does not open, and when the link is back.
class WatchLink : public QObject
{
    Q_OBJECT
public:
    WatchLink(const QString& port, JournalRecorder* recorder);
    ~WatchLink() override;

    // Opens the port the first time; false with the message to show.
    bool open(QString* error);
    // Stops the worker and hands the recorder every answer still on its way.
    void close();

    static constexpr int FailuresBeforeReopen = 2;
    static constexpr int LongestPauseS = 30;

private:
    bool start(QString* error);
    void onError(QSerialPortError error, const QString& errorString);
    void reopen();

    QString m_port;
    JournalRecorder* m_recorder;
    QSerialPortThread m_thread;
    QTimer m_pause;
    int m_failures = 0;
    int m_pauseS = 1;
    bool m_lost = false;
};
