#include "csvwriter.h"

#include "csvformat.h"

#include <QCoreApplication>

namespace {

constexpr int BufferSize = 16384;

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
    m_codec = Csv::codec(m_codecName);
    return true;
}

void CsvWriter::write(const QString& text)
{
    m_buffer += text;
    if (m_buffer.size() > BufferSize)
        encodeBuffer();
}

void CsvWriter::encodeBuffer()
{
    if (!m_failed && !m_buffer.isEmpty()) {
        const QByteArray bytes =
            m_codec->fromUnicode(m_buffer.constData(), int(m_buffer.size()), &m_state);
        m_failed = m_file.write(bytes) != bytes.size() || !m_file.flush();
    }
    m_buffer.clear();
}

void CsvWriter::writeRow(const QStringList& fields)
{
    for (const QString& field : fields)
        if ((!m_separator.isEmpty() && field.contains(m_separator)) ||
            field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r')))
            ++m_fieldsWithBreaks;
    write(fields.join(m_separator));
    write(QStringLiteral("\r\n"));
    ++m_rows;
}

bool CsvWriter::finish(QString* error)
{
    encodeBuffer();
    const bool written = !m_failed && m_file.flush();
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
