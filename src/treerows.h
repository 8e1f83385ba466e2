#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

class QTreeWidget;
class QTreeWidgetItem;
class MyTreeWidgetItem;

// Layout of the rows of the database tree: a top-level row per subscriber, a child row per key.
// The subscriber row keeps its number in column 0's user data; a key row keeps its key code
// there and its key format code in column 1's user data.
namespace TreeRow {
enum Column : int {
    Subscriber = 0,
    Key = 1,
    Apartment = 2,
    Phone = 3,
    FirstField = 4, // the ten extra fields occupy columns 4 to 13
};
constexpr int FieldCount = 10;
constexpr int ColumnCount = FirstField + FieldCount;

inline bool isKey(const QTreeWidgetItem* row);
// The subscriber a row belongs to: its own number, or its owner's for a key row.
int subscriberNumber(const QTreeWidgetItem* row);
uint keyCode(const QTreeWidgetItem* keyRow);
int keyFormat(const QTreeWidgetItem* keyRow);
QStringList fields(const QTreeWidgetItem* row);
// A row kept in the item data of another list (search results, the owner combo box).
QVariant reference(QTreeWidgetItem* row);
QTreeWidgetItem* referenced(const QVariant& data);
// The current titles of the extra-field columns of a tree.
QStringList fieldTitles(const QTreeWidget* tree);

MyTreeWidgetItem* newSubscriber(int number, const QString& apartment, const QString& phone,
                                const QStringList& fields);
void setSubscriber(QTreeWidgetItem* row, int number, const QString& apartment, const QString& phone,
                   const QStringList& fields);
// A key row under owner, showing the owner's apartment and phone in light grey.
MyTreeWidgetItem* newKey(QTreeWidgetItem* owner, uint code, int format, const QString& number,
                         const QStringList& fields);
void setKey(QTreeWidgetItem* row, uint code, int format, const QString& number,
            const QString& apartment, const QString& phone, const QStringList& fields);
// The key rows repeat their owner's apartment and phone; call after the owner changed.
void copyOwnerColumns(QTreeWidgetItem* owner);

// A row of the search results for a found row of the tree: its subscriber number, its key
// text and its text in the searched column, and in column 0's user data a reference to it.
MyTreeWidgetItem* newFoundRow(QTreeWidgetItem* row, int searchedColumn);
// The row of the tree that a search result refers to.
QTreeWidgetItem* foundRow(const QTreeWidgetItem* result);
} // namespace TreeRow

#include <QTreeWidgetItem>

inline bool TreeRow::isKey(const QTreeWidgetItem* row)
{
    return row->parent() != nullptr;
}
