#pragma once

#include <QString>
#include <QStringList>

// The list of database files opened lately, most recent first, kept in the per-user settings
// store under "RecentFIles" (the key is spelled so in every stored profile).
namespace RecentFiles {

constexpr int MaxEntries = 20;

QStringList load();
void save(const QStringList& files);
// path moves to the front; the list keeps at most MaxEntries, without duplicates.
QStringList added(QStringList files, const QString& path);
// path's first occurrence taken out.
QStringList removed(QStringList files, const QString& path);

} // namespace RecentFiles
