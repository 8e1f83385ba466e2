#include "directlink.h"

#include "protocol.h"
#include "qpacket.h"

DirectLink::DirectLink(PanelSimulator* sim)
    : m_sim(sim)
{}

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
    ++pollingSwitches;
}

void DirectLink::cancel()
{
    if (!m_held) {
        m_cancelled = true;
        return;
    }
    QPacket* packet = m_held;
    m_held = nullptr;
    answer(packet, CancelledByUser, linkErrorText(CancelledByUser), {});
}

void DirectLink::sendPacket(QPacket* packet)
{
    if (packet->command() == m_holdCommand || m_cancelled) {
        m_holdCommand = -1;
        m_held = packet;
        if (m_cancelled) {
            m_cancelled = false;
            cancel();
        }
        return;
    }
    QByteArray frame;
    QSerialPortError error = NoError;
    QString text;
    for (int attempt = 0; attempt < 3; ++attempt) {
        frame = m_sim->exchange(packet->frame());
        const Protocol::AnswerCheck check = Protocol::checkAnswer(frame);
        error = check.status == Protocol::AnswerCheck::Complete         ? NoError
                : check.status == Protocol::AnswerCheck::HeaderCrcError ? HeaderCrcError
                : check.status == Protocol::AnswerCheck::DataCrcError   ? DataCrcError
                                                                        : Timeout;
        text = linkErrorText(error, frame.size(), check.expected);
        if (error == NoError && frame.at(Protocol::OffsetResult) == 0)
            break;
    }
    answer(packet, error, text, frame);
}

void DirectLink::answer(QPacket* packet, QSerialPortError error, const QString& text,
                        const QByteArray& frame)
{
    // The requester's slot is queued, as it is for the worker's answers.
    emit packet->handleEvent(error, text, frame);
    delete packet;
}
