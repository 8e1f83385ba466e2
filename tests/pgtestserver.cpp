#include "pgtestserver.h"

#include "pgconnection.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString BinDir = QStringLiteral("/usr/lib/postgresql/15/bin/");
const QString SuperPassword = QStringLiteral("super-secret");

} // namespace

PgTestServer::PgTestServer()
{
    m_asPostgres = geteuid() == 0;
    m_data = m_dir.filePath(QStringLiteral("data"));
}

PgTestServer::~PgTestServer()
{
    stop();
}

bool PgTestServer::run(const QString& program, const QStringList& arguments, QString* error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (m_asPostgres)
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                  QStringLiteral("--"), BinDir + program} +
                          arguments);
    else
        process.start(BinDir + program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        if (error)
            *error = program + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll()) +
                     process.errorString();
        return false;
    }
    return true;
}

bool PgTestServer::start(QString* error)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString passwordFile = m_dir.filePath(QStringLiteral("superuser-password"));
    QFile file(passwordFile);
    file.open(QIODevice::WriteOnly);
    file.write(SuperPassword.toUtf8());
    file.close();
    if (m_asPostgres) {
        const passwd* account = getpwnam("postgres");
        if (!account) {
            *error = QStringLiteral("running as root, and there is no postgres account");
            return false;
        }
        for (const QString& path : {m_dir.path(), passwordFile}) {
            if (chown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid) != 0) {
                *error = QStringLiteral("chown ") + path;
                return false;
            }
        }
    }
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), m_data, QStringLiteral("-U"), QStringLiteral("postgres"),
              QStringLiteral("--auth=scram-sha-256"), QStringLiteral("--pwfile=") + passwordFile,
              QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
              QStringLiteral("--no-sync")},
             error))
        return false;
    m_passLines = QStringList{QStringLiteral("*:*:*:postgres:") + SuperPassword};
    writePassFile();
    if (!restart(error))
        return false;
    return exec(QStringLiteral("CREATE DATABASE ostrovel"), error);
}

bool PgTestServer::restart(QString* error)
{
    const QString options =
        QStringLiteral("-c listen_addresses='' -c unix_socket_directories='%1' %2")
            .arg(m_dir.path(), m_settings);
    m_running = run(QStringLiteral("pg_ctl"),
                    {QStringLiteral("-D"), m_data, QStringLiteral("-o"), options,
                     QStringLiteral("-l"), m_dir.filePath(QStringLiteral("server.log")),
                     QStringLiteral("-w"), QStringLiteral("start")},
                    error);
    return m_running;
}

bool PgTestServer::restart()
{
    return restart(nullptr);
}

bool PgTestServer::stop()
{
    if (!m_running)
        return true;
    m_running = !run(QStringLiteral("pg_ctl"),
                     {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("fast"),
                      QStringLiteral("-w"), QStringLiteral("stop")},
                     nullptr);
    return !m_running;
}

QString PgTestServer::conninfo(const QString& user) const
{
    return QStringLiteral("host=%1 port=5432 dbname=ostrovel user=%2").arg(m_dir.path(), user);
}

void PgTestServer::writePassFile()
{
    const QString path = m_dir.filePath(QStringLiteral("pgpass"));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(m_passLines.join(QLatin1Char('\n')).toUtf8() + '\n');
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    qputenv("PGPASSFILE", QFile::encodeName(path));
}

bool PgTestServer::setPassword(const QString& role, const QString& password, const QString& kept)
{
    if (!exec(QStringLiteral("ALTER ROLE %1 PASSWORD %2")
                  .arg(PgConnection::identifier(role), PgConnection::literal(password))))
        return false;
    const QString prefix = QStringLiteral("*:*:*:") + role + QLatin1Char(':');
    for (int n = m_passLines.size() - 1; n >= 0; --n) {
        if (m_passLines[n].startsWith(prefix))
            m_passLines.removeAt(n);
    }
    m_passLines.append(prefix + (kept.isNull() ? password : kept));
    writePassFile();
    return true;
}

bool PgTestServer::exec(const QString& sql, QString* error)
{
    PgConnection connection;
    const bool ok =
        connection.open(conninfo().replace(QLatin1String("dbname=ostrovel"),
                                           sql.startsWith(QLatin1String("CREATE DATABASE"))
                                               ? QLatin1String("dbname=postgres")
                                               : QLatin1String("dbname=ostrovel"))) &&
        connection.exec(sql);
    if (!ok && error)
        *error = connection.errorText();
    return ok;
}

QString PgTestServer::value(const QString& sql)
{
    PgConnection connection;
    if (!connection.open(conninfo()))
        return QString();
    return connection.value(sql).toString();
}
