#pragma once

#include <QAction>
#include <QList>
#include <QStringList>

class QMenu;

// One entry of the recent-files menu: reopens its file, and asks for its removal from the
// list when the file no longer opens.
class QRecentFileAction : public QAction
{
    Q_OBJECT
public:
    QRecentFileAction(const QString& fileName, QObject* parent);

    // Refills the recent-files menu: an entry for each file, most recent first, then a
    // separator and clear. The entries are made with parent as their parent; those of the
    // previous filling are deleted. Returns the new entries for their owner to connect.
    static QList<QRecentFileAction*> fillMenu(QMenu* menu, const QStringList& files, QAction* clear,
                                              QObject* parent);

signals:
    bool openDB(QString fileName);
    void removeRecentFile(QString fileName);

public slots:
    void onTriggered(bool checked);
};
