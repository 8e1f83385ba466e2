#pragma once

#include "databasecompaction.h"
#include "databasefile.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include <functional>

class QWidget;

// The life of the window's database file on the default connection: opened only when it
// exists and passes the format check (a refused file is left exactly as it was), created from
// the template, closed with its compaction in the background, and no file opened or created
// while the one closed last is still being compacted. Says what went wrong in boxes over the
// window.
class DatabaseSession : public QObject
{
    Q_OBJECT
public:
    explicit DatabaseSession(QWidget* window);
    ~DatabaseSession() override;

    QSqlDatabase* database() { return &m_db; }
    bool isOpen() const { return m_db.isOpen(); }
    QString fileName() const { return m_db.databaseName(); }
    // The key format the open file proposes for new keys and events.
    int keyFormat() const { return m_keyFormat; }
    bool isCompacting() const { return m_compaction.isRunning(); }
    // Whether the open file refuses changes, as found when it was opened.
    bool isReadOnly() const { return m_readOnly; }

    // The file dialogs for a new file and for one to open; empty when none was chosen.
    QString chooseNewFile();
    QString chooseFile();

    // Opens fileName in place of the open file; false, after saying why, when it is missing,
    // does not open or fails the format check.
    bool open(const QString& fileName);
    // Writes a new file from the template at fileName (which may be the open one); false after
    // saying why not.
    bool create(const QString& fileName);
    // Closes the open file; it is compacted in the background unless another is about to be
    // opened in its place.
    void close(bool compact);
    // Reads the open file's settings again; false after saying why not.
    bool reloadSettings();
    // Takes a snapshot of the open file and deletes every subscriber and key; false after
    // saying why not (nothing is deleted without its snapshot).
    bool clear();
    // Fills the open (cleared) file with test data in a pool thread; says why not under title.
    void generateTestData(const QString& title, const std::function<void(int)>& progress);
    // Says once, in a warning, that the file just opened refuses changes.
    void warnIfReadOnly();
    // Waits for the compaction of the file closed last, showing the wait when it lasts.
    void waitForCompaction();

signals:
    // The open file's settings were read (on opening and on reloadSettings).
    void settingsLoaded(const DatabaseFile::Settings& settings);
    // A file was closed, or one that was being opened was refused.
    void closed();

private:
    QWidget* m_window;
    QSqlDatabase m_db;
    DatabaseCompaction m_compaction;
    int m_keyFormat = 2;
    bool m_readOnly = false;
};
