#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct pg_conn;
struct pg_result;

// A connection to a PostgreSQL server through libpq, for the fleet journal: opened and used in
// one thread, statements with text parameters, failures as values with a Russian sentence
// first. The connection string is libpq's (key=value, a URI, or service=NAME), so ~/.pgpass,
// PGPASSFILE, the service file and sslmode work as libpq has them; a password is never taken
// from it into any text this class shows.
class PgConnection
{
public:
    // Rows of text values; a NULL is an invalid QVariant.
    using Rows = QList<QVariantList>;

    PgConnection();
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects; password (asked of a person, never stored) is used only when given.
    bool open(const QString& conninfo, const QString& password = QString());
    void close();
    bool isOpen() const;
    // The server asked for a password that neither the connection string's files nor the caller
    // gave: ask the person, or tell them to put it in ~/.pgpass.
    bool needsPassword() const { return m_needsPassword; }
    // The server refused the password given (or the role): one typed wrong is asked again.
    bool passwordRefused() const { return m_passwordRefused; }
    // Why the last open or statement failed.
    QString errorText() const { return m_error; }
    // The server's SQLSTATE of the last failed statement ("42501": not allowed).
    QString errorCode() const { return m_errorCode; }

    // Runs one statement (with $1… taking params as text; an invalid QVariant is NULL). rows,
    // when given, receives what it returned. False with errorText().
    bool exec(const QString& sql, const QVariantList& params = {}, Rows* rows = nullptr);
    // Sends a statement as exec() does and returns at once; finish() waits for its end and says
    // whether it succeeded. Nothing else runs on the connection in between.
    bool start(const QString& sql, const QVariantList& params = {});
    bool finish();
    // Runs statements one after another, up to the first failure.
    bool execAll(const QStringList& statements);
    // A single value of the statement's first row; invalid when none or on a failure.
    QVariant value(const QString& sql, const QVariantList& params = {});

    // The connection string without its password, for messages and settings.
    static QString withoutPassword(const QString& conninfo);
    // Whether libpq understands the connection string; error says why not.
    static bool isValid(const QString& conninfo, QString* error);
    // Whether the connection string carries a password (password=… or a URI's user:password@).
    static bool hasPassword(const QString& conninfo);
    // A text as an SQL string literal or identifier, for the statements printed for an
    // administrator and the role names that cannot be parameters.
    static QString literal(const QString& text);
    static QString identifier(const QString& text);

private:
    bool failed(const QString& what);
    // The server's refusal of a statement, or the connection lost: always false.
    bool refused(const pg_result* result);

    pg_conn* m_conn = nullptr;
    QString m_error;
    QString m_errorCode;
    bool m_needsPassword = false;
    bool m_passwordRefused = false;
};
