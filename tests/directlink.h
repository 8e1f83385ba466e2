#pragma once

#include "panelsimulator.h"
#include "qserialporterror.h"

#include <QObject>

class QPacket;

// Stands in for the serial worker where a test runs chains of thousands of requests: each
// request is answered at once from the simulator's memory, without the line and its pauses,
// with the worker's checks, its three attempts and its cancel. Attach a requester by its
// signals sendPacket, cancel and startEvents.
class DirectLink : public QObject
{
    Q_OBJECT
public:
    explicit DirectLink(PanelSimulator* sim);
    void attach(QObject* requester);
    // The first next request of command waits unanswered for a cancel.
    void hold(int command) { m_holdCommand = command; }
    bool holding() const { return m_held != nullptr; }

    bool polling = true; // what startEvents last asked for
    int pollingSwitches = 0;

public slots:
    void sendPacket(QPacket* packet);
    void cancel();
    void startEvents(bool value);

private:
    void answer(QPacket* packet, QSerialPortError error, const QString& text,
                const QByteArray& frame);

    PanelSimulator* m_sim;
    QPacket* m_held = nullptr;
    int m_holdCommand = -1;
    bool m_cancelled = false;
};
