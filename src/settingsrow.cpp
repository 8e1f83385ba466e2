#include "settingsrow.h"

#include "sqlmessages.h"

#include "settingsrecord.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace SettingsRow {

namespace {

QString translate(const char* text)
{
    return QCoreApplication::translate("QPanelSettings", text);
}

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
        *error =
            sqlErrorMessage(translate("Ошибка чтения настроек панели из БД"), query.lastError());
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
        *error =
            sqlErrorMessage(translate("Ошибка сохранения настроек панели в БД"), query.lastError());
        return false;
    }
    for (const QString& column : SettingsRecord::columns())
        query.bindValue(QLatin1Char(':') + column, values.value(column));
    if (!query.exec()) {
        *error =
            sqlErrorMessage(translate("Ошибка сохранения настроек панели в БД"), query.lastError());
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
