#pragma once

#include <QList>
#include <QString>
#include <Qt>

class QTreeWidget;
class QTreeWidgetItem;

// Filling, emptying and searching the big lists of the main window (the database tree, the
// search results) without freezing the window: a sorting QTreeWidget takes rows one by one,
// each announced to its view on its own, deleting tens of thousands of rows takes long, and
// the item views' own search builds a model index for every row.
namespace TreeFill {

// Puts rows of no tree yet, with their children, into the order a tree sorted by column in
// that order shows them. Safe in any thread.
void sortRows(QList<QTreeWidgetItem*>* rows, int column, Qt::SortOrder order);

// Appends the rows to the tree in one step, then sorts a sorting tree again by its column and
// order; that sort is quick when the rows came through sortRows. If asked, the event loop
// runs after each step, the tree laying its rows out in the second run rather than with the
// next paint, so that no step holds the window long.
enum class Events { Held, BetweenSteps };
void addRows(QTreeWidget* tree, const QList<QTreeWidgetItem*>& rows, Events events = Events::Held);

// Empties the tree at once and hands its rows over to the caller, who may delete them in any
// thread.
QList<QTreeWidgetItem*> takeRows(QTreeWidget* tree);
// Empties the tree at once; the rows are deleted in a pool thread.
void clearRows(QTreeWidget* tree);

// The rows of a tree, subscribers and keys in tree order, whose text in a column matches a
// condition under item-view match flags (contains, starts with, ends with, or a QRegExp that
// the whole text matches; case-insensitive unless asked otherwise): what
// QTreeWidget::findItems finds, without a model index for every row.
QList<QTreeWidgetItem*> findRows(const QTreeWidget* tree, const QString& condition,
                                 Qt::MatchFlags flags, int column);

// The match rule of a search type of the search frame: 0 contains, 1 starts with, 2 ends with,
// 3 regular expression; all case-insensitive and descending into key rows.
Qt::MatchFlags searchTypeFlags(int type);

// Replaces the rows of results by one result row for each row of tree that findRows finds.
void showFoundRows(QTreeWidget* results, const QTreeWidget* tree, const QString& condition,
                   Qt::MatchFlags flags, int column);
// Deletes the results that refer to row or to a key row under it, before row is deleted.
void removeFoundRows(QTreeWidget* results, const QTreeWidgetItem* row);

} // namespace TreeFill
