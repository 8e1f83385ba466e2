#pragma once

#include "cancelflag.h"
#include "qruntimeerror.h"

#include <QString>

#include <functional>

class QWidget;

// Runs task on the window's work pool (workPool()) under a modal QWaitDialog (parent owner, label
// processText) and returns its result once it has ended; with showResult the result is shown
// first in an information box (code 0) or a critical box, titled with the owner's window title.
//
// The owner must have the signals setMaximum(int) and setValue(int), which the task emits from
// its pool thread to drive the progress bar, and the slot onCancel(), which must set
// cancelFlag. The flag is cleared before the task starts, so that a dialog which stays open can
// run again after a cancel. The task must not touch widgets or the GUI thread's database
// connection: read the form before the call and open a connection of its own.
QRuntimeError runCancellableTask(QWidget* owner, CancelFlag& cancelFlag, const QString& processText,
                                 std::function<QRuntimeError()> task, bool showResult = true);
