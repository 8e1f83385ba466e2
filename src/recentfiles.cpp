#include "recentfiles.h"

#include "application.h"

#include <QSettings>

namespace RecentFiles {

namespace {
const char* const Key = "RecentFIles";
}

QStringList load()
{
    QSettings settings = Application::settings();
    return settings.value(QLatin1String(Key)).toStringList();
}

void save(const QStringList& files)
{
    QSettings settings = Application::settings();
    settings.setValue(QLatin1String(Key), files);
}

QStringList added(QStringList files, const QString& path)
{
    files.removeOne(path);
    files.prepend(path);
    while (files.size() > MaxEntries)
        files.removeLast();
    return files;
}

QStringList removed(QStringList files, const QString& path)
{
    files.removeOne(path);
    return files;
}

} // namespace RecentFiles
