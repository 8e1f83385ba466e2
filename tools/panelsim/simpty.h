#pragma once

#include "panelsimulator.h"

#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// The pseudo-terminal the program opens as its serial port, the symbolic link that names it
// while it is open, and the service thread that serves its master side through the line.
// Thread-safe.
namespace panelsim {

class SimLine;

class SimPty
{
public:
    explicit SimPty(SimLine& line);
    ~SimPty();
    SimPty(const SimPty&) = delete;
    SimPty& operator=(const SimPty&) = delete;

    // Opens a new pseudo-terminal, points the link to it and starts serving it. False with a
    // reason on failure.
    bool open(QString* error);
    // Stops serving, removes the link and closes the pseudo-terminal.
    void close();
    // Empty for no link.
    bool setLinkPath(const QString& path, QString* error);
    bool isOpen() const;
    QString slavePath() const;
    PanelSimulator::LineSettings lineSettings() const;

private:
    bool openFds(QString* error); // with m_mutex held
    void closeFds();

    SimLine& m_line;
    // Held by open(), close() and setLinkPath() throughout; guards the thread and the link.
    std::mutex m_control;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    QString m_linkPath;
    // Held only briefly, so that the service thread may ask for the path while it is stopped.
    mutable std::mutex m_mutex; // guards the descriptors and the slave path
    int m_master = -1;
    int m_slave = -1;
    int m_wake = -1;
    QString m_slavePath;
};

} // namespace panelsim
