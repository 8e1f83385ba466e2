#include "qrecentfileaction.h"

#include <QMenu>

QRecentFileAction::QRecentFileAction(const QString& fileName, QObject* parent)
    : QAction(fileName, parent)
{}

void QRecentFileAction::onTriggered(bool)
{
    // The window shows its own message for a file that does not open.
    if (!emit openDB(text()))
        emit removeRecentFile(text());
}

QList<QRecentFileAction*> QRecentFileAction::fillMenu(QMenu* menu, const QStringList& files,
                                                      QAction* clear, QObject* parent)
{
    // The menu does not own its entries; they go with its contents.
    for (QAction* entry : menu->actions())
        if (qobject_cast<QRecentFileAction*>(entry))
            entry->deleteLater();
    menu->clear();
    QList<QRecentFileAction*> entries;
    for (const QString& fileName : files) {
        auto* entry = new QRecentFileAction(fileName, parent);
        connect(entry, &QAction::triggered, entry, &QRecentFileAction::onTriggered);
        menu->addAction(entry);
        entries.append(entry);
    }
    menu->addSeparator();
    menu->addAction(clear);
    return entries;
}
