// Build step: turns the schema script into the template database the program carries.
// Usage: ostrovel-maketemplate <script.sql> <output.zelkor>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "ostrovel-maketemplate: %s\n", qPrintable(message));
    return 1;
}

// Statements end with a semicolon at the end of a line; comment lines are dropped. The
// script holds no semicolon inside a string.
QStringList statements(const QString& script)
{
    QStringList lines;
    for (const QString& line : script.split(QLatin1Char('\n')))
        if (!line.trimmed().startsWith(QLatin1String("--")))
            lines << line;
    QStringList result;
    for (const QString& statement :
         lines.join(QLatin1Char('\n')).split(QRegularExpression(QStringLiteral(";\\s*\\n"))))
        if (!statement.trimmed().isEmpty())
            result << statement.trimmed();
    return result;
}

int build(const QString& scriptPath, const QString& outputPath)
{
    QFile script(scriptPath);
    if (!script.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(scriptPath + QStringLiteral(": ") + script.errorString());
    const QString text = QString::fromUtf8(script.readAll());
    QFile::remove(outputPath);

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(outputPath);
    if (!db.open())
        return fail(db.lastError().text());
    QSqlQuery query(db);
    for (const QString& statement : statements(text)) {
        if (!query.exec(statement))
            return fail(statement + QStringLiteral("\n") + query.lastError().text());
    }
    // A compact file: nothing of the build's own work stays in the pages.
    if (!query.exec(QStringLiteral("VACUUM")))
        return fail(query.lastError().text());
    query.finish();
    db.close();
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3)
        return fail(QStringLiteral("usage: ostrovel-maketemplate <script.sql> <output.zelkor>"));
    const int result = build(arguments.at(1), arguments.at(2));
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    return result;
}
