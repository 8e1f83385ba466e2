#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QWidget;

// The "Недавние файлы" menu: the files opened lately, most recent first, kept in the settings
// store. Choosing an entry opens its file through the given function; an entry whose file no
// longer opens goes from the list.
class RecentFilesMenu : public QObject
{
    Q_OBJECT
public:
    // The menu of menuAction, in window; open tries to open a file and says true when it did;
    // clear ends the menu.
    RecentFilesMenu(QAction* menuAction, QAction* clear, std::function<bool(QString)> open,
                    QWidget* window);

    // fileName opened: to the top of the list.
    void add(const QString& fileName);
    // fileName no longer opens: out of the list.
    void remove(const QString& fileName);
    // "Очистить меню": the list emptied.
    void clear();

private:
    void rebuild();

    QMenu* m_menu;
    QAction* m_clear;
    std::function<bool(QString)> m_open;
};
