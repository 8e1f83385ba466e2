#pragma once

#include "qserialporterror.h"

#include <QByteArray>
#include <QString>

// What a requester shows for an answer that failed: the link error's text, or the text of the
// panel's result code (byte 2 of the answer frame). Empty for a good answer.
QString answerFailure(QSerialPortError error, const QString& errorString, const QByteArray& answer);
