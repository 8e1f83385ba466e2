#pragma once

#include "csvimport.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

#include <optional>

// The checked preview of a file to import: one row per line, one column per selected column,
// faulty cells red and the other cells of a faulty row grey. It keeps the lines and a state per
// cell rather than a text per cell, and splits a line again when its cells are shown, so that a
// file of many thousand lines previews quickly and in little memory.
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

    State state(const QModelIndex& index) const;
    // The fields of a row, split once for all the cells of the row that are shown together.
    const QVector<QStringView>& fields(int row) const;

    QStringList m_lines;
    std::optional<CsvImport::LineReader> m_reader;
    int m_skip = 0;
    int m_rows = 0;
    QStringList m_titles;
    QVector<State> m_states; // row by row
    mutable int m_splitRow = -1;
    mutable QVector<QStringView> m_splitFields;
    int m_errorCells = 0;
    int m_faultyRows = 0;
};
