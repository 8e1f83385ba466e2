#include "qfirmwareuploadchain.h"

#include "answererror.h"
#include "firmwareimage.h"
#include "protocol.h"
#include "qpacket.h"

QFirmwareUploadChain::QFirmwareUploadChain(QObject* parent)
    : QObject(parent)
{}

QFirmwareUploadChain::~QFirmwareUploadChain()
{
    if (!isRunning())
        return;
    // The answer in flight will find nobody; the worker must not stay without polling.
    emit cancel();
    emit startEvents(true);
}

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
    emit startEvents(false);
    advance(0, 0);
    send(Version, Protocol::ReadVersion, 0, {}, &QFirmwareUploadChain::onHandleEventVersion);
    return true;
}

void QFirmwareUploadChain::cancelRunning()
{
    if (isRunning())
        emit cancel();
}

void QFirmwareUploadChain::send(Stage stage, quint8 command, quint8 parameter,
                                const QByteArray& data, Slot slot)
{
    if (m_stage != stage) {
        m_stage = stage;
        emit stageChanged(stage);
    }
    QPacket* packet = QPacket::request(command, parameter, data);
    connect(packet, &QPacket::handleEvent, this, slot, Qt::QueuedConnection);
    emit sendPacket(packet);
}

bool QFirmwareUploadChain::accepted(Stage stage, QSerialPortError error, const QString& errorString,
                                    const QByteArray& data)
{
    if (m_stage != stage)
        return false;
    const QString failure = answerError(error, errorString, data);
    if (failure.isEmpty())
        return true;
    finish(false, failure);
    return false;
}

void QFirmwareUploadChain::advance(int written, int verified)
{
    m_written = written;
    m_verified = verified;
    emit progressChanged(written, verified);
}

void QFirmwareUploadChain::finish(bool success, const QString& message)
{
    const Stage ended = m_stage;
    m_stage = Idle;
    emit startEvents(true);
    emit finished(success, ended, message);
}

void QFirmwareUploadChain::onHandleEventVersion(QSerialPortError error, QString errorString,
                                                QByteArray data)
{
    if (!accepted(Version, error, errorString, data))
        return;
    const quint8 panelType = quint8(data.at(Protocol::OffsetParameter));
    if (panelType != Firmware::ZelKorType) {
        finish(false, Firmware::unsupportedDeviceText(panelType));
        return;
    }
    // The image is read only now, and only this copy is ever sent.
    m_stage = Image;
    const QString failure = Firmware::loadImage(m_fileName, m_image);
    if (!failure.isEmpty()) {
        finish(false, failure);
        return;
    }
    const quint8 imageType = Firmware::trailer(m_image).type;
    if (imageType != panelType) {
        finish(false, Firmware::wrongDeviceText(imageType, panelType));
        return;
    }
    send(BootOn, Protocol::BootMode, 0x01, {}, &QFirmwareUploadChain::onHandleEventBootOn);
}

void QFirmwareUploadChain::onHandleEventBootOn(QSerialPortError error, QString errorString,
                                               QByteArray data)
{
    if (!accepted(BootOn, error, errorString, data))
        return;
    advance(1, 0);
    m_block = 0;
    send(Write, Protocol::WriteFirmware, 0, Firmware::writeBlockData(m_image, m_block),
         &QFirmwareUploadChain::onHandleEventWrite);
}

void QFirmwareUploadChain::onHandleEventWrite(QSerialPortError error, QString errorString,
                                              QByteArray data)
{
    if (!accepted(Write, error, errorString, data))
        return;
    advance(m_written + 1, 0);
    if (m_block < Firmware::LastBlock) {
        ++m_block;
        send(Write, Protocol::WriteFirmware, 0, Firmware::writeBlockData(m_image, m_block),
             &QFirmwareUploadChain::onHandleEventWrite);
        return;
    }
    m_block = 0;
    send(Verify, Protocol::ReadFirmware, 0, Firmware::readBlockData(m_block),
         &QFirmwareUploadChain::onHandleEventRead);
}

void QFirmwareUploadChain::onHandleEventRead(QSerialPortError error, QString errorString,
                                             QByteArray data)
{
    if (!accepted(Verify, error, errorString, data))
        return;
    // A short answer is a failed read of its block: it can never match.
    if (!Firmware::blockMatches(data, m_image, m_block)) {
        finish(false,
               tr("Сбой при записи прошивки в панель. Номер ошибочного пакета %1.").arg(m_block));
        return;
    }
    advance(m_written, m_verified + 1);
    if (m_block < Firmware::LastBlock) {
        ++m_block;
        send(Verify, Protocol::ReadFirmware, 0, Firmware::readBlockData(m_block),
             &QFirmwareUploadChain::onHandleEventRead);
        return;
    }
    send(BootOff, Protocol::BootMode, 0x00, {}, &QFirmwareUploadChain::onHandleEventBootOff);
}

void QFirmwareUploadChain::onHandleEventBootOff(QSerialPortError error, QString errorString,
                                                QByteArray data)
{
    if (!accepted(BootOff, error, errorString, data))
        return;
    advance(m_written, m_verified + 1);
    finish(true, tr("Прошивка успешно записана в панель."));
}
