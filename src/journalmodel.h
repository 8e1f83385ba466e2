#pragma once

#include "journalquery.h"
#include "journaltexts.h"

#include <QAbstractTableModel>
#include <QSqlDatabase>

#include <functional>
#include <memory>

// The journal's records that a filter matches, newest first, read a page at a time as the view
// scrolls down (each page continues from the last id read, on the record table's own order),
// so a journal of millions of records opens as fast as one of a hundred.
class JournalModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Site shows where a fleet journal's record came from.
    enum Column { Time, Key, Owner, Apartment, Event, Port, Site, ColumnCount };
    static constexpr int PageSize = 250;

    explicit JournalModel(QObject* parent = nullptr);
    ~JournalModel() override;

    // Shows the records of filter in db, its first page read at once, with keys in keyFormat.
    // False with errorText() when the journal could not be read.
    bool setQuery(QSqlDatabase db, const JournalFilter& filter, int keyFormat);
    // The same for any journal: make gives the filter's source, again whenever it is read anew.
    using SourceMaker = std::function<std::unique_ptr<JournalSource>()>;
    bool setSource(const SourceMaker& make, int keyFormat);
    // Shows nothing.
    void clear();
    // Adds the matching records written since the query was made or last updated, where they
    // belong in the order; the number added, -1 when the journal could not be read. A writer
    // may commit a record a moment older than one already shown, so the last minute is read
    // again.
    int update();

    // The number of matching records, loaded or not; -1 when unknown.
    qint64 matching() const { return m_matching; }
    QString errorText() const { return m_error; }
    int keyFormat() const { return m_texts.keyFormat(); }
    const JournalEntry& entry(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    void matchingChanged(qint64 matching);
    // A page could not be read while scrolling: the list ends early, and error says why.
    void readFailed(const QString& error);

private:
    QVariant display(const JournalEntry& entry, int column) const;
    QVariant toolTip(const JournalEntry& entry, int column) const;
    bool failed(const QString& error);

    SourceMaker m_make;
    std::unique_ptr<JournalSource> m_query;
    QVector<JournalEntry> m_rows;
    bool m_atEnd = true;
    qint64 m_matching = -1;
    qint64 m_horizon = 0;  // the journal's newest id when it was last read
    qint64 m_version = -1; // SQLite's data version then
    QString m_error;
    mutable JournalTexts m_texts;
};
