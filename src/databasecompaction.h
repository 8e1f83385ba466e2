#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>

// Compacts a closed database file ("VACUUM") in a pool thread, on a connection of its own, so
// that closing a large file does not hold the window. One file at a time; the object's end
// waits for a compaction that still runs, so none is ever abandoned.
class DatabaseCompaction : public QObject
{
    Q_OBJECT
public:
    explicit DatabaseCompaction(QObject* parent = nullptr);
    ~DatabaseCompaction() override;

    // Compacts fileName, after waiting for the compaction before it if one still runs.
    void start(const QString& fileName);
    bool isRunning() const { return m_watcher.isRunning(); }
    // Blocks until the compaction has ended.
    void waitForFinished() { m_watcher.waitForFinished(); }

signals:
    // The compaction has ended; error is empty on success. A file that cannot be compacted
    // (read-only, locked by another program) loses nothing, so callers may ignore it.
    void finished(const QString& error);

private:
    QFutureWatcher<QString> m_watcher;
};
