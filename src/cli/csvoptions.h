#pragma once

#include "commandline.h"

#include <QCommandLineOption>
#include <QVector>

// The options that the two CSV commands share with the CSV dialogs: separator, encoding, header
// line, columns and key format.
class CsvOptions
{
public:
    // What --format means for the command, and the default columns.
    CsvOptions(CommandLine& line, const QString& formatHelp);

    // The chosen values; false after a usage error.
    bool read(const CommandLine& line, const QVector<int>& defaultColumns);

    QString separator;
    QString codecName;
    bool header = false;
    QVector<int> columns; // Csv::Column values in file order
    int keyFormat = -1;   // -1 when not given

private:
    QCommandLineOption m_separator;
    QCommandLineOption m_encoding;
    QCommandLineOption m_header;
    QCommandLineOption m_columns;
    QCommandLineOption m_format;
};
