#pragma once

#include <QObject>
#include <QTimer>

struct EventRow;
class OwnerLookup;
class QAction;
class QCheckBox;
class QTreeWidget;
class QTreeWidgetItem;

// The window's live events list: a row for each event, added at the end or at the top as
// "Добавлять события в начало" says. Changing that order re-sorts the rows already there. The
// list follows new events while its view is at the end where they arrive (or that end's row is
// current), and stays where the user scrolled to otherwise, as log viewers do.
class EventsList : public QObject
{
    Q_OBJECT
public:
    // newestFirst is the order's action, box its check box beside the list.
    EventsList(QTreeWidget* tree, QAction* newestFirst, QCheckBox* box, OwnerLookup* owners,
               QObject* parent);

    void add(const EventRow& row);
    void clear();
    // Re-sorts the whole list, newest first or oldest first; nothing to do when already so.
    void setNewestFirst(bool newestFirst);

private:
    // Whether the view shows the end where new rows arrive.
    bool atArrivingEnd() const;
    // After a burst of rows: to the arriving end, or back to the rows the user was reading.
    void settle();

    QTreeWidget* m_tree;
    QAction* m_newestFirst;
    OwnerLookup* m_owners;
    bool m_sortedNewestFirst = false;
    // Scrolling waits until a burst of events is in, so that each event costs no layout.
    QTimer m_settle;
    bool m_follow = false;
    QTreeWidgetItem* m_firstShown = nullptr;
};
