#include "eventslist.h"

#include "eventlistitem.h"

#include <QAction>
#include <QCheckBox>
#include <QScrollBar>
#include <QTreeWidget>

EventsList::EventsList(QTreeWidget* tree, QAction* newestFirst, QCheckBox* box, OwnerLookup* owners,
                       QObject* parent)
    : QObject(parent)
    , m_tree(tree)
    , m_newestFirst(newestFirst)
    , m_owners(owners)
    , m_sortedNewestFirst(newestFirst->isChecked())
{
    connect(box, &QCheckBox::toggled, newestFirst, &QAction::setChecked);
    connect(newestFirst, &QAction::toggled, box, &QCheckBox::setChecked);
    box->addAction(newestFirst);
    // The check box sets the action's state without triggering it: the order follows the state.
    connect(newestFirst, &QAction::toggled, this, &EventsList::setNewestFirst);
    m_settle.setSingleShot(true);
    m_settle.setInterval(0);
    connect(&m_settle, &QTimer::timeout, this, &EventsList::settle);
}

bool EventsList::atArrivingEnd() const
{
    const int count = m_tree->topLevelItemCount();
    if (count == 0)
        return true;
    const QScrollBar* bar = m_tree->verticalScrollBar();
    QTreeWidgetItem* current = m_tree->currentItem();
    if (m_sortedNewestFirst)
        return bar->value() == bar->minimum() || current == m_tree->topLevelItem(0);
    return bar->value() == bar->maximum() || current == m_tree->topLevelItem(count - 1);
}

void EventsList::add(const EventRow& row)
{
    setNewestFirst(m_newestFirst->isChecked());
    if (!m_settle.isActive()) {
        m_follow = atArrivingEnd();
        // Rows put on top push the rows in view down; those are brought back in settle().
        m_firstShown = !m_follow && m_sortedNewestFirst ? m_tree->itemAt(0, 0) : nullptr;
        m_settle.start();
    }
    auto* item = new EventListItem(row, m_owners);
    if (m_sortedNewestFirst)
        m_tree->insertTopLevelItem(0, item);
    else
        m_tree->addTopLevelItem(item);
}

void EventsList::settle()
{
    if (m_follow) {
        if (m_sortedNewestFirst)
            m_tree->scrollToTop();
        else
            m_tree->scrollToBottom();
    } else if (m_firstShown) {
        m_tree->scrollToItem(m_firstShown, QAbstractItemView::PositionAtTop);
    }
    m_firstShown = nullptr;
}

void EventsList::clear()
{
    m_settle.stop();
    m_firstShown = nullptr;
    m_tree->clear();
}

void EventsList::setNewestFirst(bool newestFirst)
{
    if (newestFirst == m_sortedNewestFirst)
        return;
    m_sortedNewestFirst = newestFirst;
    m_settle.stop();
    m_firstShown = nullptr;
    // The time of reception sorts chronologically as text; the newest come into view.
    m_tree->sortItems(0, newestFirst ? Qt::DescendingOrder : Qt::AscendingOrder);
    if (newestFirst)
        m_tree->scrollToTop();
    else
        m_tree->scrollToBottom();
}
