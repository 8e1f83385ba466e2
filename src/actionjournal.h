#pragma once

#include "lockstate.h"

#include <QString>

class QPacket;

// The program's own actions on the panel (lock and device commands, settings written, exports,
// imports, firmware written) go into the event journal with their outcome. Whoever runs them
// reports here; the window or ostrovel-cli installs the recorder that keeps them, and while
// none is installed the reports go nowhere.
namespace ActionJournal {

// Whoever keeps the reports (the journal's recorder), called in the reporting thread.
class Recorder
{
public:
    virtual void recordAction(const QString& action, const QString& outcome) = 0;

protected:
    ~Recorder() = default;
};

// The recorder that receives the reports; nullptr for none.
void setRecorder(Recorder* recorder);
Recorder* recorder();
// Uninstalls recorder if it is the one installed, as it goes away.
void unsetRecorder(Recorder* recorder);

// Records action with its outcome, at this moment.
void report(const QString& action, const QString& outcome);
// The outcome as the journal words it: "выполнено" when failure is empty, else the failure.
QString outcome(const QString& failure);
// Reports action with the outcome of packet's answer when it comes, whoever else waits for
// the answer. Call before the packet is sent.
void watch(QPacket* packet, const QString& action);

// How a lock or device command is named in the journal.
QString controlText(ControlledDevice device, ControlMode mode);

} // namespace ActionJournal
