#pragma once

#include "qpacket.h"
#include "qserialportthread.h"

// Connects a requester that runs chains (its signals startEvents, sendPacket and cancel) to
// the serial worker's, each directly, so that they reach the worker's guarded queue and flags
// inside the emitting call.
template<typename Requester>
void connectChainRequester(Requester* requester, QSerialPortThread* thread)
{
    QObject::connect(requester, &Requester::startEvents, thread, &QSerialPortThread::startEvents,
                     Qt::DirectConnection);
    QObject::connect(requester, &Requester::sendPacket, thread, &QSerialPortThread::sendPacket,
                     Qt::DirectConnection);
    QObject::connect(requester, &Requester::cancel, thread, &QSerialPortThread::cancel,
                     Qt::DirectConnection);
}
