#pragma once

#include <QTreeWidgetItem>

// Tree row of the database tree and the search results: column 0 (the subscriber number)
// sorts numerically, every other column by its lower-cased text.
class MyTreeWidgetItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override;
};
