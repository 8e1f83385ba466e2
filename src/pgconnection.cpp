#include "pgconnection.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QVector>

#include <libpq-fe.h>

#include <memory>
#include <utility>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("PgConnection", text);
}

QString fromServer(const char* text)
{
    // libpq's messages run over several lines.
    return QString::fromUtf8(text).simplified();
}

struct ResultDeleter
{
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct OptionsDeleter
{
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};
using Options = std::unique_ptr<PQconninfoOption, OptionsDeleter>;

Options parse(const QString& conninfo, QString* error)
{
    char* message = nullptr;
    Options options(PQconninfoParse(conninfo.toUtf8().constData(), &message));
    if (!options && error)
        *error = message ? fromServer(message) : tr("нет памяти");
    PQfreemem(message);
    return options;
}

// Parameters as libpq takes them: texts, NULL for an invalid QVariant; texts keeps them.
QVector<const char*> paramValues(const QVariantList& params, QVector<QByteArray>* texts)
{
    QVector<const char*> values;
    texts->reserve(params.size());
    for (const QVariant& param : params) {
        texts->append(param.isValid() ? param.toString().toUtf8() : QByteArray());
        values.append(param.isValid() ? texts->last().constData() : nullptr);
    }
    return values;
}

} // namespace

PgConnection::PgConnection() = default;

PgConnection::~PgConnection()
{
    close();
}

bool PgConnection::open(const QString& conninfo, const QString& password)
{
    close();
    m_error.clear();
    m_needsPassword = false;
    m_passwordRefused = false;
    QString parseError;
    const Options options = parse(conninfo, &parseError);
    if (!options) {
        m_error = tr("Неверная строка подключения к серверу журнала: %1").arg(parseError);
        return false;
    }
    // The parsed options go to libpq as arrays, the password added only here. Unless the
    // string says otherwise, a server that never answers is given up after 10 s, and a network
    // that drops in the middle of a statement after about 30 s rather than the quarter of an
    // hour TCP keeps retrying (the journal view waits in the window's thread).
    QVector<QByteArray> keys;
    QVector<QByteArray> values;
    for (const PQconninfoOption* option = options.get(); option->keyword; ++option) {
        if (!option->val)
            continue;
        keys.append(option->keyword);
        values.append(option->val);
    }
    const std::pair<const char*, const char*> defaults[] = {{"connect_timeout", "10"},
                                                            {"keepalives_idle", "10"},
                                                            {"keepalives_interval", "5"},
                                                            {"keepalives_count", "3"},
                                                            {"tcp_user_timeout", "30000"}};
    for (const auto& [key, value] : defaults) {
        if (!keys.contains(key)) {
            keys.append(key);
            values.append(value);
        }
    }
    if (!password.isEmpty()) {
        keys.append("password");
        values.append(password.toUtf8());
    }
    keys.append("client_encoding");
    values.append("UTF8");
    keys.append("application_name");
    values.append("ostrovel");
    QVector<const char*> keyPointers;
    QVector<const char*> valuePointers;
    for (int n = 0; n < keys.size(); ++n) {
        keyPointers.append(keys[n].constData());
        valuePointers.append(values[n].constData());
    }
    keyPointers.append(nullptr);
    valuePointers.append(nullptr);
    m_conn = PQconnectdbParams(keyPointers.constData(), valuePointers.constData(), 0);
    if (PQstatus(m_conn) == CONNECTION_OK) {
        // The server's notices ("… does not exist, skipping") are for psql's users, not ours.
        PQsetNoticeProcessor(
            m_conn, [](void*, const char*) {}, nullptr);
        return true;
    }
    m_needsPassword = PQconnectionNeedsPassword(m_conn) != 0;
    m_passwordRefused = !m_needsPassword && PQconnectionUsedPassword(m_conn) != 0;
    const QString reason = fromServer(PQerrorMessage(m_conn));
    if (m_needsPassword)
        m_error = tr("Сервер журнала требует пароль, а его нет ни в ~/.pgpass (PGPASSFILE), ни "
                     "в файле служб: %1")
                      .arg(reason);
    else if (m_passwordRefused)
        m_error = tr("Сервер журнала не принял пароль (неверный пароль или роль): %1").arg(reason);
    else
        m_error = tr("Не удалось подключиться к серверу журнала %1: %2")
                      .arg(withoutPassword(conninfo), reason);
    close();
    return false;
}

