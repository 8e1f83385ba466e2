#include "answerfailure.h"

#include "protocol.h"
#include "qprotocolerrors.h"

QString answerFailure(QSerialPortError error, const QString& errorString, const QByteArray& answer)
{
    if (error != QSerialPortError::NoError)
        return errorString;
    // The worker hands over only complete frames without a link error; anything shorter than a
    // header is shown as the incomplete answer it is, so that no requester reads past it.
    if (answer.size() < Protocol::HeaderSize)
        return linkErrorText(QSerialPortError::Timeout, answer.size(), Protocol::HeaderSize);
    const quint8 result = quint8(answer.at(Protocol::OffsetResult));
    return result == 0 ? QString() : QProtocolErrors::text(result);
}
