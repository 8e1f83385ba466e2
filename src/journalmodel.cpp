#include "journalmodel.h"

#include <QColor>
#include <QFont>
#include <QVariant>

#include <algorithm>

namespace {

// Records read again on each update, before the newest one already seen.
constexpr qint64 UpdateMarginMs = 60000;
// More new records than this at once are shown by reading the journal anew.
constexpr int UpdateLimit = 1000;

} // namespace

JournalModel::JournalModel(QObject* parent)
    : QAbstractTableModel(parent)
{}

JournalModel::~JournalModel() = default;

bool JournalModel::failed(const QString& error)
{
    m_error = error;
    return false;
}

bool JournalModel::setQuery(QSqlDatabase db, const JournalFilter& filter, int keyFormat)
{
    return setSource([db, filter] { return std::make_unique<JournalQuery>(db, filter); },
                     keyFormat);
}

bool JournalModel::setSource(const SourceMaker& make, int keyFormat)
{
    beginResetModel();
    m_make = make;
    m_texts = JournalTexts(keyFormat);
    m_error.clear();
    m_query = make ? make() : nullptr;
    if (!m_query) {
        m_rows.clear();
        m_atEnd = true;
        m_matching = -1;
        endResetModel();
        emit matchingChanged(m_matching);
        return failed(tr("журнал не открыт"));
    }
    m_version = m_query->version();
    m_horizon = m_query->lastId();
    m_rows = m_query->page(0, PageSize);
    m_atEnd = m_rows.size() < PageSize;
    m_matching = m_query->isValid() ? m_query->count() : -1;
    endResetModel();
    emit matchingChanged(m_matching);
    if (!m_query->isValid() || m_matching < 0)
        return failed(m_query->errorText());
    return true;
}

void JournalModel::clear()
{
    beginResetModel();
    m_query.reset();
    m_make = nullptr;
    m_rows.clear();
    m_atEnd = true;
    m_matching = -1;
    endResetModel();
    emit matchingChanged(m_matching);
}

int JournalModel::update()
{
    if (!m_query)
        return 0;
    // Cheap to ask, and changed by every commit of another connection.
    const qint64 version = m_query->version();
    if (version == m_version && version >= 0)
        return 0;
    const QVector<JournalEntry> fresh =
        m_query->after(m_horizon - m_query->idAt(UpdateMarginMs), UpdateLimit);
    if (!m_query->isValid()) {
        failed(m_query->errorText());
        return -1;
    }
    if (fresh.size() == UpdateLimit)
        return setSource(m_make, m_texts.keyFormat()) ? UpdateLimit : -1;
    m_version = version;
    m_horizon = qMax(m_horizon, m_query->lastId());
    int added = 0;
    for (const JournalEntry& entry : fresh) {
        const auto place =
            std::lower_bound(m_rows.begin(), m_rows.end(), entry.id,
                             [](const JournalEntry& row, qint64 id) { return row.id > id; });
        if (place != m_rows.end() && place->id == entry.id)
            continue;
        const int row = int(place - m_rows.begin());
        // Older than every row read so far: the next page brings it.
        if (row == m_rows.size() && !m_atEnd)
            continue;
        beginInsertRows(QModelIndex(), row, row);
        m_rows.insert(row, entry);
        endInsertRows();
        ++added;
    }
    if (added > 0) {
        m_matching = m_query->count();
        emit matchingChanged(m_matching);
    }
    return added;
}

int JournalModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int JournalModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

bool JournalModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && m_query && !m_atEnd;
}

void JournalModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    const QVector<JournalEntry> page = m_query->page(m_rows.last().id, PageSize);
    m_atEnd = page.size() < PageSize || !m_query->isValid();
    if (!m_query->isValid()) {
        m_error = m_query->errorText();
        emit readFailed(m_error);
    }
    if (page.isEmpty())
        return;
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size() + page.size() - 1);
    m_rows += page;
    endInsertRows();
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Time:
        return tr("Дата и время");
    case Key:
        return tr("Ключ");
    case Owner:
        return tr("Владелец");
    case Apartment:
        return tr("Квартира");
    case Event:
        return tr("Событие");
    case Port:
        return tr("Порт");
    case Site:
        return tr("Объект");
    default:
        return QVariant();
    }
}

QVariant JournalModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const JournalEntry& entry = m_rows.at(index.row());
    const JournalRecord& record = entry.record;
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return display(entry, column);
    case Qt::ToolTipRole:
        return toolTip(entry, column);
    case Qt::FontRole:
        if (column == Time && record.stored) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return QVariant();
    case Qt::ForegroundRole:
        if (column == Time && record.stored)
            return QColor(0x6a, 0x6a, 0x6a);
        if (column == Event && record.kind == JournalKind::Refusal)
            return QColor(0xa8, 0x1c, 0x1c);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant JournalModel::display(const JournalEntry& entry, int column) const
{
    const JournalRecord& record = entry.record;
    switch (column) {
    case Time:
        return m_texts.time(record);
    case Key:
        return m_texts.key(record);
    case Owner:
        return JournalTexts::owner(record.owner);
    case Apartment:
        return record.owner.apartment;
    case Event:
        return JournalTexts::event(record);
    case Port:
        return record.port;
    case Site:
        return entry.site;
    default:
        return QVariant();
    }
}

QVariant JournalModel::toolTip(const JournalEntry& entry, int column) const
{
    const JournalRecord& record = entry.record;
    if (column == Time && record.stored)
        return m_texts.time(record) + QLatin1Char('\n') +
               tr("Событие хранилось в панели, пока её никто не опрашивал, и было получено при\n"
                  "возобновлении опроса: точное время неизвестно, оно в этом промежутке.");
    if ((column == Owner || column == Apartment) && !record.database.isEmpty())
        return tr("По базе данных %1 на момент события").arg(record.database);
    if (column == Event && !record.raw.isEmpty())
        return tr("Запись панели: %1").arg(QString::fromLatin1(record.raw.toHex(' ')));
    return display(entry, column);
}
