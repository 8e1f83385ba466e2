#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

class QSqlQuery;
class QTreeWidget;

// A writable copy of the template database in a temporary folder, with a connection of its
// own (foreign keys on) for the test to prepare data and check results. Whatever goes wrong
// here, in setting up or in a statement, fails the running test with the database's message.
class TestDatabase
{
public:
    explicit TestDatabase(const QString& fileName = QStringLiteral("test.zelkor"));
    ~TestDatabase();

    // Whether the copy was made and the connection opened on it.
    bool isValid() const { return m_valid; }
    QString path() const { return m_path; }
    QSqlDatabase& db() { return m_db; }
    // Executes statements and fails the test on an error; returns false then.
    bool exec(const QString& statement);
    // The first column of the first row of a query.
    QVariant value(const QString& statement);
    // The first column of every row of a query, "NULL" standing for a null.
    QStringList column(const QString& statement);
    // A subscriber; a null apartment is stored as NULL, a null phone as ''.
    void addSubscriber(int id, const QVariant& apartment = {}, const QString& phone = {});
    // A key; the fields given fill field1 onwards, the others keep their defaults.
    void addKey(int subscriber, uint code, int format, const QString& number,
                const QStringList& fields = {});
    // Opens the connection again, on another file if one is named (else on path()), read-only
    // if asked, with foreign keys on; fails the test and returns false on an error.
    bool reopen(const QString& file = {}, bool readOnly = false);
    // Releases the file (the connection closes) so that the program under test owns it alone.
    void close();

private:
    static void fail(const QString& what);
    static void fail(const QString& what, const QSqlQuery& query);

    QTemporaryDir m_dir;
    QString m_path;
    QString m_name;
    QSqlDatabase m_db;
    bool m_valid = false;
};

// Every row of a database file's tables, NULL told apart from an empty text, once the file has
// opened as the program opens it and passed the program's format check and SQLite's integrity
// check; else one line telling which of them failed.
QStringList checkedRows(const QString& file);

// An empty tree laid out as the main window's database tree: the subscriber, key, apartment
// and phone columns and the ten extra fields under their default titles. The caller owns it.
QTreeWidget* newDatabaseTree();
