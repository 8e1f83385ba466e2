#pragma once

#include <QTreeWidget>

// The database tree of the main window. Subscribers are the top level and stand on their own:
// they get an expand mark when they have keys and no branch lines, so that a subscriber
// without keys does not look like a child of the row above. Keys keep their connectors.
class QDatabaseTree : public QTreeWidget
{
    Q_OBJECT
public:
    using QTreeWidget::QTreeWidget;

protected:
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;
};
