#include "csvpreviewmodel.h"

#include "csvformat.h"
#include "csvimport.h"

#include <QColor>

CsvPreviewModel::CsvPreviewModel(QObject* parent)
    : QAbstractTableModel(parent)
{}

void CsvPreviewModel::load(const QStringList& lines, const CsvImport::LineReader& reader,
                           const QVector<int>& columns, bool skipFirst)
{
    beginResetModel();
    m_lines = lines;
    m_skip = skipFirst ? 1 : 0;
    m_rows = std::max(0, lines.size() - m_skip);
    m_titles.clear();
    for (int column : columns)
        m_titles << Csv::columnTitle(column);
    if (m_skip && !lines.isEmpty()) {
        const QVector<QStringRef> first = reader.fields(lines.first());
        for (int n = 0; n < first.size(); ++n)
            m_titles[n] += QStringLiteral("\r\n(%1)").arg(first.at(n));
    }

    const int width = columns.size();
    m_cells.fill(Cell(), m_rows * width);
    m_errorCells = 0;
    m_faultyRows = 0;
    for (int row = 0; row < m_rows; ++row) {
        const QString& line = m_lines.at(row + m_skip);
        const QVector<QStringRef> fields = reader.fields(line);
        Cell* cells = m_cells.data() + row * width;
        int faulty = 0;
        for (int n = 0; n < fields.size(); ++n) {
            cells[n].position = fields.at(n).position();
            cells[n].length = fields.at(n).size();
            if (!reader.cellValid(columns.at(n), fields.at(n).toString())) {
                cells[n].state = Faulty;
                ++faulty;
            }
        }
        if (faulty == 0)
            continue;
        m_errorCells += faulty;
        ++m_faultyRows;
        for (int n = 0; n < width; ++n)
            if (cells[n].state == Valid)
                cells[n].state = InFaultyRow;
    }
    endResetModel();
}

const CsvPreviewModel::Cell& CsvPreviewModel::cell(const QModelIndex& index) const
{
    return m_cells.at(index.row() * m_titles.size() + index.column());
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
    const Cell& at = cell(index);
    switch (role) {
    case Qt::DisplayRole:
        return m_lines.at(index.row() + m_skip).mid(at.position, at.length);
    case Qt::BackgroundRole:
        if (at.state == Faulty)
            return QColor(Qt::red);
        if (at.state == InFaultyRow)
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
