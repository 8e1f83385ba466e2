#pragma once

#include "eventrecord.h"
#include "journalrecord.h"

#include <QTreeWidgetItem>
#include <QVector>

class OwnerLookup;

// A row of the events list. Its key cell's tool tip names whom the key belongs to in the open
// database, looked up when the tip is shown, so that a row costs no lookup when it arrives. The
// row's three texts are exactly those of a plain row.
class EventListItem : public QTreeWidgetItem
{
public:
    EventListItem(const EventRow& row, OwnerLookup* owners);

    QVariant data(int column, int role) const override;

    // The tip for the owners found; one line each.
    static QString ownerTip(const QVector<JournalOwner>& owners);

    static constexpr int KeyColumn = 1;

private:
    OwnerLookup* m_owners;
    quint32 m_key;
};
