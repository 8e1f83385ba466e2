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
// and errorEvent and calls start and stop. Whoever keeps the port open across losses
// (ReopeningLink) says so here, with a note on why the link is down, for every dialog to show.
class QSerialPortThread : public QThread
{
    Q_OBJECT
public:
    explicit QSerialPortThread(QObject* parent = nullptr);
    ~QSerialPortThread() override;

    // The port the worker was last started on.
    QString portName() const { return m_portName; }
    // Whether the last exchange was answered; false before the first one after start.
    bool isAnswering() const { return m_answering; }
    // Whether the port is kept open: after a loss it is opened again by itself.
    bool isKeptOpen() const { return m_keptOpen; }
    void setKeptOpen(bool kept) { m_keptOpen = kept; }
    // Why the link is down and when the port opens again, for people; empty while it is up.
    QString linkNote() const { return m_linkNote; }
    void setLinkNote(const QString& note);

signals:
    void handler();
    void abort();
    void cancel();
    void startEvents(const bool& value);
    void event(const QByteArray& data, QDateTime datetime);
    void sendPacket(QPacket* packet);
    void errorEvent(const QSerialPortError& error, const QString& errorString);
    void linkNoteChanged(const QString& note);

public slots:
    // Opens the port (the system location in number) and starts the worker loop.
    bool start(QString number, QSerialPort::SerialPortError& error, QString& errorString);
    // Ends the loop and waits for the thread; the request in flight gets ClosedByUser.
    void stop();

protected:
    void run() override;

private:
    void dropWhenStopped(QPacket* packet);
    void noteAnswer(QSerialPortError error);

    MySerialPort* port = nullptr;
    QString m_portName;
    bool m_answering = false;
    bool m_keptOpen = false;
    QString m_linkNote;
};
