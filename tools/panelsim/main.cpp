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

void onSignal(int number)
{
    const char byte = char(number);
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
    for (const int number : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) {
        if (sigaction(number, &action, nullptr) != 0)
            return false;
    }
    return true;
}

// The events a panel stores while nobody polls it: passes and refusals by key and by keypad
// code, now and then from the additional reader. The same sequence on every run, no two alike.
PanelSimulator::Event storedEvent(int index)
{
    static const quint8 codes[] = {0x00, 0x05, 0x01, 0x00, 0x03, 0x06, 0x00, 0x08};
    const quint8 code = codes[index % 8];
    const bool keypad = code == 0x01 || code == 0x06;
    const quint32 key =
        keypad ? quint32(1000 + index % 9000) : quint32(0x0A0000 + index * 0x01F3) & 0xFFFFFF;
    return PanelSimulator::Event{key, quint8(!keypad && index % 3 == 2 ? 0x02 : 0x00), code};
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

// The adapter as another process handles it: SIGUSR1 pulls it out or plugs it in again,
// SIGUSR2 makes the panel store one more event. The port's path is printed whenever it appears.
class Adapter
{
public:
    Adapter(PanelSimulator* sim, int storedEvents)
        : m_sim(sim)
        , m_nextEvent(storedEvents)
    {
        for (int i = 0; i < storedEvents; ++i)
            m_sim->queueEvent(storedEvent(i));
    }

    void onSignal(int number)
    {
        if (number == SIGUSR2) {
            m_sim->queueEvent(storedEvent(m_nextEvent++));
        } else if (number == SIGUSR1 && m_sim->isPlugged()) {
            m_sim->unplug();
            std::fprintf(stderr, "ostrovel-panelsim: unplugged\n");
        } else if (number == SIGUSR1) {
            QString error;
            if (m_sim->replug(&error))
                printPath();
            else
                std::fprintf(stderr, "ostrovel-panelsim: %s\n", qPrintable(error));
        } else {
            QCoreApplication::quit();
        }
    }

    void printPath() const
    {
        std::printf("%s\n", qPrintable(m_sim->slavePath()));
        std::fflush(stdout);
    }

private:
    PanelSimulator* m_sim;
    int m_nextEvent;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostrovel-panelsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays a ZEL-KOR entrance panel on a pseudo-terminal and prints its path.\n"
        "SIGUSR1 unplugs the port, as if its USB adapter were pulled out, or plugs it in "
        "again\n(a new pseudo-terminal; its path is printed again). SIGUSR2 makes the panel "
        "store one\nmore key event. The panel keeps its memory and its events meanwhile."));
    parser.addHelpOption();
    const QCommandLineOption pace(QStringLiteral("pace"),
                                  QStringLiteral("Send answers at the line rate of 57600 baud."));
    const QCommandLineOption demo(QStringLiteral("demo-events"),
                                  QStringLiteral("Generate a slow stream of panel events."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Print every frame and answer to stderr."));
    const QCommandLineOption link(
        QStringLiteral("link"),
        QStringLiteral("Keep a symbolic link at <path> to the port while it is plugged in."),
        QStringLiteral("path"));
    const QCommandLineOption stored(
        QStringLiteral("stored-events"),
        QStringLiteral("Start with <n> key events stored, waiting to be polled."),
        QStringLiteral("n"), QStringLiteral("0"));
    parser.addOptions({pace, demo, verbose, link, stored});
    parser.process(app);
    bool storedOk = false;
    const int storedEvents = parser.value(stored).toInt(&storedOk);
    if (!storedOk || storedEvents < 0) {
        std::fprintf(stderr, "ostrovel-panelsim: --stored-events wants a number of events\n");
        return 1;
    }

    if (!installSignalHandlers()) {
        std::fprintf(stderr, "ostrovel-panelsim: cannot install signal handlers\n");
        return 1;
    }

    PanelSimulator sim;
    sim.setLinePacing(parser.isSet(pace));
    if (parser.isSet(verbose))
        sim.setTraceHandler(printFrame);
    Adapter adapter(&sim, storedEvents);
    QString error;
    if (!sim.setLinkPath(parser.value(link), &error) || !sim.start(&error)) {
        std::fprintf(stderr, "ostrovel-panelsim: %s\n", qPrintable(error));
        return 1;
    }
    adapter.printPath();
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&adapter] {
        char number = 0;
        while (::read(signalPipe[0], &number, 1) == 1)
            adapter.onSignal(number);
    });

    std::unique_ptr<DemoEvents> events;
    if (parser.isSet(demo))
        events = std::make_unique<DemoEvents>(&sim);

    const int result = app.exec();
    events.reset();
    sim.stop();
    return result;
}
