#include "testdatabase.h"

#include "databasefile.h"
#include "taskconnection.h"
#include "treerows.h"

#include <QAtomicInt>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QTreeWidget>

namespace {
QAtomicInt databases;
}

TestDatabase::TestDatabase(const QString& fileName)
    : m_path(m_dir.filePath(fileName))
    , m_name(QStringLiteral("test-database-%1").arg(databases.fetchAndAddRelaxed(1)))
    , m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name))
{
    if (!m_dir.isValid()) {
        fail(QStringLiteral("no temporary folder: ") + m_dir.errorString());
        return;
    }
    const QString source = QStringLiteral(":/db/template.zelkor");
    if (!QFile::copy(source, m_path)) {
        fail(QStringLiteral("cannot copy %1 to %2").arg(source, m_path));
        return;
    }
    if (!QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner)) {
        fail(QStringLiteral("cannot make %1 writable").arg(m_path));
        return;
    }
    m_valid = reopen();
}

TestDatabase::~TestDatabase()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

bool TestDatabase::exec(const QString& statement)
{
    QSqlQuery query(m_db);
    if (query.exec(statement))
        return true;
    fail(statement, query);
    return false;
}

QVariant TestDatabase::value(const QString& statement)
{
    QSqlQuery query(m_db);
    if (!query.exec(statement)) {
        fail(statement, query);
        return {};
    }
    if (!query.next())
        return {};
    return query.value(0);
}

QStringList TestDatabase::column(const QString& statement)
{
    QStringList values;
    QSqlQuery query(m_db);
    if (!query.exec(statement)) {
        fail(statement, query);
        return values;
    }
    while (query.next())
        values << (query.isNull(0) ? QStringLiteral("NULL") : query.value(0).toString());
    return values;
}

void TestDatabase::addSubscriber(int id, const QVariant& apartment, const QString& phone)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO subscriber (id, apartment, phone) VALUES (:id, :apartment, :phone)"));
    query.bindValue(QStringLiteral(":id"), id);
    query.bindValue(QStringLiteral(":apartment"),
                    apartment.isNull() ? QVariant(QString()) : apartment);
    query.bindValue(QStringLiteral(":phone"), phone.isNull() ? QStringLiteral("") : phone);
    if (!query.exec())
        fail(QStringLiteral("subscriber %1").arg(id), query);
}

void TestDatabase::addKey(int subscriber, uint code, int format, const QString& number,
                          const QStringList& fields)
{
    QString columns = QStringLiteral("id, type, number, subscriber_id");
    QString values = QStringLiteral(":id, :type, :number, :subscriber");
    for (int n = 1; n <= fields.size(); ++n) {
        columns += QStringLiteral(", field%1").arg(n);
        values += QStringLiteral(", :field%1").arg(n);
    }
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("INSERT INTO card (%1) VALUES (%2)").arg(columns, values));
    query.bindValue(QStringLiteral(":id"), code);
    query.bindValue(QStringLiteral(":type"), format);
    query.bindValue(QStringLiteral(":number"), number);
    query.bindValue(QStringLiteral(":subscriber"), subscriber);
    for (int n = 1; n <= fields.size(); ++n)
        query.bindValue(QStringLiteral(":field%1").arg(n), fields.at(n - 1));
    if (!query.exec())
        fail(QStringLiteral("key %1 of subscriber %2").arg(code).arg(subscriber), query);
}

bool TestDatabase::reopen(const QString& file, bool readOnly)
{
    m_db.close();
    m_db.setDatabaseName(file.isEmpty() ? m_path : file);
    m_db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY") : QString());
    if (!m_db.open()) {
        fail(
            QStringLiteral("cannot open %1: %2").arg(m_db.databaseName(), m_db.lastError().text()));
        return false;
    }
    return exec(QStringLiteral("PRAGMA foreign_keys = ON;"));
}

void TestDatabase::close()
{
    m_db.close();
}

void TestDatabase::fail(const QString& what)
{
    QTest::qFail(qPrintable(what), __FILE__, __LINE__);
}

void TestDatabase::fail(const QString& what, const QSqlQuery& query)
{
    fail(what + QStringLiteral(": ") + query.lastError().text());
}

QStringList checkedRows(const QString& file)
{
    TaskConnection connection(file);
    if (!connection.isOpen())
        return {QStringLiteral("does not open: ") + connection.errorText()};
    QSqlDatabase& db = connection.database();
    if (DatabaseFile::checkFormat(db).format != DatabaseFile::Format::Valid)
        return {QStringLiteral("refused by the format check")};
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA integrity_check")) || !query.next() ||
        query.value(0).toString() != QLatin1String("ok"))
        return {QStringLiteral("damaged")};
    QStringList rows;
    for (const char* table : {"system", "subscriber", "card"}) {
        query.exec(QStringLiteral("SELECT * FROM %1").arg(QLatin1String(table)));
        const int columns = query.record().count();
        while (query.next()) {
            QStringList values{QLatin1String(table)};
            for (int i = 0; i < columns; ++i)
                values << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
            rows << values.join(QLatin1Char('|'));
        }
    }
    rows.sort();
    return rows;
}

QTreeWidget* newDatabaseTree()
{
    auto* tree = new QTreeWidget;
    tree->setColumnCount(TreeRow::ColumnCount);
    QStringList titles = {QStringLiteral("Абонент"), QStringLiteral("Ключ"),
                          QStringLiteral("Квартира"), QStringLiteral("Телефон")};
    for (int n = 1; n <= TreeRow::FieldCount; ++n)
        titles << QStringLiteral("Доп. поле %1").arg(n);
    tree->setHeaderLabels(titles);
    return tree;
}
