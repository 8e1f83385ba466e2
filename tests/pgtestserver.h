#pragma once

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL server of the test program's own: initdb into a temporary folder, listening only
// on a Unix socket there, stopped and removed at the end. Roles log in with passwords, which a
// ~/.pgpass-style file of its own (PGPASSFILE, set for the program and its children) holds.
// PostgreSQL refuses to run as root, so there it runs as the package's `postgres` account.
class PgTestServer
{
public:
    PgTestServer();
    ~PgTestServer();

    // Makes and starts the server with the database "ostrovel"; false with error.
    bool start(QString* error);
    // Stops it (a server away) and starts it again on the same files.
    bool stop();
    bool restart();
    bool restart(QString* error);

    // A connection string of user to the test database, without a password.
    QString conninfo(const QString& user = QStringLiteral("postgres")) const;
    // Gives role a password and keeps it in the password file (or a wrong one there).
    bool setPassword(const QString& role, const QString& password, const QString& kept = QString());
    // Runs statements as the superuser; false with error.
    bool exec(const QString& sql, QString* error = nullptr);
    // The first value of a query as the superuser.
    QString value(const QString& sql);

private:
    bool run(const QString& program, const QStringList& arguments, QString* error);
    void writePassFile();

    QTemporaryDir m_dir;
    bool m_asPostgres = false;
    bool m_running = false;
    QString m_data;
    QStringList m_passLines;
};
