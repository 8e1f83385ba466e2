#pragma once

#include <QAction>

// One entry of the recent-files menu: reopens its file, and asks for its removal from the
// list when the file no longer opens.
class QRecentFileAction : public QAction
{
    Q_OBJECT
public:
    QRecentFileAction(const QString& fileName, QObject* parent);

signals:
    bool openDB(QString fileName);
    void removeRecentFile(QString fileName);

public slots:
    void onTriggered(bool checked);
};
