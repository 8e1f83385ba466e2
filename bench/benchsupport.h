#pragma once

#include "application.h"
#include "databasefile.h"
#include "panelsimulator.h"
#include "qserialportthread.h"
#include "testdatagenerator.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QObject>
#include <QStandardPaths>
#include <QString>
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

// The offscreen platform says so whenever a window's size limits change; it means nothing here.
inline void quietOffscreen(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && !message.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// A benchmark of the window or the dialogs: a throw-away settings store, the program's identity
// and its resources. Call before the application object exists.
inline void prepareWidgetBenchmark()
{
    QStandardPaths::setTestModeEnabled(true);
    Application::setIdentity();
    Application::initResources();
}

// The n-th of a realistic mix of event records: keys with and without flags, the button,
// keypad and control events, the key's low bits varied with n.
inline QByteArray sampleEventRecord(int n)
{
    static const char* const samples[] = {"393000000011", "000000000011", "c3b2a1020511",
                                          "000000000111", "830000002611", "ffff12040011"};
    QByteArray bytes = QByteArray::fromHex(samples[n % 6]);
    bytes[0] = char(bytes[0] ^ char(n & 0x0F));
    return bytes;
}

// A simulated panel that answers at the panel's line rate; false after telling why it does not
// start.
inline bool startPacedSimulator(PanelSimulator& sim)
{
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return false;
    }
    sim.setLinePacing(true);
    return true;
}

// The serial worker on the port at path; false after telling why it does not open.
inline bool openWorker(QSerialPortThread& thread, const QString& path)
{
    QSerialPort::SerialPortError error;
    QString text;
    if (!thread.start(path, error, text)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(text));
        return false;
    }
    return true;
}

// A database file of the test generator's 24 999 subscribers with one key each; false after
// telling why it could not be made.
inline bool createTestDatabase(const QString& file)
{
    QString error = DatabaseFile::createFromTemplate(file);
    if (error.isEmpty())
        error = TestData::generateFile(file, [](int) {});
    if (!error.isEmpty())
        std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(error));
    return error.isEmpty();
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

// Wall time and the processor time of one measured run (what the processor time counts, each
// benchmark says where it takes it).
struct Timing
{
    double wall = 0;
    double cpu = 0;
};

// How many runs best() times.
constexpr int BestOfRuns = 3;

// The fastest of BestOfRuns runs of work, which returns the time of its measured part.
inline Timing best(const std::function<Timing()>& work)
{
    Timing fastest = work();
    for (int run = 1; run < BestOfRuns; ++run) {
        const Timing next = work();
        if (next.wall < fastest.wall)
            fastest = next;
    }
    return fastest;
}

// A child of a window (a widget, an action) by its object name.
template<typename T>
T* child(QObject* window, const char* name)
{
    return window->findChild<T*>(QString::fromLatin1(name));
}
