#include "mytreewidgetitem.h"

#include <QTreeWidget>

bool MyTreeWidgetItem::operator<(const QTreeWidgetItem& other) const
{
    const QTreeWidget* tree = treeWidget();
    const int column = tree ? tree->sortColumn() : 0;
    if (column == 0) {
        // A text that is not a number counts as 0.
        return text(0).toLongLong() < other.text(0).toLongLong();
    }
    return text(column).toLower() < other.text(column).toLower();
}
