#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

namespace CsvImport {
class LineReader;
}

// The checked preview of a file to import: one row per line, one column per selected column,
// faulty cells red and the other cells of a faulty row grey. It keeps the lines and where each
// cell lies in its line rather than a text per cell, so that a file of many thousand lines
// previews quickly and in little memory.
class CsvPreviewModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CsvPreviewModel(QObject* parent = nullptr);

    // Builds the preview of lines read with reader under the columns (Csv::Column values);
    // with skipFirst the first line adds its fields to the column titles instead of a row.
    void load(const QStringList& lines, const CsvImport::LineReader& reader,
              const QVector<int>& columns, bool skipFirst);

    int errorCells() const { return m_errorCells; }
    int faultyRows() const { return m_faultyRows; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    enum State : quint8 { Valid, Faulty, InFaultyRow };
    struct Cell
    {
        int position = 0;
        int length = 0; // an absent field is an empty cell
        State state = Valid;
    };

    const Cell& cell(const QModelIndex& index) const;

    QStringList m_lines;
    int m_skip = 0;
    int m_rows = 0;
    QStringList m_titles;
    QVector<Cell> m_cells; // row by row
    int m_errorCells = 0;
    int m_faultyRows = 0;
};
