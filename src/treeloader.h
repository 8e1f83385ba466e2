#pragma once

#include <QList>
#include <QString>

#include <functional>

class QSqlDatabase;
class QSqlError;
class QTreeWidgetItem;

// The columns of view_tree: each subscriber's own row (slave_id NULL), then its keys.
namespace ViewTree {
enum Column : int {
    MasterId = 0,
    SlaveId = 1,
    Apartment = 2,
    Phone = 3,
    Type = 4,
    Number = 5,
    FirstField = 6,
};
// As many rows as the view has, without making the database build the view; false with the
// database's error when the tables cannot be counted.
bool countRows(QSqlDatabase& db, int* rows, QSqlError* error);
} // namespace ViewTree

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
