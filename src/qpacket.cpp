#include "qpacket.h"

#include "protocol.h"

#include <QAtomicInt>

#include <cstring>

namespace {
QAtomicInt liveInstances;
}

QPacket::QPacket(const Header& header, const QByteArray& data, QObject* parent)
    : QObject(parent)
    , m_header(header)
    , m_data(data)
{
    registerSerialPortErrorType();
    qRegisterMetaType<QPacket*>("QPacket*");
    liveInstances.ref();
}

QPacket::~QPacket()
{
    liveInstances.deref();
}

QPacket* QPacket::request(quint8 command, quint8 parameter, const QByteArray& data)
{
    const QByteArray sealed = Protocol::sealedHeader(command, parameter, quint8(data.size()));
    static_assert(std::tuple_size<Header>::value == Protocol::HeaderSize, "header layout");
    Q_ASSERT(sealed.size() == Protocol::HeaderSize);
    // Copying the array's own size, not up to the source's end, keeps the copy provably in bounds.
    Header header;
    std::memcpy(header.data(), sealed.constData(), header.size());
    return new QPacket(header, Protocol::sealedData(data));
}

QByteArray QPacket::frame() const
{
    QByteArray bytes(reinterpret_cast<const char*>(m_header.data()), int(m_header.size()));
    bytes.append(m_data);
    return bytes;
}

int QPacket::liveCount()
{
    return liveInstances.loadAcquire();
}
