#include "qfirmwaredownloadchain.h"

#include "protocol.h"

QFirmwareDownloadChain::QFirmwareDownloadChain(QObject* parent)
    : PanelChain(parent)
{
    m_image.reserve(Firmware::ImageSize);
}

QString QFirmwareDownloadChain::stageTitle(int) const
{
    return tr("Чтение прошивки");
}

bool QFirmwareDownloadChain::start()
{
    if (isRunning())
        return false;
    m_trailer = Firmware::Trailer();
    m_block = 0;
    m_image.clear();
    begin();
    emit progress(0, 0, Firmware::BlockCount);
    sendRead();
    return true;
}

void QFirmwareDownloadChain::sendRead()
{
    send(0, Protocol::ReadFirmware, Firmware::readBlockData(m_block),
         &QFirmwareDownloadChain::onHandleEvent);
}

void QFirmwareDownloadChain::onHandleEvent(QSerialPortError error, QString errorString,
                                           QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    const QByteArray block = Firmware::answerBlock(data);
    if (block.isEmpty()) {
        // Nothing of a short answer is kept: the image stays incomplete and cannot be saved.
        const int received = quint8(data.at(Protocol::OffsetLength));
        finish(false, 0,
               tr("Неполный ответ панели при чтении блока прошивки %1: "
                  "получено %2 байт из %3.")
                   .arg(m_block)
                   .arg(received)
                   .arg(Firmware::BlockSize));
        return;
    }
    m_image.append(block);
    emit progress(0, m_block + 1, Firmware::BlockCount);
    if (m_block < Firmware::LastBlock) {
        ++m_block;
        sendRead();
        return;
    }
    m_trailer = Firmware::trailer(m_image);
    finish(true);
}
