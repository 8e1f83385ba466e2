#include "csvoptions.h"

#include "cardformat.h"
#include "console.h"
#include "csvformat.h"

#include <QTextCodec>

using Console::tr;

namespace {

QString columnName(int column)
{
    switch (column) {
    case Csv::Subscriber:
        return QStringLiteral("subscriber");
    case Csv::Apartment:
        return QStringLiteral("apartment");
    case Csv::Phone:
        return QStringLiteral("phone");
    case Csv::Key:
        return QStringLiteral("key");
    }
    return QStringLiteral("field%1").arg(column - Csv::FirstField + 1);
}

} // namespace

CsvOptions::CsvOptions(CommandLine& line, const QString& formatHelp)
    : m_separator({QStringLiteral("s"), QStringLiteral("separator")},
                  tr("Разделитель полей; \\t означает табуляцию (по умолчанию \\t)."),
                  QStringLiteral("SEP"), QStringLiteral("\\t"))
    , m_encoding({QStringLiteral("e"), QStringLiteral("encoding")},
                 tr("Кодировка файла (по умолчанию windows-1251)."), QStringLiteral("NAME"),
                 QString::fromLatin1(Csv::DefaultCodec))
    , m_header(QStringLiteral("header"), tr("Первая строка файла: названия столбцов."))
    , m_columns({QStringLiteral("c"), QStringLiteral("columns")},
                tr("Столбцы файла по порядку, через запятую: subscriber, apartment, phone, key, "
                   "field1 … field10."),
                QStringLiteral("LIST"))
    , m_format({QStringLiteral("f"), QStringLiteral("format")}, formatHelp, QStringLiteral("N"))
{
    for (const QCommandLineOption* option :
         {&m_separator, &m_encoding, &m_header, &m_columns, &m_format})
        line.addOption(*option);
}

bool CsvOptions::read(const CommandLine& line, const QVector<int>& defaultColumns)
{
    separator = line.value(m_separator);
    if (separator.isEmpty()) {
        line.usageError(QCoreApplication::translate("Csv", "Необходимо указать разделитель."));
        return false;
    }
    codecName = line.value(m_encoding);
    if (!QTextCodec::codecForName(codecName.toLatin1())) {
        line.usageError(tr("Неизвестная кодировка: %1").arg(codecName));
        return false;
    }
    header = line.isSet(m_header);
    columns = defaultColumns;
    if (line.isSet(m_columns)) {
        columns.clear();
        for (const QString& name : line.value(m_columns).split(QLatin1Char(','))) {
            int column = 0;
            while (column < Csv::ColumnCount && columnName(column) != name.trimmed())
                ++column;
            if (column == Csv::ColumnCount || columns.contains(column)) {
                line.usageError(tr("Неизвестный или повторённый столбец: %1").arg(name));
                return false;
            }
            columns << column;
        }
    }
    if (line.isSet(m_format)) {
        bool number = false;
        keyFormat = line.value(m_format).toInt(&number);
        if (!number || keyFormat < 0 || keyFormat >= CardFormat::Count) {
            line.usageError(tr("Формат ключей задаётся числом от 0 до 3."));
            return false;
        }
    }
    return true;
}
