#pragma once

#include "journalrecord.h"

#include <QHash>
#include <QStringList>
#include <QVector>

class QSqlDatabase;

// Finds whom a key belongs to in a database file: the subscriber's number, apartment and full
// name, the latter from the extra field whose title names one (see nameField). Answers are
// kept until the database changes, through this connection or any other. Works on a
// connection of the caller's thread, which the caller keeps open or closed as it likes.
class OwnerLookup
{
public:
    explicit OwnerLookup(QSqlDatabase* db);

    // Every subscriber the key belongs to, lowest number first; empty when it is nobody's,
    // when no database is open, or when it cannot be read.
    QVector<JournalOwner> owners(quint32 key);
    // The one the journal records: the lowest subscriber number among them.
    JournalOwner owner(quint32 key);
    bool hasDatabase() const;
    // Forgets every answer, as when another file is opened on the connection.
    void clear();

    // The extra field (1 to 10) that holds a full name, by its title: the first whose title
    // reads "ФИО" (dots and spaces aside) or begins with "Фамилия", "Имя" or "Владелец", in
    // any letter case; 0 when none does.
    static int nameField(const QStringList& titles);

private:
    bool isCurrent();

    QSqlDatabase* m_db;
    QHash<quint32, QVector<JournalOwner>> m_cache;
    QString m_file;
    qint64 m_dataVersion = -1;
    qint64 m_changes = -1;
    int m_nameField = 0;
};