void PgConnection::close()
{
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

bool PgConnection::isOpen() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

bool PgConnection::failed(const QString& what)
{
    m_error = what;
    return false;
}

bool PgConnection::exec(const QString& sql, const QVariantList& params, Rows* rows)
{
    m_errorCode.clear();
    if (!m_conn)
        return failed(tr("Нет подключения к серверу журнала."));
    QVector<QByteArray> texts;
    const QVector<const char*> values = paramValues(params, &texts);
    const Result result(PQexecParams(m_conn, sql.toUtf8().constData(), int(values.size()), nullptr,
                                     values.constData(), nullptr, nullptr, 0));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        return refused(result.get());
    if (rows) {
        rows->clear();
        const int columns = PQnfields(result.get());
        for (int row = 0; row < PQntuples(result.get()); ++row) {
            QVariantList values;
            values.reserve(columns);
            for (int column = 0; column < columns; ++column)
                values.append(
                    PQgetisnull(result.get(), row, column)
                        ? QVariant()
                        : QVariant(QString::fromUtf8(PQgetvalue(result.get(), row, column),
                                                     PQgetlength(result.get(), row, column))));
            rows->append(values);
        }
    }
    return true;
}

bool PgConnection::refused(const pg_result* result)
{
    if (result)
        m_errorCode = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
    const QString reason = fromServer(PQerrorMessage(m_conn));
    if (PQstatus(m_conn) != CONNECTION_OK)
        return failed(tr("Связь с сервером журнала потеряна: %1").arg(reason));
    return failed(tr("Сервер журнала отказал: %1").arg(reason));
}

bool PgConnection::start(const QString& sql, const QVariantList& params)
{
    m_errorCode.clear();
    if (!m_conn)
        return failed(tr("Нет подключения к серверу журнала."));
    QVector<QByteArray> texts;
    const QVector<const char*> values = paramValues(params, &texts);
    if (PQsendQueryParams(m_conn, sql.toUtf8().constData(), int(values.size()), nullptr,
                          values.constData(), nullptr, nullptr, 0) != 1)
        return refused(nullptr);
    return true;
}

bool PgConnection::finish()
{
    bool ok = true;
    while (const Result result{PQgetResult(m_conn)}) {
        const ExecStatusType status = PQresultStatus(result.get());
        if (ok && status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            ok = refused(result.get());
    }
    // The connection lost while waiting gives no result at all.
    if (ok && PQstatus(m_conn) != CONNECTION_OK)
        return refused(nullptr);
    return ok;
}

bool PgConnection::execAll(const QStringList& statements)
{
    for (const QString& statement : statements) {
        if (!exec(statement))
            return false;
    }
    return true;
}

QVariant PgConnection::value(const QString& sql, const QVariantList& params)
{
    Rows rows;
    if (!exec(sql, params, &rows) || rows.isEmpty() || rows.first().isEmpty())
        return QVariant();
    return rows.first().first();
}

QString PgConnection::withoutPassword(const QString& conninfo)
{
    const Options options = parse(conninfo, nullptr);
    if (!options)
        return tr("(неверная строка подключения)");
    QStringList parts;
    for (const PQconninfoOption* option = options.get(); option->keyword; ++option) {
        if (!option->val || qstrcmp(option->keyword, "password") == 0)
            continue;
        QString value = QString::fromUtf8(option->val);
        if (value.isEmpty() || value.contains(QLatin1Char(' ')) ||
            value.contains(QLatin1Char('\'')) || value.contains(QLatin1Char('\\')))
            value = QLatin1Char('\'') +
                    QString(value)
                        .replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                        .replace(QLatin1Char('\''), QLatin1String("\\'")) +
                    QLatin1Char('\'');
        parts.append(QString::fromLatin1(option->keyword) + QLatin1Char('=') + value);
    }
    return parts.join(QLatin1Char(' '));
}

bool PgConnection::isValid(const QString& conninfo, QString* error)
{
    return bool(parse(conninfo, error));
}

bool PgConnection::hasPassword(const QString& conninfo)
{
    const Options options = parse(conninfo, nullptr);
    for (const PQconninfoOption* option = options.get(); option && option->keyword; ++option) {
        if (qstrcmp(option->keyword, "password") == 0)
            return option->val != nullptr;
    }
    return false;
}

QString PgConnection::literal(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) +
           QLatin1Char('\'');
}

QString PgConnection::identifier(const QString& text)
{
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}
