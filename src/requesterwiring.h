#pragma once

#include "qpacket.h"
#include "qserialportthread.h"

#include <type_traits>

namespace RequesterWiring {
template<typename Requester, typename = void>
struct SwitchesPolling : std::false_type
{
};
template<typename Requester>
struct SwitchesPolling<Requester, std::void_t<decltype(&Requester::startEvents)>> : std::true_type
{
};
} // namespace RequesterWiring

// Connects a requester's signals sendPacket and cancel, and startEvents when it runs chains,
// to the serial worker's, each directly, so that they reach the worker's guarded queue and
// flags inside the emitting call.
template<typename Requester>
void connectRequester(Requester* requester, QSerialPortThread* thread)
{
    QObject::connect(requester, &Requester::sendPacket, thread, &QSerialPortThread::sendPacket,
                     Qt::DirectConnection);
    QObject::connect(requester, &Requester::cancel, thread, &QSerialPortThread::cancel,
                     Qt::DirectConnection);
    if constexpr (RequesterWiring::SwitchesPolling<Requester>::value)
        QObject::connect(requester, &Requester::startEvents, thread,
                         &QSerialPortThread::startEvents, Qt::DirectConnection);
}
