#pragma once

#include "journalrecorder.h"

#include <QObject>
#include <QString>

// The event journal of one command: its recorder, what it says on standard error when the
// journal cannot be written and when it can be again, and at the end what never reached the
// journal.
class CliJournal : public QObject
{
    Q_OBJECT
public:
    explicit CliJournal(const QString& file);
    ~CliJournal() override;

    JournalRecorder& recorder() { return m_recorder; }
    // The program's actions of this command on the panel at port go into this journal.
    void receiveActions(const QString& port);
    // Writes what is left, delivers what the recorder still had to say, and tells how many
    // records never reached the journal.
    void close();

    // The device path the window records a port under, so that the window and the tool find
    // one another's records of a port.
    static QString portLocation(const QString& port);

private:
    JournalRecorder m_recorder;
    bool m_closed = false;
};
