#pragma once

#include "paneltables.h"

#include <QDateTime>
#include <QString>

#include <functional>

// The copy of a panel taken before an export clears it: a new database file made from the
// template, as a backup makes one, holding everything the panel held, so that opening it and
// exporting it puts the panel back. The copies of a database's panel live in its snapshot
// folder (DataFolders::snapshotFolder) as panel-<time>.zelkor; the newest Kept stay.
namespace PanelCopy {

constexpr int Kept = 10;

// The file name a copy taken at time gets in folder; never that of a file already there.
QString newFileName(const QString& folder, const QDateTime& time);

struct Result
{
    QString file;  // the copy, or the file prepared for it
    QString error; // why there is none; empty on success
};

// Makes the file of a new copy for databaseFile from the template, under a temporary name in
// its final folder, so that a place that cannot take a copy shows before the panel is read.
// The file is held (HeldFiles) until it is written or discarded; first, what killed runs left
// in the folder is swept.
Result prepare(const QString& databaseFile);
// Writes image, keys in keyFormat, into the prepared file, then gives it its name and removes
// the oldest copies beyond Kept; failing, it removes the file. Works on a connection of its
// own, for a pool thread; cancelled is asked before every subscriber.
Result write(const QString& prepared, const PanelTables::PanelImage& image, int keyFormat,
             const std::function<bool()>& cancelled);
// Removes a prepared file that will not be written.
void discard(const QString& prepared);
// Removes the unfinished copies in folder that no living run holds, left by killed ones.
void sweep(const QString& folder);

// Removes the oldest panel copies in folder beyond keep, never newest and never another file.
void prune(const QString& folder, int keep, const QString& newest);

} // namespace PanelCopy
