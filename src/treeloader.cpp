#include "treeloader.h"

#include "mytreewidgetitem.h"
#include "treerows.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

using namespace ViewTree;

namespace {

constexpr int ProgressStep = 500;

QStringList fields(const QSqlQuery& query)
{
    QStringList result;
    for (int n = 0; n < TreeRow::FieldCount; ++n)
        result << query.value(FirstField + n).toString();
    return result;
}

} // namespace

TreeLoad loadTreeItems(QSqlDatabase& db, const std::function<void(int)>& setMaximum,
                       const std::function<void(int)>& setValue)
{
    TreeLoad load;
    int rows = 0;
    QSqlError error;
    if (!countRows(db, &rows, &error)) {
        load.error = error.text();
        return load;
    }

    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("select * from view_tree"))) {
        load.error = query.lastError().text();
        return load;
    }
    if (rows > 0)
        setMaximum(rows);

    QTreeWidgetItem* subscriber = nullptr;
    qint64 lastNumber = -1;
    int processed = 0;
    while (query.next()) {
        const qint64 number = query.value(MasterId).toLongLong();
        if (query.value(SlaveId).isNull()) {
            // The view lists each subscriber's own row before its keys.
            lastNumber = number;
            subscriber = TreeRow::newSubscriber(int(number), query.value(Apartment).toString(),
                                                query.value(Phone).toString(), fields(query));
            load.items.append(subscriber);
        } else if (subscriber && number == lastNumber) {
            TreeRow::newKey(subscriber, query.value(SlaveId).toUInt(), query.value(Type).toInt(),
                            query.value(Number).toString(), fields(query));
        }
        // A key without its subscriber (written past the foreign key) has no row to go under.
        ++processed;
        if (processed % ProgressStep == 1)
            setValue(processed);
    }
    return load;
}
