#include "qfirmwaredownloadchain.h"

#include "answererror.h"
#include "protocol.h"
#include "qpacket.h"

QFirmwareDownloadChain::QFirmwareDownloadChain(QObject* parent)
    : QObject(parent)
{
    m_image.reserve(Firmware::ImageSize);
}

QFirmwareDownloadChain::~QFirmwareDownloadChain()
{
    if (!m_running)
        return;
    // The answer in flight will find nobody; the worker must not stay without polling.
    emit cancel();
    emit startEvents(true);
}

bool QFirmwareDownloadChain::start()
{
    if (m_running)
        return false;
    m_running = true;
    m_trailer = Firmware::Trailer();
    m_block = 0;
    m_image.clear();
    emit startEvents(false);
    emit progressChanged(0);
    sendRead();
    return true;
}

void QFirmwareDownloadChain::cancelRunning()
{
    if (m_running)
        emit cancel();
}

void QFirmwareDownloadChain::sendRead()
{
    QPacket* packet = QPacket::request(Protocol::ReadFirmware, 0, Firmware::readBlockData(m_block));
    connect(packet, &QPacket::handleEvent, this, &QFirmwareDownloadChain::onHandleEvent,
            Qt::QueuedConnection);
    emit sendPacket(packet);
}

void QFirmwareDownloadChain::finish(bool success, const QString& message)
{
    m_running = false;
    emit startEvents(true);
    emit finished(success, message);
}

void QFirmwareDownloadChain::onHandleEvent(QSerialPortError error, QString errorString,
                                           QByteArray data)
{
    if (!m_running)
        return;
    const QString failure = answerError(error, errorString, data);
    if (!failure.isEmpty()) {
        finish(false, failure);
        return;
    }
    const QByteArray block = Firmware::answerBlock(data);
    if (block.isEmpty()) {
        // Nothing of a short answer is kept: the image stays incomplete and cannot be saved.
        const int received = quint8(data.at(Protocol::OffsetLength));
        finish(false, tr("Неполный ответ панели при чтении блока прошивки %1: "
                         "получено %2 байт из %3.")
                          .arg(m_block)
                          .arg(received)
                          .arg(Firmware::BlockSize));
        return;
    }
    m_image.append(block);
    emit progressChanged(m_block + 1);
    if (m_block < Firmware::LastBlock) {
        ++m_block;
        sendRead();
        return;
    }
    m_trailer = Firmware::trailer(m_image);
    finish(true);
}
