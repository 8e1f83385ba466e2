#include "qdatabasetree.h"

#include "databasefile.h"
#include "taskconnection.h"
#include "treefill.h"
#include "treeloader.h"
#include "treerows.h"
#include "windowtask.h"
#include "workpool.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPainter>
#include <QtConcurrent>

void QDatabaseTree::keepDefaultColumns()
{
    m_defaultHeaderGeometry = header()->saveGeometry();
    m_defaultHeaderState = header()->saveState();
    m_defaultTitles.clear();
    for (int column = 0; column < headerItem()->columnCount(); ++column)
        m_defaultTitles << headerItem()->text(column);
}

void QDatabaseTree::restoreDefaultColumns()
{
    header()->restoreGeometry(m_defaultHeaderGeometry);
    header()->restoreState(m_defaultHeaderState);
    for (int column = 0; column < m_defaultTitles.size(); ++column)
        headerItem()->setText(column, m_defaultTitles.at(column));
}

void QDatabaseTree::applySettings(const DatabaseFile::Settings& settings, QComboBox* searchColumns)
{
    QTreeWidgetItem* titles = headerItem();
    // Extra field n is column 3 + n.
    for (int n = 1; n <= TreeRow::FieldCount; ++n)
        titles->setText(TreeRow::Phone + n, DatabaseFile::fieldTitle(settings, n));
    for (int column = 0; column < TreeRow::FirstField; ++column)
        searchColumns->addItem(titles->text(column), column);
    for (int n = 1; n <= TreeRow::FieldCount; ++n) {
        const int column = TreeRow::Phone + n;
        const bool visible = DatabaseFile::fieldVisible(settings, n);
        setColumnHidden(column, !visible);
        if (visible)
            searchColumns->addItem(titles->text(column), column);
    }
}

QString QDatabaseTree::load(const QList<QTreeWidgetItem*>& oldRows, const QString& databaseFile,
                            const std::function<void(int)>& setMaximum,
                            const std::function<void(int)>& setValue)
{
    const int sortColumn = header()->sortIndicatorSection();
    const Qt::SortOrder order = header()->sortIndicatorOrder();
    const TreeLoad load = awaitFuture(QtConcurrent::run(workPool(), [=] {
        qDeleteAll(oldRows);
        TaskConnection connection(databaseFile);
        if (!connection.isOpen())
            return TreeLoad{{}, connection.errorText()};
        TreeLoad rows = loadTreeItems(connection.database(), setMaximum, setValue);
        // In the tree's order, so that sorting them again here takes little time.
        TreeFill::sortRows(&rows.items, sortColumn, order);
        return rows;
    }));
    TreeFill::addRows(this, load.items, TreeFill::Events::BetweenSteps);
    return load.error;
}

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
