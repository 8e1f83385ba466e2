#include "mytreewidgetitem.h"

#include <QTreeWidget>

namespace {

// A text that is not a number counts as 0.
qlonglong number(const QTreeWidgetItem& row)
{
    return row.text(0).toLongLong();
}

} // namespace

bool MyTreeWidgetItem::operator<(const QTreeWidgetItem& other) const
{
    const QTreeWidget* tree = treeWidget();
    return lessThan(*this, other, tree ? tree->sortColumn() : 0);
}

void MyTreeWidgetItem::setData(int column, int role, const QVariant& value)
{
    // Forgotten before the change: a sorting tree moves the row from inside the base setData.
    if (column == m_key.column && (role == Qt::DisplayRole || role == Qt::EditRole))
        m_key = SortKey();
    QTreeWidgetItem::setData(column, role, value);
}

const MyTreeWidgetItem::SortKey& MyTreeWidgetItem::sortKey(int column) const
{
    if (m_key.column != column) {
        m_key.column = column;
        if (column == 0) {
            m_key.number = number(*this);
            m_key.text.clear();
        } else {
            m_key.text = text(column).toLower();
        }
    }
    return m_key;
}

bool MyTreeWidgetItem::lessThan(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column)
{
    const auto* keyedA = dynamic_cast<const MyTreeWidgetItem*>(&a);
    const auto* keyedB = dynamic_cast<const MyTreeWidgetItem*>(&b);
    if (column == 0) {
        return (keyedA ? keyedA->sortKey(0).number : number(a)) <
               (keyedB ? keyedB->sortKey(0).number : number(b));
    }
    if (keyedA && keyedB)
        return keyedA->sortKey(column).text < keyedB->sortKey(column).text;
    return a.text(column).toLower() < b.text(column).toLower();
}
