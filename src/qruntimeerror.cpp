#include "qruntimeerror.h"

#include <QCoreApplication>

QRuntimeError QRuntimeError::cancelled()
{
    return failure(
        QCoreApplication::translate("QRuntimeError", "Операция прервана пользователем."));
}

void registerRuntimeErrorType()
{
    qRegisterMetaType<QRuntimeError>("QRuntimeError");
}
