#pragma once

#include "viewtree.h"

#include <QList>
#include <QString>

#include <functional>

class QTreeWidgetItem;

// The rows of the database tree read from view_tree: subscribers as top-level items with
// their keys as children, not yet in any tree. Runs in a pool thread on a connection of that
// thread; progress goes out through the two callbacks.
struct TreeLoad
{
    QList<QTreeWidgetItem*> items;
    QString error; // the database's error text when the rows could not be read
};

TreeLoad loadTreeItems(QSqlDatabase& db, const std::function<void(int)>& setMaximum,
                       const std::function<void(int)>& setValue);
