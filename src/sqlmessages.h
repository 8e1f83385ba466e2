#pragma once

#include <QString>
#include <QStringList>

class QSqlError;

// The message of a failed statement: "%1.\r\nSqlError: %2." with a detail that says what
// failed, or "SqlError: %1." without one.
QString sqlErrorMessage(const QString& detail, const QSqlError& error);

// True when the driver reports a violated constraint (SQLite's native code 19, with or without
// its extended detail) whose text names every one of names, for example "subscriber.apartment".
bool isConstraintViolation(const QSqlError& error, const QStringList& names);
