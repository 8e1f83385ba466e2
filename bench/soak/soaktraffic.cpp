#include "soaktraffic.h"

#include "lockstate.h"
#include "panelsimulator.h"
#include "protocol.h"
#include "qpacket.h"
#include "qserialportthread.h"

namespace {

// Events with a key field; the soak's sequence number goes there, so that each is told apart.
const quint8 EventCodes[] = {0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x05,
                             0x06, 0x07, 0x08, 0x0D, 0x13, 0x14};
constexpr int MeanEventGapMs = 400;

} // namespace

SoakTraffic::SoakTraffic(PanelSimulator& sim, QSerialPortThread& worker, EventLedger& ledger,
                         SoakWindows& windows, std::mt19937& random)
    : m_sim(sim)
    , m_worker(worker)
    , m_ledger(ledger)
    , m_windows(windows)
    , m_random(random)
{
    for (QTimer* timer : {&m_events, &m_commands, &m_bursts, &m_resume})
        timer->setSingleShot(true);
    connect(&m_events, &QTimer::timeout, this, &SoakTraffic::queueEvent);
    connect(&m_commands, &QTimer::timeout, this, &SoakTraffic::sendCommand);
    connect(&m_bursts, &QTimer::timeout, this, &SoakTraffic::pausePolling);
    connect(&m_resume, &QTimer::timeout, this, &SoakTraffic::resumePolling);
}

int SoakTraffic::uniform(int from, int to)
{
    return std::uniform_int_distribution<int>(from, to)(m_random);
}

void SoakTraffic::start()
{
    m_events.start(uniform(0, MeanEventGapMs));
    m_commands.start(uniform(2000, 5000));
    m_bursts.start(uniform(10000, 30000));
}

void SoakTraffic::stop()
{
    m_stopped = true;
    for (QTimer* timer : {&m_events, &m_commands, &m_bursts})
        timer->stop();
    if (m_resume.isActive()) {
        m_resume.stop();
        resumePolling();
    }
}

void SoakTraffic::queueEvent()
{
    if (const quint32 key = m_ledger.next()) {
        const quint8 code = EventCodes[uniform(0, int(sizeof EventCodes) - 1)];
        m_sim.queueKey(key, quint8(2 * uniform(0, 3)), code);
    }
    std::exponential_distribution<double> gap(1.0 / MeanEventGapMs);
    m_events.start(int(std::min(gap(m_random), 10.0 * MeanEventGapMs)));
}

void SoakTraffic::sendCommand()
{
    m_commands.start(uniform(2000, 5000));
    const int choice = uniform(0, 6);
    // As the window: nothing is sent while the link is down.
    if (!m_worker.isRunning())
        return;
    const bool settings = choice == 6;
    QPacket* packet;
    if (settings) {
        packet = QPacket::request(Protocol::ReadSettings);
        ++m_counts.settingsReads;
    } else {
        static const ControlMode modes[] = {ModeIdle, ModeTimed, ModeHold};
        packet = QPacket::request(
            Protocol::Control,
            controlParameter(choice < 3 ? ControlledDevice::Lock : ControlledDevice::Additional,
                             modes[choice % 3]));
    }
    connect(
        packet, &QPacket::handleEvent, this,
        [this, settings](QSerialPortError error, const QString&, const QByteArray& answer) {
            answered(error, answer, settings);
        },
        Qt::QueuedConnection);
    ++m_counts.commandsSent;
    emit m_worker.sendPacket(packet);
}

void SoakTraffic::answered(QSerialPortError error, const QByteArray& answer, bool settings)
{
    const bool good = error == NoError && answer.size() > Protocol::OffsetResult &&
                      answer.at(Protocol::OffsetResult) == 0;
    ++(good ? m_counts.commandsAnswered : m_counts.commandsFailed);
    if (settings && good && Protocol::answerData(answer).size() == PanelSimulator::SettingsSize)
        ++m_counts.settingsRead;
}

void SoakTraffic::pausePolling()
{
    // As a chain does: polling off, and meanwhile the panel keeps what happens.
    ++m_counts.pauses;
    m_pause = m_windows.open(SoakWindows::Pause, soakNowUs());
    emit m_worker.startEvents(false);
    const int burst = uniform(10, 40);
    for (int i = 0; i < burst; ++i) {
        if (const quint32 key = m_ledger.next()) {
            m_sim.queueKey(key, 0, EventCodes[i % int(sizeof EventCodes)]);
            ++m_counts.storedEvents;
        }
    }
    m_resume.start(uniform(2000, 8000));
}

void SoakTraffic::resumePolling()
{
    emit m_worker.startEvents(true);
    m_windows.end(m_pause, soakNowUs());
    if (!m_stopped)
        m_bursts.start(uniform(30000, 90000));
}
