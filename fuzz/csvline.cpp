// CSV import: any file bytes under any columns, separator, key format and key pattern, shown in
// the preview and read by the import. The preview shows each line's fields and marks the faulty
// ones; the import keeps only what fits the database; and where a field needs no trimming or
// cutting, both must agree on what is valid.
#include "cardformat.h"
#include "csvformat.h"
#include "csvimport.h"
#include "csvpreviewmodel.h"
#include "harness.h"

#include <QColor>
#include <QTextCodec>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// Key patterns a user may leave or type: the proposed one, none (the format's own), and three
// that capture more than a key.
QString patternOf(int choice, int format)
{
    switch (choice) {
    case 0:
        return CsvImport::keyPattern(format);
    case 1:
        return QString();
    case 2:
        return QStringLiteral("(.*)");
    case 3:
        return QStringLiteral("^(.*),(.*)$");
    }
    return QStringLiteral("^([0-9a-fA-F]+)$");
}

bool isTrimmedText(const QString& text)
{
    return !text.isEmpty() && text.size() <= CsvImport::MaxFieldLength && text == text.trimmed();
}

bool isNegative(const QString& text)
{
    bool ok = false;
    return text.toLongLong(&ok) < 0 && ok;
}

// The key text each format stores: 16 hexadecimal digits, "AAA,BBBBB", 7 or 10 digits.
int keyTextLength(int format)
{
    static const int lengths[CardFormat::Count] = {16, 9, 7, 10};
    return lengths[format];
}

// What the import takes of a line fits the database, whatever the line.
void checkLine(const CsvImportLine& line, int format, bool proposedPattern)
{
    FUZZ_CHECK(line.subscriber >= -1 && line.subscriber < CsvImport::MaxSubscribers);
    FUZZ_CHECK(line.apartment.isNull() ||
               (isTrimmedText(line.apartment) && line.apartment.size() <= 8));
    FUZZ_CHECK(line.phone.isNull() || (isTrimmedText(line.phone) && line.phone.size() <= 12));
    for (const QString& field : line.fields)
        FUZZ_CHECK(field.isNull() || isTrimmedText(field));
    if (line.keyCode == -1) {
        FUZZ_CHECK(line.keyText.isNull());
        return;
    }
    FUZZ_CHECK(format >= 0 && format < CardFormat::Count);
    FUZZ_CHECK(line.keyCode >= 1 && uint(line.keyCode) <= CsvImport::MaxKeyCode);
    FUZZ_CHECK(line.keyText.size() == keyTextLength(format));
    // Under the patterns the program proposes, the stored text is the stored key in its format.
    if (proposedPattern)
        FUZZ_CHECK(textToCard(format, line.keyText, QString()) == uint(line.keyCode));
}

