#pragma once

#include "csvformat.h"
#include "qruntimeerror.h"

#include <QString>
#include <QStringList>
#include <QVector>

// What the database export writes: the columns, how keys are rendered, the separator, the
// header line and the encoding.
struct CsvExportOptions
{
    QVector<int> columns; // the Csv::Column values written, in ascending order
    // 0: each key's stored text; 1 to 4: every key in key format keyType - 1.
    int keyType = 0;
    QString separator = QStringLiteral("\\t"); // as typed: backslash-t stands for TAB
    bool header = false;
    QString codecName = QString::fromLatin1(Csv::DefaultCodec);
};

// One row of view_tree: a subscriber, or one of its keys.
struct TreeViewRow
{
    int subscriber = 0;
    bool isKey = false;
    uint key = 0;
    int keyFormat = 0;
    QString apartment;
    QString phone;
    QString number;
    QStringList fields; // the ten extra fields of the subscriber or of the key
};

namespace CsvExport {
QStringList header(const CsvExportOptions& options);
// The fields written for row; a key row shows the apartment and phone of its subscriber, the
// last subscriber row before it.
QStringList fields(const CsvExportOptions& options, const TreeViewRow& row,
                   const QString& apartment, const QString& phone);
} // namespace CsvExport

// Writes the database in databaseFile into fileName, on a connection of its own, one line per
// subscriber and one per key in the order of view_tree. Meant for a pool thread.
QRuntimeError exportDatabase(const QString& databaseFile, const QString& fileName,
                             const CsvExportOptions& options, const Csv::Progress& progress);
