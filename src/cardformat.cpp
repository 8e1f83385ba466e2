#include "cardformat.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>

namespace {

constexpr uint CodeMask = 0xFFFFFF;
constexpr int MaxSubscribers = 25000;

QString translate(const char* text)
{
    return QCoreApplication::translate("CardFormat", text);
}

bool valid(int format)
{
    return format >= 0 && format < CardFormat::Count;
}

} // namespace

namespace CardFormat {

QString name(int format)
{
    switch (format) {
    case TouchMemory:
        return translate("Ключи iButton (Формат TouchMemory)");
    case EmMarin:
        return translate("Proxy (Формат EM-Marin)");
    case Digits:
        return translate("Код (от 1 до 7 цифр)");
    case TenDigits:
        return translate("10 Цифр");
    }
    return {};
}

QStringList names()
{
    QStringList result;
    for (int format = 0; format < Count; ++format)
        result << name(format);
    return result;
}

int orDefault(int format)
{
    return valid(format) ? format : Default;
}

QString inputMask(int format)
{
    switch (format) {
    case TouchMemory:
        return QStringLiteral(">HHHHHHHHHHHHHHHH");
    case EmMarin:
        return QStringLiteral("999,99999");
    case Digits:
        return QStringLiteral("0000000");
    case TenDigits:
        return QStringLiteral("9999999999");
    }
    return {};
}

QString hint(int format)
{
    switch (format) {
    case TouchMemory:
        return translate("Укажите ключ в формате 'CCTTNNNNNNNNNNNN', 'CC' - контрольная сумма "
                         "(00-FF), 'TT' - тип ключа (00-FF), 'NNNNNNNNNNNN' - номер ключа "
                         "(000000000000-FFFFFFFFFFFF).");
    case EmMarin:
        return translate("Укажите ключ в формате 'AAA,BBBBB', 'AAA': 000-255, 'BBBBB': "
                         "00000-65535.");
    case Digits:
        return translate("Укажите ключ в формате 'DDDDDDD', 'DDDDDDD' - номер ключа "
                         "(0-9999999).");
    case TenDigits:
        return translate("Укажите ключ в формате 'DDDDDDDDDD', 'DDDDDDDDDD' - номер ключа "
                         "(0000000000-9999999999).");
    }
    return {};
}

QString defaultPattern(int format)
{
    switch (format) {
    case TouchMemory:
        return QStringLiteral("^[0-9a-fA-F]{10}([0-9a-fA-F]{6})$");
    case EmMarin:
        return QStringLiteral("^(\\d{3}),(\\d{5})$");
    case Digits:
        return QStringLiteral("^(\\d{1,7})$");
    case TenDigits:
        return QStringLiteral("^(\\d{10})$");
    }
    return {};
}

} // namespace CardFormat

QString cardToText(int format, uint card)
{
    const QChar zero(u'0');
    switch (format) {
    case CardFormat::TouchMemory:
        return QStringLiteral("0000") + QStringLiteral("%1").arg(card, 12, 16, zero);
    case CardFormat::EmMarin:
        return QStringLiteral("%1,%2")
            .arg((card >> 16) & 0xFF, 3, 10, zero)
            .arg(card & 0xFFFF, 5, 10, zero);
    case CardFormat::TenDigits:
        return QStringLiteral("%1").arg(card, 10, 10, zero);
    default:
        return QString::number(card);
    }
}

QRegularExpression keyExpression(int format, const QString& pattern)
{
    return QRegularExpression(pattern.isEmpty() ? CardFormat::defaultPattern(format) : pattern);
}

uint textToCard(int format, const QString& text, const QString& pattern)
{
    if (text.isEmpty() || !valid(format))
        return 0;
    return textToCardCompiled(format, text, keyExpression(format, pattern));
}

uint textToCardCompiled(int format, const QString& text, const QRegularExpression& expression)
{
    if (text.isEmpty() || !valid(format))
        return 0;
    const int needed = format == CardFormat::EmMarin ? 2 : 1;
    if (expression.captureCount() < needed)
        return 0;
    const QRegularExpressionMatch match = expression.match(text);
    if (!match.hasMatch())
        return 0;

    // A capture that does not read as a number counts as 0.
    switch (format) {
    case CardFormat::EmMarin: {
        const uint high = match.captured(1).toUInt();
        const uint low = match.captured(2).toUInt();
        if (high > 255 || low > 65535)
            return 0;
        return high * 65536 + low;
    }
    case CardFormat::TouchMemory:
        // Only the last six digits are the key code, also when a pattern captures all
        // sixteen ("FF01778899A1B2C3" is the key A1B2C3).
        return uint(match.captured(1).toULongLong(nullptr, 16) & CodeMask);
    default:
        return uint(match.captured(1).toULongLong() & CodeMask);
    }
}

int freeSubscriberId(QSqlDatabase* db)
{
    if (!db)
        return 0;
    QSqlQuery query(*db);
    if (!query.exec(QStringLiteral("SELECT id FROM subscriber ORDER BY id")))
        return 0;
    qint64 candidate = 0;
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        if (candidate < id)
            break;
        // Never step backwards over a stray negative number.
        candidate = std::max(candidate, id + 1);
    }
    return candidate < MaxSubscribers ? int(candidate) : -1;
}
