#pragma once

#include "qserialporterror.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QSerialPort>
#include <QWaitCondition>

class QPacket;

// The serial port as the worker thread drives it: one loop without an event loop that
// polls the panel for events about every 200 ms and, between polls, exchanges the queued
// requests one at a time with retries. The short slots are called directly from the GUI
// thread and only touch the mutex-guarded members.
class MySerialPort : public QSerialPort
{
    Q_OBJECT
public:
    explicit MySerialPort(QObject* parent = nullptr);
    ~MySerialPort() override;

    // One exchange with up to three attempts; true when a valid answer with result code 0
    // is in answer. After a non-zero result code on every attempt it returns false with
    // error NoError and the last answer.
    bool sendData(const char* frame, const qint64& size, QByteArray& answer,
                  QSerialPortError& error, QString& errorString, const qint64& timeout);
    // Reads one answer frame; the time-out runs from the start of the answer.
    bool receiveAnswer(int timeout, QByteArray& answer, QSerialPortError& error,
                       QString& errorString);
    // The pause after writing: about the line time of the bytes, then as much again.
    void waitWritten(int bytes);
    QPacket* takeNextPacket();

signals:
    void event(const QByteArray& data, QDateTime datetime);
    void errorEvent(const QSerialPortError& error, const QString& errorString);

public slots:
    void onHandler();
    void onCancel();
    void onAbort();
    void sendPacket(QPacket* packet);
    void onStartEvents(const bool& value);

private:
    bool isAborted();
    bool isCancelled();
    bool isInterrupted();
    int eventMode();
    void poll(int mode);
    void serve(QPacket* packet);
    void dropQueuedPackets();
    // Sleeps up to ms, or until a request, a switch of polling or the stop comes.
    void waitForWork(qint64 ms);

    QMutex m_mutex;
    bool m_abort = false;
    bool m_cancel = false;     // the request being exchanged is cancelled
    bool m_cancelNext = false; // the next request queued is answered cancelled, unsent
    bool m_serving = false;    // a request (not a poll) is being exchanged
    int m_eventMode = 1;
    QList<QPacket*> m_queue;
    QWaitCondition m_work;
};
