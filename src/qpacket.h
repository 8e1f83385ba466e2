#pragma once

#include "qserialporterror.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>

// One request to the panel: a sealed header and an optional sealed data block. The
// requester creates it, connects handleEvent (queued) and hands it to the serial worker,
// which answers it exactly once and deletes it.
class QPacket : public QObject
{
    Q_OBJECT
public:
    using Header = std::array<quint8, 6>;

    QPacket(const Header& header, const QByteArray& data, QObject* parent = nullptr);
    ~QPacket() override;

    // A packet for command with its parameter and data (without CRC), sealed.
    static QPacket* request(quint8 command, quint8 parameter = 0, const QByteArray& data = {});

    quint8 command() const { return m_header[1]; }
    const Header& header() const { return m_header; }
    const QByteArray& data() const { return m_data; }
    // Header followed by the data block, as it goes on the line.
    QByteArray frame() const;

    // Packets alive in the process; lets tests prove that none leaks.
    static int liveCount();

signals:
    // The answer: the link error with its text and the whole answer frame as received.
    void handleEvent(const QSerialPortError& error, const QString& errorString,
                     const QByteArray& data);

private:
    Header m_header;
    QByteArray m_data;
};

Q_DECLARE_METATYPE(QPacket*)
