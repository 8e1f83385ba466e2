#pragma once

#include <QString>
#include <QTreeWidgetItem>

// Tree row of the database tree and the search results: column 0 (the subscriber number)
// sorts numerically, every other column by its lower-cased text.
class MyTreeWidgetItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override;
    void setData(int column, int role, const QVariant& value) override;
    // The same order by a given column, for rows that are in no tree yet.
    static bool lessThan(const QTreeWidgetItem& a, const QTreeWidgetItem& b, int column);

private:
    // What the row sorts by in one column, worked out once: a sort compares every row many
    // times. Forgotten when that column's text changes.
    struct SortKey
    {
        int column = -1;
        qlonglong number = 0;
        QString text;
    };
    const SortKey& sortKey(int column) const;

    mutable SortKey m_key;
};
