#pragma once

#include <QSqlError>
#include <QSqlQuery>

class QSqlDatabase;

// One explicit transaction of a writer: begun on construction, and rolled back on destruction
// unless it was committed, so that every way out of the writing leaves the database exactly
// as it was.
class SqlTransaction
{
public:
    explicit SqlTransaction(QSqlDatabase& db);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;

    // False when the transaction could not begin; error() tells why.
    bool isActive() const { return m_active; }
    // Ends the transaction; false with error() when it was not active or does not end, and it
    // is then rolled back at destruction.
    bool commit();
    // Why beginning or committing failed.
    QSqlError error() const { return m_statement.lastError(); }

private:
    QSqlQuery m_statement;
    bool m_active = false;
};
