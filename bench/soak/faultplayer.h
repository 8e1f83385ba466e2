#pragma once

#include "soakwindows.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <random>

class PanelSimulator;

// Plays faults at random moments, about perMinute a minute: the panel silent, an answer with a
// damaged header or data CRC, cut short or with less data, an answer late by about the
// worker's time-out, and the adapter pulled out for a few seconds. A line fault is armed here
// and put on the very next request the panel receives, from the simulator's own thread, so that
// it is known which exchange it hit and when that exchange was over.
class FaultPlayer : public QObject
{
    Q_OBJECT
public:
    FaultPlayer(PanelSimulator& sim, SoakWindows& windows, std::mt19937& random, double perMinute);

    void start();
    // No more faults; the adapter is plugged in again and what was armed is withdrawn.
    void stop();
    // From the simulator's thread: every frame it receives and every answer it sends.
    void onTrace(bool incoming, const QByteArray& bytes);
    // The link opened the port: an unplugging is over once the port is open again.
    void onLinkStarted();

    int played(SoakWindows::Kind kind) const { return m_played[kind]; }
    static const char* name(SoakWindows::Kind kind);

private:
    void scheduleNext();
    void play();
    void replug();

    PanelSimulator& m_sim;
    SoakWindows& m_windows;
    std::mt19937& m_random;
    double m_perMinute;
    QTimer m_next;
    QTimer m_unplugged;
    std::array<std::atomic<int>, SoakWindows::FaultKinds> m_played{};
    bool m_stopped = false;
    // An unplugging that ends once the link has opened the port again.
    int m_unplug = -1;
    bool m_replugged = false;

    // The line fault, shared with the simulator's thread.
    struct Armed
    {
        SoakWindows::Kind kind = SoakWindows::Silence;
        int value = 0;
        int count = 0;    // requests it still applies to
        int command = -1; // -1 until a request took it
        int window = -1;
    };
    QMutex m_mutex;
    Armed m_armed;
    bool m_lineFault = false; // armed or playing
};
