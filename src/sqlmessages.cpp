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
    // SQLITE_CONSTRAINT; Qt 6's driver adds the extended detail in the higher bits (1555 for a
    // primary key, 2067 for a unique index), Qt 5's does not.
    constexpr int ConstraintCode = 19;
    if ((error.nativeErrorCode().toInt() & 0xff) != ConstraintCode)
        return false;
    const QString text = error.text();
    for (const QString& name : names)
        if (!text.contains(name))
            return false;
    return true;
}