// The preview and the import of one field that needs no trimming or cutting.
void checkAgreement(int column, const QString& text, bool valid, const CsvImportLine& line,
                    int format, const QString& pattern)
{
    switch (column) {
    case Csv::Subscriber:
        FUZZ_CHECK(valid == (line.subscriber >= 0));
        FUZZ_CHECK(!valid || line.subscriber == text.toInt());
        break;
    case Csv::Apartment:
        // The import also lets negative numbers through.
        FUZZ_CHECK(valid == (!line.apartment.isNull() && !isNegative(text)));
        break;
    case Csv::Phone:
        FUZZ_CHECK(valid == (!line.phone.isNull() && !isNegative(text)));
        break;
    case Csv::Key: {
        // The preview also accepts FFFFFF, which the import does not store.
        const uint code = textToCard(format, text, pattern);
        FUZZ_CHECK(valid == (code >= 1 && code <= 0xFFFFFF));
        FUZZ_CHECK(line.keyCode == (code >= 1 && code <= CsvImport::MaxKeyCode ? int(code) : -1));
        break;
    }
    default:
        FUZZ_CHECK(valid && line.fields.at(size_t(column - Csv::FirstField)) == text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Key format (also outside the four) and pattern, the selected columns with the header and
    // encoding choices, the separator as typed, then the file.
    if (size < 4)
        return 0;
    const int format = data[0] % 6 - 1;
    const int patternChoice = data[0] / 6 % 5;
    const QString pattern = patternOf(patternChoice, format);
    const int flags = data[1] | data[2] << 8;
    QVector<int> columns;
    for (int column = 0; column < Csv::ColumnCount; ++column)
        if (flags & (1 << column))
            columns << column;
    const bool skipFirst = flags & 0x4000;
    const QString codecName =
        flags & 0x8000 ? QStringLiteral("UTF-8") : QString::fromLatin1(Csv::DefaultCodec);
    const size_t separatorLength = std::min<size_t>(data[3] % 4, size - 4);
    const QString typed =
        QString::fromLatin1(reinterpret_cast<const char*>(data + 4), int(separatorLength));
    const QByteArray file(reinterpret_cast<const char*>(data + 4 + separatorLength),
                          int(size - 4 - separatorLength));

    // Lines: split at every "\n", nothing lost.
    const QStringList lines = CsvImport::decodeLines(file, codecName);
    const QString text = Csv::codec(codecName)->toUnicode(file);
    FUZZ_CHECK(lines.join(QLatin1Char('\n')) == text &&
               lines.size() == text.count(QLatin1Char('\n')) + 1);

    const CsvImport::LineReader reader(typed, columns, format, pattern);
    CsvPreviewModel preview;
    preview.load(lines, reader, columns, skipFirst);
    const int skip = skipFirst ? 1 : 0;
    FUZZ_CHECK(preview.rowCount() == std::max(0, int(lines.size()) - skip));
    FUZZ_CHECK(preview.columnCount() == columns.size());

    const QString separator = Csv::separatorText(typed);
    const bool proposedPattern = patternChoice <= 1;
    int errorCells = 0;
    int faultyRows = 0;
    for (int row = 0; row < preview.rowCount(); ++row) {
        const QString& line = lines.at(row + skip);
        // Fields: the line less its "\r", split at every separator, extra fields left out.
        const QVector<QStringView> all = Csv::splitFields(line, separator);
        QStringList joined;
        for (const QStringView& field : all)
            joined << field.toString();
        const QString body = line.endsWith(QLatin1Char('\r')) ? line.chopped(1) : line;
        FUZZ_CHECK(separator.isEmpty() ? all.size() == 1 && all.first() == body
                                       : joined.join(separator) == body);
        const QVector<QStringView> fields = reader.fields(line);
        FUZZ_CHECK(fields == all.mid(0, columns.size()));

        const CsvImportLine imported = reader.read(line);
        checkLine(imported, format, proposedPattern);
        int faulty = 0;
        for (int n = 0; n < columns.size(); ++n) {
            const QString cell = n < fields.size() ? fields.at(n).toString() : QString();
            const QModelIndex index = preview.index(row, n);
            const QString shown = preview.data(index).toString();
            FUZZ_CHECK(cell.size() <= 256 ? shown == cell
                                          : shown == cell.left(256) + QChar(0x2026));
            const bool valid = reader.cellValid(columns.at(n), cell);
            FUZZ_CHECK(valid !=
                       (preview.data(index, Qt::BackgroundRole).value<QColor>() == Qt::red));
            faulty += valid ? 0 : 1;
            if (isTrimmedText(cell))
                checkAgreement(columns.at(n), cell, valid, imported, format, pattern);
        }
        // The other cells of a faulty row are grey.
        for (int n = 0; n < columns.size(); ++n) {
            const QVariant background = preview.data(preview.index(row, n), Qt::BackgroundRole);
            FUZZ_CHECK(faulty == 0 ? !background.isValid() : background.isValid());
        }
        errorCells += faulty;
        faultyRows += faulty > 0 ? 1 : 0;
    }
    FUZZ_CHECK(preview.errorCells() == errorCells && preview.faultyRows() == faultyRows);
    return 0;
}
