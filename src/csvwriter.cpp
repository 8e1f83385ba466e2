#include "csvwriter.h"

#include "csvformat.h"

#include <QCoreApplication>

namespace {

QString translate(const char* text)
{
    return QCoreApplication::translate("Csv", text);
}

} // namespace

CsvWriter::CsvWriter(const QString& fileName, const QString& separator, const QString& codecName)
    : m_file(fileName)
    , m_separator(Csv::separatorText(separator))
    , m_codecName(codecName)
{}

bool CsvWriter::open(QString* error)
{
    // Not opened as text: the line ends are written as they are on every platform.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = translate("Ошибка создания файла: %1.\r\nОшибка: %2.")
                     .arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    m_stream.setDevice(&m_file);
    m_stream.setCodec(Csv::codec(m_codecName));
    return true;
}

void CsvWriter::writeRow(const QStringList& fields)
{
    for (const QString& field : fields)
        if ((!m_separator.isEmpty() && field.contains(m_separator)) ||
            field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r')))
            ++m_fieldsWithBreaks;
    m_stream << fields.join(m_separator) << QLatin1String("\r\n");
    ++m_rows;
}

bool CsvWriter::finish(QString* error)
{
    m_stream.flush();
    const bool written = m_stream.status() == QTextStream::Ok && m_file.flush();
    if (!written)
        *error = translate("Ошибка записи файла: %1.\r\nОшибка: %2.")
                     .arg(m_file.fileName(), m_file.errorString());
    m_file.close();
    return written;
}

QString CsvWriter::withWarning(const QString& message) const
{
    if (m_fieldsWithBreaks == 0)
        return message;
    return message + QStringLiteral("\r\n") +
           translate("Внимание: полей с разделителем или переводом строки: %1.")
               .arg(m_fieldsWithBreaks);
}
