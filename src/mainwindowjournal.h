#pragma once

#include "ownerlookup.h"

#include <QObject>
#include <QString>

class JournalRecorder;
class QLabel;
class QMainWindow;
class QSerialPortThread;
class QSqlDatabase;

// The main window's part in the event journal: records what the panel reports while the
// window is connected and the program's own actions, with owners from the open database;
// says once, in a warning and then in the status bar while it lasts, that the journal cannot
// be written; and looks owners up for the events list's tips. Everything received is written
// when the window goes.
class MainWindowJournal : public QObject
{
    Q_OBJECT
public:
    // Records what worker reports, with owners from the file open on database; says what it
    // has to say in window and its status bar.
    MainWindowJournal(QMainWindow* window, QSerialPortThread* worker, QSqlDatabase* database);
    ~MainWindowJournal() override;

    JournalRecorder* recorder() { return m_recorder; }
    OwnerLookup* owners() { return &m_owners; }
    // The window has connected to the panel on port.
    void linkStarted(const QString& port);

public slots:
    // A database was opened (its file owns keys from now on) or closed.
    void databaseOpened(bool open);

private:
    void onRecordingFailed(const QString& reason);
    void onRecordingResumed(qint64 lost);

    QMainWindow* m_window;
    QSqlDatabase* m_database;
    JournalRecorder* m_recorder;
    OwnerLookup m_owners;
    QLabel* m_fault;
};
