#include "faultplayer.h"

#include "panelsimulator.h"
#include "protocol.h"

#include <QMutexLocker>

#include <cstdio>

namespace {

PanelSimulator::FaultKind simulatorKind(SoakWindows::Kind kind)
{
    switch (kind) {
    case SoakWindows::HeaderCrc:
        return PanelSimulator::FaultKind::BadHeaderCrc;
    case SoakWindows::DataCrc:
        return PanelSimulator::FaultKind::BadDataCrc;
    case SoakWindows::CutAnswer:
        return PanelSimulator::FaultKind::CutAnswer;
    case SoakWindows::ShortData:
        return PanelSimulator::FaultKind::ShortData;
    case SoakWindows::Delay:
        return PanelSimulator::FaultKind::Delay;
    default:
        return PanelSimulator::FaultKind::Silence;
    }
}

// A whole request frame with good CRCs, as the panel takes it.
bool isRequest(const QByteArray& bytes)
{
    const Protocol::AnswerCheck check = Protocol::checkAnswer(bytes);
    return check.status == Protocol::AnswerCheck::Complete && bytes.size() == check.expected;
}

} // namespace

FaultPlayer::FaultPlayer(PanelSimulator& sim, SoakWindows& windows, std::mt19937& random,
                         double perMinute)
    : m_sim(sim)
    , m_windows(windows)
    , m_random(random)
    , m_perMinute(perMinute)
{
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &FaultPlayer::play);
    m_unplugged.setSingleShot(true);
    connect(&m_unplugged, &QTimer::timeout, this, &FaultPlayer::replug);
}

const char* FaultPlayer::name(SoakWindows::Kind kind)
{
    static const char* const names[] = {"silence",       "damaged header CRC", "damaged data CRC",
                                        "cut answer",    "short data",         "late answer",
                                        "port unplugged"};
    return kind < SoakWindows::FaultKinds ? names[kind] : "?";
}

void FaultPlayer::start()
{
    scheduleNext();
}

void FaultPlayer::stop()
{
    m_stopped = true;
    m_next.stop();
    if (m_unplugged.isActive()) {
        m_unplugged.stop();
        replug();
    }
    QMutexLocker locker(&m_mutex);
    if (m_lineFault) {
        // Whatever the panel still holds of it goes too; its span ends here.
        m_sim.clearFaults();
        if (m_armed.window >= 0)
            m_windows.end(m_armed.window, soakNowUs());
        m_lineFault = false;
    }
}

void FaultPlayer::scheduleNext()
{
    if (m_stopped || m_perMinute <= 0)
        return;
    std::exponential_distribution<double> pause(m_perMinute / 60000.0);
    m_next.start(int(std::min(pause(m_random), 3600000.0)));
}

void FaultPlayer::play()
{
    // Every choice is drawn whether or not the fault is played, so that the choices follow
    // from the seed alone.
    const auto kind = SoakWindows::Kind(
        std::uniform_int_distribution<int>(0, SoakWindows::FaultKinds - 1)(m_random));
    const int count = std::uniform_int_distribution<int>(1, 3)(m_random);
    const int lateMs = std::uniform_int_distribution<int>(800, 1200)(m_random);
    const int cutTo = std::uniform_int_distribution<int>(1, 6)(m_random);
    const int dataLeft = std::uniform_int_distribution<int>(0, 5)(m_random);
    const int unpluggedMs = std::uniform_int_distribution<int>(500, 8000)(m_random);
    scheduleNext();
    // One fault at a time: one that comes while another plays is left out.
    QMutexLocker locker(&m_mutex);
    if (m_unplug >= 0 || m_lineFault)
        return;
    if (kind == SoakWindows::Unplug) {
        locker.unlock();
        ++m_played[kind];
        m_unplug = m_windows.open(SoakWindows::Unplug, soakNowUs());
        m_replugged = false;
        m_sim.unplug();
        m_unplugged.start(unpluggedMs);
        return;
    }
    m_armed = Armed();
    m_armed.kind = kind;
    m_armed.count = count;
    m_armed.value = kind == SoakWindows::Delay       ? lateMs
                    : kind == SoakWindows::CutAnswer ? cutTo
                    : kind == SoakWindows::ShortData ? dataLeft
                                                     : 0;
    m_lineFault = true;
}

void FaultPlayer::replug()
{
    QString error;
    if (!m_sim.replug(&error))
        std::fprintf(stderr, "soak: the simulator cannot be plugged in again: %s\n",
                     qPrintable(error));
    m_replugged = true;
}

void FaultPlayer::onLinkStarted()
{
    if (m_unplug < 0 || !m_replugged)
        return;
    m_windows.end(m_unplug, soakNowUs());
    m_unplug = -1;
}

void FaultPlayer::onTrace(bool incoming, const QByteArray& bytes)
{
    if (!incoming || !isRequest(bytes))
        return;
    const int command = quint8(bytes.at(Protocol::OffsetCommand));
    QMutexLocker locker(&m_mutex);
    if (!m_lineFault)
        return;
    if (m_armed.command < 0) {
        // The panel takes the fault for this very request and as many attempts after it.
        m_armed.command = command;
        m_armed.window = m_windows.open(m_armed.kind, soakNowUs());
        m_sim.injectFault(command, simulatorKind(m_armed.kind), m_armed.value, m_armed.count);
        --m_armed.count;
        ++m_played[m_armed.kind];
    } else if (m_armed.count > 0 && command == m_armed.command) {
        --m_armed.count;
    } else if (m_armed.count == 0) {
        // The sender has given up on the faulted exchange and moved on.
        m_windows.end(m_armed.window, soakNowUs());
        m_lineFault = false;
    }
}
