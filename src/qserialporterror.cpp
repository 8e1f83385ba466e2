#include "qserialporterror.h"

#include <QCoreApplication>

void registerSerialPortErrorType()
{
    qRegisterMetaType<QSerialPortError>("QSerialPortError");
}

QString linkErrorText(QSerialPortError error, int received, int expected)
{
    switch (error) {
    case NoError:
        return {};
    case ClosedByUser:
        return QCoreApplication::translate("MySerialPort", "Соединение закрыто пользователем.");
    case CancelledByUser:
        return QCoreApplication::translate("MySerialPort",
                                           "Выполнение команды прервано пользователем.");
    case Timeout:
        return QCoreApplication::translate("MySerialPort",
                                           "Таймаут ожидания данных. Получено %1 байт из %2.")
            .arg(received)
            .arg(expected);
    case HeaderCrcError:
        return QCoreApplication::translate("MySerialPort",
                                           "Неверная контрольная сумма пакета команды.");
    case DataCrcError:
        return QCoreApplication::translate("MySerialPort",
                                           "Неверная контрольная сумма пакета данных.");
    case PortGone:
        return QCoreApplication::translate(
            "MySerialPort", "Порт недоступен: адаптер отключён или устройство пропало.");
    }
    return {};
}
