#include "recentfiles.h"

#include "application.h"

#include <QSettings>

namespace RecentFiles {

namespace {
const char* const Key = "RecentFIles";
}

QStringList load()
{
    QSettings settings(QString::fromLatin1(Application::Domain), Application::settingsName());
    return settings.value(QLatin1String(Key)).toStringList();
}

void save(const QStringList& files)
{
    QSettings settings(QString::fromLatin1(Application::Domain), Application::settingsName());
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

} // namespace RecentFiles
