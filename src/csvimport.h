#pragma once

#include "csvformat.h"
#include "qruntimeerror.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

// How the lines of a file are read into the database: which column is which, where the
// subscriber number comes from, how keys are read, the separator, and whether the first line
// is a header and the database is cleared first.
struct CsvImportOptions
{
    enum SubscriberMode : int { FromFile = 0, AutoCreate = 1, BindTo = 2 };
    int subscriberMode = FromFile;
    int boundSubscriber = -1;                  // the subscriber every line goes to, with BindTo
    QVector<int> columns;                      // the Csv::Column of each file column, in file order
    int keyFormat = 0;                         // the key format code every key is read in
    QString keyPattern;                        // empty: the format's default pattern
    QString separator = QStringLiteral("\\t"); // as typed: backslash-t stands for TAB
    bool ignoreFirstLine = false;
    bool clearDatabase = false;
    QString codecName = QString::fromLatin1(Csv::DefaultCodec); // for reading a file
};

// What one line gives: a subscriber number, a key, and texts; a null text is absent.
struct CsvImportLine
{
    int subscriber = -1;
    int keyCode = -1;
    QString apartment;
    QString phone;
    QString keyText;
    std::array<QString, Csv::FieldCount> fields;

    bool isEmpty() const;
};

namespace CsvImport {

constexpr int MaxFieldLength = 255;
constexpr int MaxSubscribers = 25000;
constexpr uint MaxKeyCode = 16777214; // the largest key code the import stores

// The key pattern proposed for a key format: it also takes short texts, which are then padded.
QString keyPattern(int format);
// The key text stored for code read from text in format: hexadecimal padded or cut to 16
// digits, EM-Marin rendered anew, the code formats padded or cut to 7 and 10 digits.
QString normalisedKeyText(int format, const QString& text, uint code);

// Reads lines under one set of options; built once per file, since it compiles the pattern.
class LineReader
{
public:
    LineReader(const QString& separator, const QVector<int>& columns, int keyFormat,
               const QString& keyPattern);
    explicit LineReader(const CsvImportOptions& options);

    // The fields of a line that fall into the columns (extra fields are ignored).
    QVector<QStringRef> fields(const QString& line) const;
    // A line as the import takes it: fields trimmed, cut to 255 characters, checked.
    CsvImportLine read(const QString& line) const;
    // Whether the preview accepts text in column (a Csv::Column); an empty cell is accepted.
    bool cellValid(int column, const QString& text) const;

private:
    QString m_separator;
    QVector<int> m_columns;
    int m_keyFormat;
    QRegularExpression m_keyExpression;
};

// The bytes of a file to import; false with the file's error string.
bool readFile(const QString& fileName, QByteArray* bytes, QString* error);
// The lines of bytes decoded with the codec of that name.
QStringList decodeLines(const QByteArray& bytes, const QString& codecName);

} // namespace CsvImport

// Imports lines into databaseFile, on a connection of its own and in one transaction: a
// failure, a cancel, or running out of subscriber numbers leaves the database as it was; a
// single row the database refuses is left out. An import that clears the database first takes
// a snapshot of it before, and does not start without one. Meant for a pool thread.
QRuntimeError importLines(const QString& databaseFile, const QStringList& lines,
                          const CsvImportOptions& options, const Csv::Progress& progress);
// The same for a file, read and decoded with the options' codec.
QRuntimeError importFile(const QString& databaseFile, const QString& fileName,
                         const CsvImportOptions& options, const Csv::Progress& progress);
