#include "treerows.h"

#include "mytreewidgetitem.h"

#include <QBrush>
#include <QTreeWidget>

namespace TreeRow {

namespace {

void setFields(QTreeWidgetItem* row, const QStringList& fields)
{
    for (int n = 0; n < FieldCount; ++n)
        row->setText(FirstField + n, fields.value(n));
}

void drawOwnerColumnsGrey(QTreeWidgetItem* keyRow)
{
    const QBrush grey(Qt::lightGray, Qt::SolidPattern);
    keyRow->setForeground(Apartment, grey);
    keyRow->setForeground(Phone, grey);
}

} // namespace

int subscriberNumber(const QTreeWidgetItem* row)
{
    const QTreeWidgetItem* subscriber = isKey(row) ? row->parent() : row;
    return subscriber->data(Subscriber, Qt::UserRole).toInt();
}

uint keyCode(const QTreeWidgetItem* keyRow)
{
    return keyRow->data(Subscriber, Qt::UserRole).toUInt();
}

int keyFormat(const QTreeWidgetItem* keyRow)
{
    return keyRow->data(Key, Qt::UserRole).toInt();
}

QVariant reference(QTreeWidgetItem* row)
{
    return QVariant::fromValue(static_cast<void*>(row));
}

QTreeWidgetItem* referenced(const QVariant& data)
{
    return static_cast<QTreeWidgetItem*>(data.value<void*>());
}

QStringList fields(const QTreeWidgetItem* row)
{
    QStringList result;
    for (int n = 0; n < FieldCount; ++n)
        result << row->text(FirstField + n);
    return result;
}

QStringList fieldTitles(const QTreeWidget* tree)
{
    QStringList titles;
    for (int n = 0; n < FieldCount; ++n)
        titles << tree->headerItem()->text(FirstField + n);
    return titles;
}

MyTreeWidgetItem* newSubscriber(int number, const QString& apartment, const QString& phone,
                                const QStringList& fields)
{
    auto* row = new MyTreeWidgetItem;
    setSubscriber(row, number, apartment, phone, fields);
    return row;
}

void setSubscriber(QTreeWidgetItem* row, int number, const QString& apartment, const QString& phone,
                   const QStringList& fields)
{
    row->setText(Subscriber, QString::number(number));
    row->setText(Key, QString());
    row->setText(Apartment, apartment);
    row->setText(Phone, phone);
    setFields(row, fields);
    row->setData(Subscriber, Qt::UserRole, number);
}

MyTreeWidgetItem* newKey(QTreeWidgetItem* owner, uint code, int format, const QString& number,
                         const QStringList& fields)
{
    auto* row = new MyTreeWidgetItem(owner);
    setKey(row, code, format, number, owner->text(Apartment), owner->text(Phone), fields);
    drawOwnerColumnsGrey(row);
    return row;
}

void setKey(QTreeWidgetItem* row, uint code, int format, const QString& number,
            const QString& apartment, const QString& phone, const QStringList& fields)
{
    row->setText(Subscriber, QString());
    row->setText(Key, number);
    row->setText(Apartment, apartment);
    row->setText(Phone, phone);
    setFields(row, fields);
    row->setData(Subscriber, Qt::UserRole, code);
    row->setData(Key, Qt::UserRole, format);
}

void copyOwnerColumns(QTreeWidgetItem* owner)
{
    for (int i = 0; i < owner->childCount(); ++i) {
        owner->child(i)->setText(Apartment, owner->text(Apartment));
        owner->child(i)->setText(Phone, owner->text(Phone));
    }
}

MyTreeWidgetItem* newFoundRow(QTreeWidgetItem* row, int searchedColumn)
{
    // A search may find tens of thousands of rows: the texts are shared with the found row and
    // its owner rather than made anew.
    auto* found = new MyTreeWidgetItem;
    found->setText(Subscriber, (isKey(row) ? row->parent() : row)->text(Subscriber));
    found->setText(Key, row->text(Key));
    found->setText(2, row->text(searchedColumn));
    found->setData(Subscriber, Qt::UserRole, reference(row));
    return found;
}

QTreeWidgetItem* foundRow(const QTreeWidgetItem* result)
{
    return referenced(result->data(Subscriber, Qt::UserRole));
}

} // namespace TreeRow
