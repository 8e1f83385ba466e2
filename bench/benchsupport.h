#pragma once

#include "databasefile.h"
#include "taskconnection.h"
#include "testdatagenerator.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>

// A memory figure of this process from /proc/self/status, in KiB: "VmRSS:" for the resident
// size now, "VmHWM:" for its peak.
inline double processMemoryKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toDouble();
    return 0;
}

// The longest time the GUI thread went without running its event loop while some work ran,
// seen by a 1 ms timer: a pause of more than about 100 ms is a frozen window to the user.
class PauseMeter
{
public:
    PauseMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }

    // Runs work, then lets the window finish what it queued (painting, deferred sorting).
    void measure(const std::function<void()>& work)
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start(1);
        work();
        QCoreApplication::processEvents();
        tick();
        m_timer.stop();
        m_total = m_clock.nsecsElapsed();
    }
    double longestMs() const { return m_longest / 1e6; }
    double totalMs() const { return m_total / 1e6; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = qMax(m_longest, now - m_last);
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_total = 0;
};

// Serves the event loop for ms milliseconds.
inline void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Writes the generated test database (24 999 subscribers with one key each) into file; false
// after telling why it could not.
inline bool generateDatabase(const QString& file)
{
    QString error = DatabaseFile::createFromTemplate(file);
    if (error.isEmpty()) {
        TaskConnection connection(file);
        error = TestData::generate(connection.database(), [](int) {});
    }
    if (!error.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(error));
    return error.isEmpty();
}

// How long work took, in seconds; a failed run ends the benchmark.
inline double seconds(const std::function<bool()>& work)
{
    QElapsedTimer clock;
    clock.start();
    if (!work()) {
        std::fprintf(stderr, "failed\n");
        std::exit(1);
    }
    return clock.nsecsElapsed() / 1e9;
}
