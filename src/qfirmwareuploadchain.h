#pragma once

#include "firmwareimage.h"
#include "panelchain.h"

#include <QByteArray>
#include <QString>

// Writes a firmware image into the panel and verifies it: reads the panel's version and checks
// the image against it, switches the panel into boot mode, writes the 896 blocks, reads them
// all back and compares, switches boot mode off. Progress goes out for the Write stage (blocks
// written: 1 after boot on, 897 when all are written) and the Verify stage (blocks verified,
// 897 after boot off); on success finished() carries the success text.
class QFirmwareUploadChain : public PanelChain
{
    Q_OBJECT
public:
    enum Stage { Idle, Image, Version, BootOn, Write, Verify, BootOff };
    Q_ENUM(Stage)
    static constexpr int Steps = Firmware::BlockCount + 1;

    explicit QFirmwareUploadChain(QObject* parent = nullptr);

    // The image being written, loaded when the panel's version has been read.
    const QByteArray& image() const { return m_image; }
    // The caption under which a failure of the stage is shown; empty for Image and Idle,
    // whose messages belong under the caller's own title.
    static QString stageCaption(Stage stage);
    QString stageTitle(int stage) const override { return stageCaption(Stage(stage)); }
    QString actionText() const override { return tr("Запись прошивки в панель"); }

    // Writes the image file (a resource path is accepted) into the panel. False when a
    // transfer is already running.
    bool start(const QString& fileName);

signals:
    void stageChanged(QFirmwareUploadChain::Stage stage);

public slots:
    void onHandleEventVersion(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleEventBootOn(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleEventWrite(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleEventRead(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleEventBootOff(QSerialPortError error, QString errorString, QByteArray data);

private:
    using Slot = void (QFirmwareUploadChain::*)(QSerialPortError, QString, QByteArray);

    void sendStep(Stage stage, quint8 command, quint8 parameter, const QByteArray& data, Slot slot);
    void advance(int written, int verified);

    QString m_fileName;
    quint16 m_block = 0;
    QByteArray m_image;
    int m_written = 0;
    int m_verified = 0;
};
