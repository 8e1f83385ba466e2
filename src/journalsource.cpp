#include "journalsource.h"

#include "cardformat.h"

#include <QStringList>

#include <algorithm>

JournalSource::~JournalSource() = default;

QList<qint64> JournalFilter::textKeys() const
{
    const QString trimmed = text.trimmed();
    QList<qint64> keys;
    if (const uint key = textToCard(CardFormat::orDefault(keyFormat), trimmed, QString()))
        keys.append(key);
    const bool decimal = !trimmed.isEmpty() && trimmed.size() <= 8 &&
                         std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) {
                             return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                         });
    if (decimal && !keys.contains(trimmed.toLongLong()))
        keys.append(trimmed.toLongLong());
    return keys;
}

QString sqlNumberList(const QList<qint64>& numbers)
{
    QStringList texts;
    texts.reserve(numbers.size());
    for (qint64 number : numbers)
        texts.append(QString::number(number));
    return texts.join(QLatin1Char(','));
}
