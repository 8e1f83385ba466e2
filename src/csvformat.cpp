#include "csvformat.h"

#include <QCoreApplication>
#include <QTextCodec>

#include <algorithm>

namespace Csv {

namespace {

constexpr int ProgressStep = 256;

QString translate(const char* text)
{
    return QCoreApplication::translate("Csv", text);
}

} // namespace

QString columnTitle(int column)
{
    switch (column) {
    case Subscriber:
        return translate("Абонент");
    case Apartment:
        return translate("Квартира");
    case Phone:
        return translate("Телефон");
    case Key:
        return translate("Ключ");
    }
    if (column >= FirstField && column < ColumnCount)
        return translate("Доп. поле %1").arg(column - FirstField + 1);
    return {};
}

QString separatorText(const QString& typed)
{
    QString text = typed;
    return text.replace(QLatin1String("\\t"), QLatin1String("\t"));
}

QString presetSeparator(int index)
{
    switch (index) {
    case 0:
        return QStringLiteral("\\t");
    case 1:
        return QStringLiteral(";");
    case 2:
        return QStringLiteral(",");
    }
    return {};
}

QStringList splitLines(const QString& text)
{
    return text.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
}

QVector<QStringView> splitFields(const QString& line, const QString& separator, int limit)
{
    // The "\r" of a "\r\n" line end belongs to no field.
    const int length = line.endsWith(QLatin1Char('\r')) ? line.size() - 1 : line.size();
    QVector<QStringView> fields;
    if (limit == 0)
        return fields;
    if (separator.isEmpty()) {
        fields.append(QStringView(line).left(length));
        return fields;
    }
    int start = 0;
    while (limit < 0 || fields.size() < limit) {
        const int end = line.indexOf(separator, start, Qt::CaseSensitive);
        if (end < 0 || end + separator.size() > length) {
            fields.append(QStringView(line).mid(start, length - start));
            break;
        }
        fields.append(QStringView(line).mid(start, end - start));
        start = end + separator.size();
    }
    return fields;
}

QStringList codecNames()
{
    QList<QByteArray> names = QTextCodec::availableCodecs();
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    QStringList result;
    result.reserve(names.size());
    for (const QByteArray& name : qAsConst(names))
        result << QString::fromLatin1(name);
    return result;
}

QTextCodec* codec(const QString& name)
{
    QTextCodec* named = QTextCodec::codecForName(name.toLocal8Bit());
    return named ? named : QTextCodec::codecForLocale();
}

void Progress::maximum(int value) const
{
    if (setMaximum)
        setMaximum(value);
}

void Progress::value(int done, int total) const
{
    if (setValue && (done % ProgressStep == 0 || done == total))
        setValue(done);
}

bool Progress::cancelled() const
{
    return isCancelled && isCancelled();
}

} // namespace Csv
