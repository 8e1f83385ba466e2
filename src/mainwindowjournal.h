#pragma once

#include "ownerlookup.h"

#include <QObject>
#include <QString>

class JournalRecorder;
class QLabel;
class QZelKorWindow;

// The main window's part in the event journal: records what the panel reports while the
// window is connected and the program's own actions, with owners from the open database;
// says once, in a warning and then in the status bar while it lasts, that the journal cannot
// be written; and looks owners up for the events list's tips. Everything received is written
// when the window goes.
class MainWindowJournal : public QObject
{
    Q_OBJECT
public:
    explicit MainWindowJournal(QZelKorWindow* window);
    ~MainWindowJournal() override;

    JournalRecorder* recorder() { return m_recorder; }
    OwnerLookup* owners() { return &m_owners; }
    // The window has connected to the panel on port.
    void linkStarted(const QString& port);

private:
    void onRecordingFailed(const QString& reason);
    void onRecordingResumed(qint64 lost);

    QZelKorWindow* m_window;
    JournalRecorder* m_recorder;
    OwnerLookup m_owners;
    QLabel* m_fault;
};
