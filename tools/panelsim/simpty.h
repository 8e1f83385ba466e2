#pragma once

#include "panelsimulator.h"

#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// The pseudo-terminal the program opens as its serial port, and the service thread that serves
// its master side through the line. Thread-safe.
namespace panelsim {

class SimLine;

class SimPty
{
public:
    explicit SimPty(SimLine& line);
    ~SimPty();
    SimPty(const SimPty&) = delete;
    SimPty& operator=(const SimPty&) = delete;

    // Opens a new pseudo-terminal and starts serving it. False with a reason on failure.
    bool open(QString* error);
    // Stops serving and closes the pseudo-terminal.
    void close();
    bool isOpen() const;
    QString slavePath() const;
    PanelSimulator::LineSettings lineSettings() const;

private:
    bool openFds(QString* error);
    void closeFds();

    SimLine& m_line;
    mutable std::mutex m_mutex; // guards everything below
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    int m_master = -1;
    int m_slave = -1;
    int m_wake = -1;
    QString m_slavePath;
};

} // namespace panelsim
