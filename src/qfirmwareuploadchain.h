#pragma once

#include "qserialporterror.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QPacket;

// Writes a firmware image into the panel and verifies it: reads the panel's version and checks
// the image against it, switches the panel into boot mode, writes the 896 blocks, reads them
// all back and compares, switches boot mode off. Knows no widget: it sends its requests
// through sendPacket, reports progress and ends with finished. Event polling is off from
// start() to the end, whichever way the chain ends, also when it is destroyed mid-way.
class QFirmwareUploadChain : public QObject
{
    Q_OBJECT
public:
    enum Stage { Idle, Image, Version, BootOn, Write, Verify, BootOff };
    Q_ENUM(Stage)

    explicit QFirmwareUploadChain(QObject* parent = nullptr);
    ~QFirmwareUploadChain() override;

    bool isRunning() const { return m_stage != Idle; }
    Stage stage() const { return m_stage; }
    // The image being written, loaded when the panel's version has been read.
    const QByteArray& image() const { return m_image; }
    // The caption under which a failure of the stage is shown; empty for Image and Idle,
    // whose messages belong under the caller's own title.
    static QString stageCaption(Stage stage);

    // Writes the image file (a resource path is accepted) into the panel. False when a
    // transfer is already running.
    bool start(const QString& fileName);
    // Cancels the exchange in flight; the chain then ends with the cancel message.
    void cancelRunning();

signals:
    void startEvents(const bool& value);
    void cancel();
    void sendPacket(QPacket* packet);
    void stageChanged(QFirmwareUploadChain::Stage stage);
    // Blocks written (1 after boot on, 897 when all are written) and verified (897 after boot
    // off).
    void progressChanged(int written, int verified);
    // The end: the stage that ended the chain and its message, the success text when ok.
    void finished(bool success, QFirmwareUploadChain::Stage stage, const QString& message);

public slots:
    void onHandleEventVersion(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleEventBootOn(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleEventWrite(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleEventRead(QSerialPortError error, QString errorString, QByteArray data);
    void onHandleEventBootOff(QSerialPortError error, QString errorString, QByteArray data);

private:
    using Slot = void (QFirmwareUploadChain::*)(QSerialPortError, QString, QByteArray);

    void send(Stage stage, quint8 command, quint8 parameter, const QByteArray& data, Slot slot);
    // True when the answer belongs to the running stage and carries no failure; otherwise a
    // failure ends the chain.
    bool accepted(Stage stage, QSerialPortError error, const QString& errorString,
                  const QByteArray& data);
    void advance(int written, int verified);
    void finish(bool success, const QString& message);

    Stage m_stage = Idle;
    QString m_fileName;
    quint16 m_block = 0;
    QByteArray m_image;
    int m_written = 0;
    int m_verified = 0;
};
