#include "settingsrow.h"

#include "settingsrecord.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace SettingsRow {

namespace {

QString selectStatement()
{
    QStringList items;
    for (const QString& column : SettingsRecord::columns())
        items << QStringLiteral("   ") + column;
    return QStringLiteral("SELECT%1 FROM system WHERE id = 1 ").arg(items.join(QLatin1Char(',')));
}

QString updateStatement()
{
    QStringList items;
    for (const QString& column : SettingsRecord::columns())
        items << QStringLiteral("   %1=:%1").arg(column);
    return QStringLiteral("UPDATE system SET%1 WHERE id = 1 ").arg(items.join(QLatin1Char(',')));
}

} // namespace

Read read(QSqlDatabase& db, QVariantMap* values, QString* error)
{
    QSqlQuery query(db);
    if (!query.exec(selectStatement())) {
        *error = query.lastError().text();
        return Read::Failed;
    }
    if (!query.next())
        return Read::Missing;
    values->clear();
    const QStringList columns = SettingsRecord::columns();
    for (int i = 0; i < columns.size(); ++i)
        values->insert(columns.at(i), query.value(i));
    return Read::Read;
}

bool save(QSqlDatabase& db, const QVariantMap& values, QString* error)
{
    QSqlQuery query(db);
    if (!query.prepare(updateStatement())) {
        *error = query.lastError().text();
        return false;
    }
    for (const QString& column : SettingsRecord::columns())
        query.bindValue(QLatin1Char(':') + column, values.value(column));
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

QString missingRowMessage()
{
    return QCoreApplication::translate("QPanelSettings",
                                       "Файл БД поврежден. Отсутствует запись о панели.");
}

} // namespace SettingsRow
