#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <functional>
#include <memory>

// Temporary files that the process writing them holds locked for as long as it lives, so that
// another run can tell the files of runs killed outright from those still being written, and
// remove only the former. The lock is flock's: the system drops it with the process, and
// SQLite's own locks on the file do not meet it. Where the file system has no such locks,
// nothing is taken for abandoned.
namespace HeldFiles {

// A new temporary file made from pattern (QTemporaryFile's), open, and held until it is closed;
// null, with the reason, when none could be made.
std::unique_ptr<QTemporaryFile> create(const QString& pattern, QString* error);

// A new file at path, which must not exist yet, open for reading and writing and held until it
// is closed; null, with the reason, when it could not be made.
std::unique_ptr<QFile> createNew(const QString& path, QString* error);

// Removes the file at path, with the files named path and one of companions, when no living
// process holds it and, asked while it is held here, abandoned agrees; true when it was
// removed.
bool removeAbandoned(const QString& path, const QStringList& companions = {},
                     const std::function<bool()>& abandoned = {});

} // namespace HeldFiles
