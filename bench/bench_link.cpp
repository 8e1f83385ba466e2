// Link benchmark: a paced chain of block reads against the simulator, and the CPU that a
// connected, idle worker uses while it polls.
#include "benchsupport.h"
#include "panelsimulator.h"
#include "qpacket.h"
#include "qserialportthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr double LineMsPerByte = 11.0 / 57600.0 * 1000.0;

double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// Reads key blocks one after the other, each sent from the previous answer's slot, the way
// the import dialog does.
class Chain : public QObject
{
public:
    Chain(QSerialPortThread* thread, int total, QEventLoop* loop)
        : m_thread(thread)
        , m_total(total)
        , m_loop(loop)
    {}

    void next()
    {
        const int first = (m_done * 12) % 24996;
        QByteArray data;
        data.append(char(first & 0xFF));
        data.append(char(first >> 8));
        data.append(char(12));
        QPacket* packet = QPacket::request(0x61, 0, data);
        connect(
            packet, &QPacket::handleEvent, this,
            [this](QSerialPortError error, QString, QByteArray answer) {
                if (error != NoError || answer.size() != 67)
                    ++failures;
                if (++m_done < m_total)
                    next();
                else
                    m_loop->quit();
            },
            Qt::QueuedConnection);
        emit m_thread->sendPacket(packet);
    }

    int failures = 0;

private:
    QSerialPortThread* m_thread;
    int m_total;
    QEventLoop* m_loop;
    int m_done = 0;
};

int benchChain(int exchanges)
{
    PanelSimulator sim;
    QSerialPortThread thread;
    if (!startPacedSimulator(sim) || !openWorker(thread, sim.slavePath()))
        return 1;
    emit thread.startEvents(false);

    QEventLoop loop;
    Chain chain(&thread, exchanges, &loop);
    QElapsedTimer clock;
    clock.start();
    chain.next();
    loop.exec();
    const double perExchange = double(clock.nsecsElapsed()) / 1e6 / exchanges;
    const int requestBytes = 6 + 3 + 1;
    const int answerBytes = 6 + 60 + 1;
    const double lineMs = (requestBytes + answerBytes) * LineMsPerByte;
    std::printf("block read chain: %d exchanges, %d failures\n", exchanges, chain.failures);
    std::printf("  %.2f ms per exchange, line time %.2f ms, ratio %.2f (target <= 1.6)\n",
                perExchange, lineMs, perExchange / lineMs);
    thread.stop();
    return chain.failures == 0 ? 0 : 1;
}

int benchIdle(int seconds)
{
    // The simulator runs in its own process so that only the program's threads are counted.
    QProcess simulator;
    simulator.start(QStringLiteral(PANELSIM_PATH), QStringList());
    if (!simulator.waitForStarted() || !simulator.waitForReadyRead(5000)) {
        std::fprintf(stderr, "cannot start %s\n", PANELSIM_PATH);
        return 1;
    }
    const QString path = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    QSerialPortThread thread;
    if (!openWorker(thread, path))
        return 1;
    int polls = 0;
    int errors = 0;
    QObject::connect(&thread, &QSerialPortThread::event, [&] { ++polls; });
    QObject::connect(&thread, &QSerialPortThread::errorEvent,
                     [&](QSerialPortError error, QString) { errors += error != NoError; });
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();

    const double cpuBefore = processCpuMs();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = processCpuMs() - cpuBefore;
    const double wall = double(clock.elapsed());
    std::printf("idle worker: %d s, %d polls answered, %d errors\n", seconds, polls, errors);
    std::printf("  CPU %.0f ms of %.0f ms = %.2f %% of one core (target < 3 %%)\n", cpu, wall,
                100.0 * cpu / wall);
    thread.stop();
    simulator.terminate();
    simulator.waitForFinished();
    return errors == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("ostrovel.link.debug=false"));
    int failed = benchChain(1000);
    failed |= benchIdle(10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::printf("packets alive at the end: %d\n", QPacket::liveCount());
    return failed || QPacket::liveCount() != 0;
}
