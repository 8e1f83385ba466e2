#include "qserialportthread.h"

#include "myserialport.h"
#include "qpacket.h"

QSerialPortThread::QSerialPortThread(QObject* parent)
    : QThread(parent)
{
    registerSerialPortErrorType();
    qRegisterMetaType<QPacket*>("QPacket*");
    // A request emitted while no worker runs would otherwise be lost without an owner.
    connect(this, &QSerialPortThread::sendPacket, this, &QSerialPortThread::dropWhenStopped,
            Qt::DirectConnection);
    connect(this, &QSerialPortThread::errorEvent, this, &QSerialPortThread::noteAnswer,
            Qt::DirectConnection);
}

QSerialPortThread::~QSerialPortThread()
{
    stop();
}

bool QSerialPortThread::start(QString number, QSerialPort::SerialPortError& error,
                              QString& errorString)
{
    error = QSerialPort::NoError;
    errorString.clear();
    if (isRunning()) {
        error = QSerialPort::OpenError;
        errorString = tr("Соединение с панелью уже установлено.");
        return false;
    }

    m_answering = false;
    m_portName = number;
    port = new MySerialPort;
    port->setPortName(number);
    port->setBaudRate(QSerialPort::Baud57600, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->setParity(QSerialPort::MarkParity);
    port->setStopBits(QSerialPort::OneStop);
    if (!port->open(QIODevice::ReadWrite)) {
        error = port->error();
        errorString = port->errorString();
        delete port;
        port = nullptr;
        return false;
    }

    registerSerialPortErrorType();
    connect(port, &MySerialPort::event, this, &QSerialPortThread::event, Qt::QueuedConnection);
    connect(port, &MySerialPort::errorEvent, this, &QSerialPortThread::errorEvent,
            Qt::QueuedConnection);
    connect(this, &QSerialPortThread::sendPacket, port, &MySerialPort::sendPacket,
            Qt::DirectConnection);
    connect(this, &QSerialPortThread::startEvents, port, &MySerialPort::onStartEvents,
            Qt::DirectConnection);
    connect(this, &QSerialPortThread::handler, port, &MySerialPort::onHandler,
            Qt::DirectConnection);
    connect(this, &QSerialPortThread::abort, port, &MySerialPort::onAbort, Qt::DirectConnection);
    connect(this, &QSerialPortThread::cancel, port, &MySerialPort::onCancel, Qt::DirectConnection);
    connect(this, &QThread::finished, port, &QObject::deleteLater, Qt::DirectConnection);

    port->moveToThread(this);
    QThread::start(QThread::InheritPriority);
    return true;
}

void QSerialPortThread::stop()
{
    emit abort();
    wait();
    // The port deleted itself when the thread finished.
    port = nullptr;
    m_answering = false;
}

void QSerialPortThread::setLinkNote(const QString& note)
{
    if (note == m_linkNote)
        return;
    m_linkNote = note;
    emit linkNoteChanged(note);
}

void QSerialPortThread::noteAnswer(QSerialPortError error)
{
    // A cancel says nothing about the line.
    if (error != CancelledByUser)
        m_answering = error == NoError;
}

void QSerialPortThread::run()
{
    emit handler();
}

void QSerialPortThread::dropWhenStopped(QPacket* packet)
{
    if (!port)
        delete packet;
}
