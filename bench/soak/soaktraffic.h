#pragma once

#include "eventledger.h"
#include "qserialporterror.h"
#include "soakwindows.h"

#include <QObject>
#include <QTimer>

#include <random>

class PanelSimulator;
class QSerialPortThread;

// What a busy door and its caretaker give the worker: events a few times a second, now and
// then a burst of records the panel keeps while a chain has polling switched off, and every few
// seconds a lock or device command or a settings read, sent as the window sends them.
class SoakTraffic : public QObject
{
    Q_OBJECT
public:
    SoakTraffic(PanelSimulator& sim, QSerialPortThread& worker, EventLedger& ledger,
                SoakWindows& windows, std::mt19937& random);

    void start();
    // No more events or commands; polling is on again.
    void stop();

    struct Counts
    {
        int commandsSent = 0;
        int commandsAnswered = 0;
        int commandsFailed = 0; // answered with a link error or a result code
        int settingsReads = 0;
        int settingsRead = 0;
        int pauses = 0;
        int storedEvents = 0;
    };
    const Counts& counts() const { return m_counts; }

private:
    void queueEvent();
    void sendCommand();
    void pausePolling();
    void resumePolling();
    void answered(QSerialPortError error, const QByteArray& answer, bool settings);
    int uniform(int from, int to);

    PanelSimulator& m_sim;
    QSerialPortThread& m_worker;
    EventLedger& m_ledger;
    SoakWindows& m_windows;
    std::mt19937& m_random;
    QTimer m_events;
    QTimer m_commands;
    QTimer m_bursts;
    QTimer m_resume;
    int m_pause = -1;
    bool m_stopped = false;
    Counts m_counts;
};
