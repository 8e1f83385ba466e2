#include "ownerlookup.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

OwnerLookup::OwnerLookup(QSqlDatabase* db)
    : m_db(db)
{}

int OwnerLookup::nameField(const QStringList& titles)
{
    for (int n = 1; n <= titles.size(); ++n) {
        QString title = titles.at(n - 1).toLower();
        title.remove(QLatin1Char('.')).remove(QLatin1Char(' '));
        if (title.contains(QStringLiteral("фио")) || title.startsWith(QStringLiteral("фамилия")) ||
            title.startsWith(QStringLiteral("имя")) || title.startsWith(QStringLiteral("владелец")))
            return n;
    }
    return 0;
}

bool OwnerLookup::hasDatabase() const
{
    return m_db && m_db->isOpen();
}

void OwnerLookup::clear()
{
    m_cache.clear();
    m_file.clear();
    m_dataVersion = -1;
    m_changes = -1;
}

bool OwnerLookup::isCurrent()
{
    if (!hasDatabase()) {
        clear();
        return false;
    }
    // data_version moves when another connection commits, total_changes with this one's own
    // writes; between them every change of the file is seen.
    QSqlQuery query(*m_db);
    if (!query.exec(
            QStringLiteral("SELECT data_version, total_changes() FROM pragma_data_version")) ||
        !query.next())
        return false;
    const qint64 version = query.value(0).toLongLong();
    const qint64 changes = query.value(1).toLongLong();
    if (version == m_dataVersion && changes == m_changes && m_file == m_db->databaseName())
        return true;
    clear();
    QStringList titles;
    if (query.exec(QStringLiteral("SELECT field1_name, field2_name, field3_name, field4_name,"
                                  " field5_name, field6_name, field7_name, field8_name,"
                                  " field9_name, field10_name FROM system WHERE id = 1")) &&
        query.next()) {
        for (int n = 0; n < 10; ++n)
            titles << query.value(n).toString();
    }
    m_nameField = nameField(titles);
    m_file = m_db->databaseName();
    m_dataVersion = version;
    m_changes = changes;
    return true;
}

QVector<JournalOwner> OwnerLookup::owners(quint32 key)
{
    if (key == 0 || !isCurrent())
        return {};
    const auto cached = m_cache.constFind(key);
    if (cached != m_cache.constEnd())
        return *cached;
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    const QString name =
        m_nameField > 0 ? QStringLiteral("s.field%1").arg(m_nameField) : QStringLiteral("''");
    query.prepare(QStringLiteral("SELECT s.id, s.apartment, %1 FROM card c"
                                 " JOIN subscriber s ON s.id = c.subscriber_id"
                                 " WHERE c.id = :key ORDER BY s.id")
                      .arg(name));
    query.bindValue(QStringLiteral(":key"), key);
    QVector<JournalOwner> found;
    if (!query.exec())
        return found;
    while (query.next()) {
        JournalOwner owner;
        owner.subscriber = query.value(0).toInt();
        owner.apartment = query.value(1).toString();
        owner.name = query.value(2).toString().trimmed();
        found.append(owner);
    }
    m_cache.insert(key, found);
    return found;
}

JournalOwner OwnerLookup::owner(quint32 key)
{
    return owners(key).value(0);
}
