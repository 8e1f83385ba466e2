#pragma once

#include "journalsource.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>
#include <QVector>

#include <functional>

class QSqlQuery;

// One filter applied to a journal: the matching records are counted and read newest first a
// page at a time, or all in order. The filter's text is matched against the journal's owners
// once, when the query is made. Runs in the thread that opened db.
class JournalQuery : public JournalSource
{
public:
    JournalQuery(QSqlDatabase db, const JournalFilter& filter);

    // False when the journal could not be read while matching the owners.
    bool isValid() const override { return m_error.isEmpty(); }
    QString errorText() const override { return m_error; }

    // The filter as SQL over the record table aliased r ("1" when nothing filters) and the
    // values its placeholders take, for counts and aggregates of the caller's own.
    QString condition() const { return m_condition; }
    void bindTo(QSqlQuery& query) const;

    // The number of matching records; -1 when the reading failed.
    qint64 count() override;
    // Up to limit matching records older than beforeId (0: from the newest), newest first.
    // Empty at the end or on a failure (see errorText()).
    QVector<JournalEntry> page(qint64 beforeId, int limit) override;
    // Up to limit matching records newer than afterId, newest first: what was written since.
    QVector<JournalEntry> after(qint64 afterId, int limit) override;
    // Every matching record, oldest first (or newest first), until visit returns false.
    // False when the reading failed.
    bool forEach(const std::function<bool(const JournalEntry&)>& visit,
                 bool newestFirst = false) override;
    qint64 firstId() override { return oldestId(m_db); }
    qint64 lastId() override { return newestId(m_db); }
    qint64 idAt(qint64 ms) const override { return ms * 16; }
    qint64 timeOf(qint64 id) const override { return id >> 4; }
    // SQLite's data version: changed by every commit of another connection.
    qint64 version() override;
    bool activity(const QDate& first, const QDate& last, JournalActivity* activity,
                  QString* error) override;

    // The id of the journal's oldest or newest record, whatever the filter; 0 when it is empty
    // or cannot be read.
    static qint64 oldestId(QSqlDatabase db);
    static qint64 newestId(QSqlDatabase db);

private:
    QString ownerCondition();
    QVector<JournalEntry> newestFirst(const QString& bound, qint64 boundId, int limit);
    // Records are read with their texts and owners by number, which are looked up here once
    // each: a hundred thousand records refer to a few hundred texts and owners.
    static QString plainColumns();
    JournalEntry plainEntry(const QSqlQuery& query);
    QString label(const QVariant& id);
    JournalOwner owner(qint64 id);

    QSqlDatabase m_db;
    JournalFilter m_filter;
    QString m_condition;
    QVariantMap m_values;
    QString m_error;
    QHash<qint64, QString> m_labels;
    QHash<qint64, JournalOwner> m_owners;
};
