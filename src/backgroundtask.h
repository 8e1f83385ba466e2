#pragma once

#include "qruntimeerror.h"

#include <QMutex>
#include <QString>

#include <functional>

class QWidget;

// The cancel flag of a dialog that runs a cancellable task: set in the GUI thread by the
// dialog's onCancel(), read by the task at its check points, both always under the lock.
class CancelFlag
{
public:
    void set();
    void clear();
    bool isSet() const;

private:
    mutable QMutex m_lock;
    bool m_set = false;
};

// Runs task on the global thread pool under a modal QWaitDialog (parent owner, label
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
