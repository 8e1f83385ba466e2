#include "recentfilesmenu.h"

#include "qrecentfileaction.h"
#include "recentfiles.h"

#include <QAction>
#include <QMenu>

RecentFilesMenu::RecentFilesMenu(QAction* menuAction, QAction* clear,
                                 std::function<bool(QString)> open, QWidget* window)
    : QObject(window)
    , m_menu(new QMenu(window))
    , m_clear(clear)
    , m_open(std::move(open))
{
    menuAction->setMenu(m_menu);
    rebuild();
}

void RecentFilesMenu::add(const QString& fileName)
{
    RecentFiles::save(RecentFiles::added(RecentFiles::load(), fileName));
    rebuild();
}

void RecentFilesMenu::remove(const QString& fileName)
{
    RecentFiles::save(RecentFiles::removed(RecentFiles::load(), fileName));
    rebuild();
}

void RecentFilesMenu::clear()
{
    RecentFiles::save({});
    rebuild();
}

void RecentFilesMenu::rebuild()
{
    for (QRecentFileAction* entry :
         QRecentFileAction::fillMenu(m_menu, RecentFiles::load(), m_clear, parent())) {
        connect(entry, &QRecentFileAction::openDB, this,
                [this](const QString& fileName) { return m_open(fileName); });
        connect(entry, &QRecentFileAction::removeRecentFile, this, &RecentFilesMenu::remove);
    }
}
