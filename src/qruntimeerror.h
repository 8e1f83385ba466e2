#pragma once

#include <QMetaType>
#include <QString>

// The outcome of a cancellable background task: code 0 when it did its work, -1 when it failed
// or was cancelled, and in either case the message the user is shown. A task starts from the
// default value and sets both fields before it returns.
struct QRuntimeError
{
    int code = 0;
    QString message;

    bool isSuccess() const { return code == 0; }

    static QRuntimeError success(const QString& message) { return {0, message}; }
    static QRuntimeError failure(const QString& message) { return {-1, message}; }
    // What a task returns when it stops at a check point because the user cancelled it.
    static QRuntimeError cancelled();
};

Q_DECLARE_METATYPE(QRuntimeError)

// Registers the type under its own name so that queued signals can carry it.
void registerRuntimeErrorType();
