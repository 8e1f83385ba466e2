#pragma once

#include "firmwareimage.h"
#include "panelchain.h"

#include <QByteArray>

// Reads the panel's whole firmware image, block by block; progress counts the blocks read.
// The image counts as read only when every block has arrived whole.
class QFirmwareDownloadChain : public PanelChain
{
    Q_OBJECT
public:
    explicit QFirmwareDownloadChain(QObject* parent = nullptr);

    // True after a read that ended with every block; a new start() clears it.
    bool isComplete() const { return m_image.size() == Firmware::ImageSize; }
    // The image read so far.
    const QByteArray& image() const { return m_image; }
    // The trailer of the last complete read; zeros before one.
    Firmware::Trailer trailer() const { return m_trailer; }
    QString stageTitle(int stage) const override;

    // Starts reading; false when a read is already running.
    bool start();

public slots:
    void onHandleEvent(QSerialPortError error, QString errorString, QByteArray data);

private:
    void sendRead();

    quint16 m_block = 0;
    QByteArray m_image;
    Firmware::Trailer m_trailer;
};
