#pragma once

#include <QMetaType>
#include <QString>

// Link-level outcome of one exchange with the panel; travels with every answer and
// every errorEvent. Values 1 to 3 are not used. Opening the port reports Qt's own
// QSerialPort::SerialPortError instead.
enum QSerialPortError : int {
    NoError = 0,
    ClosedByUser = 4,
    CancelledByUser = 5,
    Timeout = 6,
    HeaderCrcError = 7,
    DataCrcError = 8,
    PortGone = 9, // the device went away under the open port (the adapter was pulled out)
};

Q_DECLARE_METATYPE(QSerialPortError)

// Registers the type under its own name so that it crosses threads in queued signals.
void registerSerialPortErrorType();

// The text shown for a link error. For Timeout, received and expected are the byte
// counts of the incomplete answer.
QString linkErrorText(QSerialPortError error, int received = 0, int expected = 0);
