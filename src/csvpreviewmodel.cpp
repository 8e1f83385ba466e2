#include "csvpreviewmodel.h"

#include "csvformat.h"

#include <QColor>

namespace {

// Longer texts are shown cut: laying out a line of megabytes would freeze the window, and the
// import takes no more than 255 characters of a field anyway.
constexpr int ShownLength = 256;

QString shown(const QStringView& text)
{
    if (text.size() <= ShownLength)
        return text.toString();
    return text.left(ShownLength).toString() + QChar(0x2026);
}

} // namespace

CsvPreviewModel::CsvPreviewModel(QObject* parent)
    : QAbstractTableModel(parent)
{}

void CsvPreviewModel::load(const QStringList& lines, const CsvImport::LineReader& reader,
                           const QVector<int>& columns, bool skipFirst)
{
    beginResetModel();
    m_lines = lines;
    m_reader = reader;
    m_skip = skipFirst ? 1 : 0;
    m_rows = std::max(0, int(lines.size()) - m_skip);
    m_splitRow = -1;
    m_titles.clear();
    for (int column : columns)
        m_titles << Csv::columnTitle(column);
    if (m_skip && !lines.isEmpty()) {
        const QVector<QStringView> first = reader.fields(lines.first());
        for (int n = 0; n < first.size(); ++n)
            m_titles[n] += QStringLiteral("\r\n(%1)").arg(shown(first.at(n)));
    }

    const int width = columns.size();
    m_states.fill(Valid, m_rows * width);
    m_errorCells = 0;
    m_faultyRows = 0;
    for (int row = 0; row < m_rows; ++row) {
        const QVector<QStringView> texts = reader.fields(m_lines.at(row + m_skip));
        State* states = m_states.data() + row * width;
        int faulty = 0;
        for (int n = 0; n < texts.size(); ++n)
            if (!reader.cellValid(columns.at(n), texts.at(n).toString())) {
                states[n] = Faulty;
                ++faulty;
            }
        if (faulty == 0)
            continue;
        m_errorCells += faulty;
        ++m_faultyRows;
        for (int n = 0; n < width; ++n)
            if (states[n] == Valid)
                states[n] = InFaultyRow;
    }
    endResetModel();
}

CsvPreviewModel::State CsvPreviewModel::state(const QModelIndex& index) const
{
    return m_states.at(index.row() * m_titles.size() + index.column());
}

const QVector<QStringView>& CsvPreviewModel::fields(int row) const
{
    if (row != m_splitRow) {
        m_splitFields = m_reader->fields(m_lines.at(row + m_skip));
        m_splitRow = row;
    }
    return m_splitFields;
}

int CsvPreviewModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int CsvPreviewModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_titles.size();
}

QVariant CsvPreviewModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        // A line with fewer fields leaves the last cells empty.
        return shown(fields(index.row()).value(index.column()));
    case Qt::BackgroundRole:
        if (state(index) == Faulty)
            return QColor(Qt::red);
        if (state(index) == InFaultyRow)
            return QColor(Qt::lightGray);
        break;
    }
    return {};
}

QVariant CsvPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_titles.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags CsvPreviewModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
