#include "panelfixture.h"

#include "exportchain.h"
#include "protocol.h"
#include "qpacket.h"

#include <QtTest>

#include <utility>

DirectLink::DirectLink(PanelSimulator* sim)
    : m_sim(sim)
{}

DirectLink::~DirectLink()
{
    // A stopped worker drops what it has not answered.
    delete m_held;
}

void DirectLink::attach(QObject* requester)
{
    connect(requester, SIGNAL(sendPacket(QPacket*)), this, SLOT(sendPacket(QPacket*)));
    connect(requester, SIGNAL(cancel()), this, SLOT(cancel()));
    if (requester->metaObject()->indexOfSignal("startEvents(bool)") >= 0)
        connect(requester, SIGNAL(startEvents(bool)), this, SLOT(startEvents(bool)));
}

void DirectLink::startEvents(bool value)
{
    polling = value;
}

void DirectLink::cancel()
{
    // As the worker: with no request waiting, the answer is on its way and nothing is stopped.
    if (m_held)
        answer(std::exchange(m_held, nullptr), CancelledByUser, {});
}

void DirectLink::sendPacket(QPacket* packet)
{
    if (packet->command() == m_holdCommand) {
        m_holdCommand = -1;
        m_held = packet;
        return;
    }
    QByteArray frame;
    for (int attempt = 0; attempt < 3; ++attempt) {
        frame = m_sim->exchange(packet->frame());
        const Protocol::AnswerCheck check = Protocol::checkAnswer(frame);
        if (check.status != Protocol::AnswerCheck::Complete) {
            const QSerialPortError error =
                check.status == Protocol::AnswerCheck::HeaderCrcError ? HeaderCrcError
                : check.status == Protocol::AnswerCheck::DataCrcError ? DataCrcError
                                                                      : Timeout;
            if (attempt == 2)
                answer(packet, error, frame, linkErrorText(error, frame.size(), check.expected));
        } else if (frame.at(Protocol::OffsetResult) == 0 || attempt == 2) {
            answer(packet, NoError, frame);
            return;
        }
    }
}

void DirectLink::answer(QPacket* packet, QSerialPortError error, const QByteArray& frame,
                        const QString& text)
{
    // The requester's slot is queued, as it is for the worker's answers.
    emit packet->handleEvent(error, error == CancelledByUser ? linkErrorText(error) : text, frame);
    delete packet;
}

void PanelFixture::setUp()
{
    db = new TestDatabase;
    sim = new PanelSimulator;
    link = new DirectLink(sim);
}

void PanelFixture::tearDown()
{
    delete dialog;
    dialog = nullptr;
    delete answerer;
    answerer = nullptr;
    delete link;
    delete sim;
    delete db;
    QCOMPARE(QPacket::liveCount(), 0);
}

QByteArray panelMemory(const PanelSimulator& sim)
{
    QByteArray bytes = sim.settings();
    for (int n = 0; n < PanelSimulator::TableRecords; ++n)
        bytes += sim.apartmentRecord(n) + sim.phoneRecord(n) + sim.keyRecord(n);
    return bytes;
}

QByteArray cleanlyExported(const ExportContent& content)
{
    PanelSimulator clean;
    DirectLink direct(&clean);
    ExportChain chain;
    direct.attach(&chain);
    QSignalSpy done(&chain, &PanelChain::finished);
    chain.start(content);
    if (!done.wait(60000))
        return {};
    return panelMemory(clean);
}
