#include "panelsimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; the event loop picks the byte up.
    if (::write(signalPipe[1], &byte, 1) < 0)
        return;
}

bool installSignalHandlers()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void printFrame(bool incoming, const QByteArray& bytes)
{
    const QByteArray time =
        QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")).toLatin1();
    std::fprintf(stderr, "%s %s %s\n", time.constData(), incoming ? "<-" : "->",
                 bytes.toHex(' ').constData());
}

// A slow stream of plausible panel events, so that the program has something to show.
class DemoEvents
{
public:
    explicit DemoEvents(PanelSimulator* sim)
        : m_sim(sim)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { next(); });
        m_sim->queuePowerOn();
        schedule();
    }

private:
    void schedule() { m_timer.start(QRandomGenerator::global()->bounded(3000, 10001)); }

    void next()
    {
        if (m_fireAlarm)
            endFireAlarm();
        else
            randomEvent();
        schedule();
    }

    void randomEvent()
    {
        static const quint32 knownKeys[] = {0x12A4F0, 0x0031D2, 0x7E0511, 0x00C350};
        auto* random = QRandomGenerator::global();
        const int roll = random->bounded(100);
        if (roll < 55)
            m_sim->queueKey(knownKeys[random->bounded(4)]);
        else if (roll < 70)
            m_sim->queueKey(1234, 0, 0x01);
        else if (roll < 82)
            m_sim->queueKey(0x5A5A5A, 0, 0x05);
        else if (roll < 94)
            m_sim->queueButton();
        else
            startFireAlarm();
    }

    void startFireAlarm()
    {
        m_fireAlarm = true;
        m_sim->setStatus(quint8((m_sim->status() & 0xF0) | 0x04));
        m_sim->queueFireAlarm(true);
    }

    void endFireAlarm()
    {
        m_fireAlarm = false;
        m_sim->setStatus(quint8((m_sim->status() & 0xF0) | 0x01));
        m_sim->queueFireAlarm(false);
    }

    PanelSimulator* m_sim;
    QTimer m_timer;
    bool m_fireAlarm = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostrovel-panelsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays a ZEL-KOR entrance panel on a pseudo-terminal and prints its path."));
    parser.addHelpOption();
    const QCommandLineOption pace(QStringLiteral("pace"),
                                  QStringLiteral("Send answers at the line rate of 57600 baud."));
    const QCommandLineOption demo(QStringLiteral("demo-events"),
                                  QStringLiteral("Generate a slow stream of panel events."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Print every frame and answer to stderr."));
    parser.addOptions({pace, demo, verbose});
    parser.process(app);

    if (!installSignalHandlers()) {
        std::fprintf(stderr, "ostrovel-panelsim: cannot install signal handlers\n");
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    PanelSimulator sim;
    sim.setLinePacing(parser.isSet(pace));
    if (parser.isSet(verbose))
        sim.setTraceHandler(printFrame);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "ostrovel-panelsim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(sim.slavePath()));
    std::fflush(stdout);

    std::unique_ptr<DemoEvents> events;
    if (parser.isSet(demo))
        events = std::make_unique<DemoEvents>(&sim);

    const int result = app.exec();
    events.reset();
    sim.stop();
    return result;
}
