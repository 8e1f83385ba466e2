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
    // The server's settings (postgres -c options) beside its socket. Tests keep the default,
    // which trades durability for speed; benchmarks ask for what a real server does.
    void setSettings(const QString& settings) { m_settings = settings; }
    QString dataDirectory() const { return m_data; }
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
    QString m_settings = QStringLiteral("-c fsync=off -c synchronous_commit=off"
                                        " -c full_page_writes=off");
};
