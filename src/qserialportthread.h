#pragma once

#include "qserialporterror.h"

#include <QByteArray>
#include <QDateTime>
#include <QSerialPort>
#include <QThread>

class MySerialPort;
class QPacket;

// The serial worker thread. Everyone talks to the worker through this object's signals:
// requesters emit sendPacket, cancel and startEvents; the main window listens to event
// and errorEvent and calls start and stop.
class QSerialPortThread : public QThread
{
    Q_OBJECT
public:
    explicit QSerialPortThread(QObject* parent = nullptr);
    ~QSerialPortThread() override;

signals:
    void handler();
    void abort();
    void cancel();
    void startEvents(const bool& value);
    void event(const QByteArray& data, QDateTime datetime);
    void sendPacket(QPacket* packet);
    void errorEvent(const QSerialPortError& error, const QString& errorString);

public slots:
    // Opens the port (the system location in number) and starts the worker loop.
    bool start(QString number, QSerialPort::SerialPortError& error, QString& errorString);
    // Ends the loop and waits for the thread; the request in flight gets ClosedByUser.
    void stop();

protected:
    void run() override;

private:
    void dropWhenStopped(QPacket* packet);

    MySerialPort* port = nullptr;
};
