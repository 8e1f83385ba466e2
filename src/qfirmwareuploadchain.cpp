#include "qfirmwareuploadchain.h"

#include "protocol.h"

QFirmwareUploadChain::QFirmwareUploadChain(QObject* parent)
    : PanelChain(parent)
{}

QString QFirmwareUploadChain::stageCaption(Stage stage)
{
    switch (stage) {
    case Version:
        return tr("Запрос версии панели");
    case BootOn:
        return tr("Включение режима загрузки");
    case Write:
        return tr("Запись прошивки");
    case Verify:
        return tr("Проверка прошивки");
    case BootOff:
        return tr("Выключение режима загрузки");
    default:
        return {};
    }
}

bool QFirmwareUploadChain::start(const QString& fileName)
{
    if (isRunning())
        return false;
    m_fileName = fileName;
    m_block = 0;
    m_image.clear();
    begin();
    advance(0, 0);
    sendStep(Version, Protocol::ReadVersion, 0, {}, &QFirmwareUploadChain::onHandleEventVersion);
    return true;
}

void QFirmwareUploadChain::sendStep(Stage stage, quint8 command, quint8 parameter,
                                    const QByteArray& data, Slot slot)
{
    if (this->stage() != stage)
        emit stageChanged(stage);
    send(stage, command, parameter, data, slot);
}

void QFirmwareUploadChain::advance(int written, int verified)
{
    // Each stage reports when it moves, so that a single progress line follows the running one;
    // a new transfer sets both back to 0.
    const bool restart = written == 0 && verified == 0;
    if (restart || written != m_written)
        emit progress(Write, written, Steps);
    if (restart || verified != m_verified)
        emit progress(Verify, verified, Steps);
    m_written = written;
    m_verified = verified;
}

void QFirmwareUploadChain::onHandleEventVersion(QSerialPortError error, QString errorString,
                                                QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    const quint8 panelType = quint8(data.at(Protocol::OffsetParameter));
    if (panelType != Firmware::ZelKorType) {
        finish(false, Version, Firmware::unsupportedDeviceText(panelType));
        return;
    }
    // The image is read only now, and only this copy is ever sent.
    const QString failure = Firmware::loadImage(m_fileName, m_image);
    if (!failure.isEmpty()) {
        finish(false, Image, failure);
        return;
    }
    const quint8 imageType = Firmware::trailer(m_image).type;
    if (imageType != panelType) {
        finish(false, Image, Firmware::wrongDeviceText(imageType, panelType));
        return;
    }
    sendStep(BootOn, Protocol::BootMode, 0x01, {}, &QFirmwareUploadChain::onHandleEventBootOn);
}

void QFirmwareUploadChain::onHandleEventBootOn(QSerialPortError error, QString errorString,
                                               QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    advance(1, 0);
    m_block = 0;
    sendStep(Write, Protocol::WriteFirmware, 0, Firmware::writeBlockData(m_image, m_block),
             &QFirmwareUploadChain::onHandleEventWrite);
}

void QFirmwareUploadChain::onHandleEventWrite(QSerialPortError error, QString errorString,
                                              QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    advance(m_written + 1, 0);
    if (m_block < Firmware::LastBlock) {
        ++m_block;
        sendStep(Write, Protocol::WriteFirmware, 0, Firmware::writeBlockData(m_image, m_block),
                 &QFirmwareUploadChain::onHandleEventWrite);
        return;
    }
    m_block = 0;
    sendStep(Verify, Protocol::ReadFirmware, 0, Firmware::readBlockData(m_block),
             &QFirmwareUploadChain::onHandleEventRead);
}

void QFirmwareUploadChain::onHandleEventRead(QSerialPortError error, QString errorString,
                                             QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    // A short answer is a failed read of its block: it can never match.
    if (!Firmware::blockMatches(data, m_image, m_block)) {
        finish(false, Verify,
               tr("Сбой при записи прошивки в панель. Номер ошибочного пакета %1.").arg(m_block));
        return;
    }
    advance(m_written, m_verified + 1);
    if (m_block < Firmware::LastBlock) {
        ++m_block;
        sendStep(Verify, Protocol::ReadFirmware, 0, Firmware::readBlockData(m_block),
                 &QFirmwareUploadChain::onHandleEventRead);
        return;
    }
    sendStep(BootOff, Protocol::BootMode, 0x00, {}, &QFirmwareUploadChain::onHandleEventBootOff);
}

void QFirmwareUploadChain::onHandleEventBootOff(QSerialPortError error, QString errorString,
                                                QByteArray data)
{
    if (!answered(error, errorString, data))
        return;
    advance(m_written, m_verified + 1);
    finish(true, BootOff, tr("Прошивка успешно записана в панель."));
}
