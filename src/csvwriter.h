#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTextCodec>

// Writes a delimited text file: the fields of each row joined by the separator, "\r\n" after
// every row, in the chosen encoding, without quoting. Since nothing is quoted, a field that
// holds the separator or a line break makes the file disagree with its source; such fields
// are counted so that the user can be warned.
class CsvWriter
{
public:
    // separator as typed (backslash-t stands for TAB); codecName as the encoding combo lists it.
    CsvWriter(const QString& fileName, const QString& separator, const QString& codecName);
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    // Creates the file, replacing what was there; false with the message to show otherwise.
    bool open(QString* error);
    void writeRow(const QStringList& fields);
    // Writes out what is buffered; false with the message to show when the data did not all
    // reach the file.
    bool finish(QString* error);

    int rows() const { return m_rows; }
    int fieldsWithBreaks() const { return m_fieldsWithBreaks; }
    // A success message followed, when there are such fields, by a line that warns of them.
    QString withWarning(const QString& message) const;

private:
    // Buffers text and encodes it in pieces of the size Qt 5's text stream wrote, with one
    // converter state throughout and no byte order mark, so that every encoding writes the
    // bytes that stream wrote.
    void write(const QString& text);
    void encodeBuffer();

    QFile m_file;
    QTextCodec* m_codec = nullptr;
    QTextCodec::ConverterState m_state{QTextCodec::IgnoreHeader};
    QString m_buffer;
    bool m_failed = false;
    QString m_separator;
    QString m_codecName;
    int m_rows = 0;
    int m_fieldsWithBreaks = 0;
};
