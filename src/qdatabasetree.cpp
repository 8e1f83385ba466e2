#include "qdatabasetree.h"

#include <QPainter>

void QDatabaseTree::drawBranches(QPainter* painter, const QRect& rect,
                                 const QModelIndex& index) const
{
    if (!index.parent().isValid()) {
        if (model()->hasChildren(index))
            QTreeWidget::drawBranches(painter, rect, index);
        return;
    }
    // The outermost cell of a key row carries the line that would join the subscribers.
    QRect own = rect;
    if (isRightToLeft())
        own.setRight(rect.right() - indentation());
    else
        own.setLeft(rect.left() + indentation());
    painter->save();
    painter->setClipRect(own, Qt::IntersectClip);
    QTreeWidget::drawBranches(painter, rect, index);
    painter->restore();
}
