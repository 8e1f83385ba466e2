#include "qrecentfileaction.h"

QRecentFileAction::QRecentFileAction(const QString& fileName, QObject* parent)
    : QAction(fileName, parent)
{}

void QRecentFileAction::onTriggered(bool)
{
    // The window shows its own message for a file that does not open.
    if (!emit openDB(text()))
        emit removeRecentFile(text());
}
