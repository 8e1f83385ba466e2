#include "eventlistitem.h"

#include "ownerlookup.h"

#include <QCoreApplication>

EventListItem::EventListItem(const EventRow& row, OwnerLookup* owners)
    : QTreeWidgetItem(QStringList{row.time, row.key, row.description})
    , m_owners(owners)
    , m_key(row.card)
{}

QVariant EventListItem::data(int column, int role) const
{
    if (column != KeyColumn || role != Qt::ToolTipRole || m_key == 0 || !m_owners ||
        !m_owners->hasDatabase())
        return QTreeWidgetItem::data(column, role);
    return ownerTip(m_owners->owners(m_key));
}

QString EventListItem::ownerTip(const QVector<JournalOwner>& owners)
{
    const auto tr = [](const char* text) {
        return QCoreApplication::translate("EventListItem", text);
    };
    if (owners.isEmpty())
        return tr("Ключа нет в открытой БД");
    QStringList lines;
    for (const JournalOwner& owner : owners) {
        QStringList parts{tr("Абонент %1").arg(owner.subscriber)};
        if (!owner.apartment.isEmpty())
            parts << tr("квартира %1").arg(owner.apartment);
        if (!owner.name.isEmpty())
            parts << owner.name;
        lines << parts.join(QStringLiteral(", "));
    }
    return lines.join(QLatin1Char('\n'));
}
