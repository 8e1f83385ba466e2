#include "sqltransaction.h"

SqlTransaction::SqlTransaction(QSqlDatabase& db)
    : m_statement(db)
    , m_active(m_statement.exec(QStringLiteral("BEGIN TRANSACTION")))
{}

SqlTransaction::~SqlTransaction()
{
    if (m_active)
        m_statement.exec(QStringLiteral("ROLLBACK TRANSACTION"));
}

bool SqlTransaction::commit()
{
    if (!m_active || !m_statement.exec(QStringLiteral("END TRANSACTION")))
        return false;
    m_active = false;
    return true;
}
