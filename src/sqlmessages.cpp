#include "sqlmessages.h"

#include <QCoreApplication>
#include <QSqlError>

QString sqlErrorMessage(const QString& detail, const QSqlError& error)
{
    if (detail.isEmpty())
        return QCoreApplication::translate("SqlError", "SqlError: %1.").arg(error.text());
    return QCoreApplication::translate("SqlError", "%1.\r\nSqlError: %2.")
        .arg(detail, error.text());
}

bool isConstraintViolation(const QSqlError& error, const QStringList& names)
{
    if (error.nativeErrorCode() != QLatin1String("19"))
        return false;
    const QString text = error.text();
    for (const QString& name : names)
        if (!text.contains(name))
            return false;
    return true;
}
