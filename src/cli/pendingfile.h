#pragma once

#include <QString>
#include <QTemporaryFile>

#include <memory>

// A file that appears under its name only when it is complete: it is written as a hidden
// temporary file beside the target and renamed over it at the end; a file never committed is
// removed, also by a second Ctrl+C that ends the process at once. A process killed outright
// cannot remove its file: the next run for the same target does, never one whose process
// still lives.
class PendingFile
{
public:
    explicit PendingFile(const QString& target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Removes what killed runs left and makes the temporary file; false with the message to
    // show.
    bool create(QString* error);
    QString path() const { return m_file ? m_file->fileName() : QString(); }
    // Puts the finished file in the target's place, replacing what was there.
    bool commit(QString* error);
    // The message for a file that could not be made or written, for reason.
    QString failure(const QString& reason) const;

private:
    QString m_target;
    std::unique_ptr<QTemporaryFile> m_file;
};
