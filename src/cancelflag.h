#pragma once

#include <QMutex>

// The cancel flag of a cancellable task: set by whoever stops the task (a dialog's onCancel(),
// the command-line tool's Ctrl+C), read by the task at its check points, both always under the
// lock.
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
