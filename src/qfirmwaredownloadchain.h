#pragma once

#include "firmwareimage.h"
#include "qserialporterror.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QPacket;

// Reads the panel's whole firmware image, block by block, with event polling switched off
// from start() to the end, whichever way the chain ends, also when it is destroyed mid-way.
// Knows no widget: it sends its requests through sendPacket, reports progress and ends with
// finished. The image counts as read only when every block has arrived whole.
class QFirmwareDownloadChain : public QObject
{
    Q_OBJECT
public:
    explicit QFirmwareDownloadChain(QObject* parent = nullptr);
    ~QFirmwareDownloadChain() override;

    bool isRunning() const { return m_running; }
    // True after a read that ended with every block; a new start() clears it.
    bool isComplete() const { return m_image.size() == Firmware::ImageSize; }
    // The image read so far.
    const QByteArray& image() const { return m_image; }
    // The trailer of the last complete read; zeros before one.
    Firmware::Trailer trailer() const { return m_trailer; }

    // Starts reading; false when a read is already running.
    bool start();
    // Cancels the exchange in flight; the chain then ends with the cancel message.
    void cancelRunning();

signals:
    void startEvents(const bool& value);
    void cancel();
    void sendPacket(QPacket* packet);
    // Blocks read so far, 896 at the end.
    void progressChanged(int blocks);
    // The end; on failure the message to show.
    void finished(bool success, const QString& message);

public slots:
    void onHandleEvent(QSerialPortError error, QString errorString, QByteArray data);

private:
    void sendRead();
    void finish(bool success, const QString& message = QString());

    bool m_running = false;
    quint16 m_block = 0;
    QByteArray m_image;
    Firmware::Trailer m_trailer;
};
