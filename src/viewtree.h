#pragma once

class QSqlDatabase;
class QSqlError;

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
