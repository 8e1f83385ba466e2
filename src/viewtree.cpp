#include "viewtree.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

bool ViewTree::countRows(QSqlDatabase& db, int* rows, QSqlError* error)
{
    // Keys and subscribers never make equal rows, so the view's union drops none of them.
    QSqlQuery count(db);
    if (!count.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM subscriber) + "
                                   "(SELECT COUNT(*) FROM card)")) ||
        !count.next()) {
        *error = count.lastError();
        return false;
    }
    *rows = count.value(0).toInt();
    return true;
}
