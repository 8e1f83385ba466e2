#include "digitcodes.h"

#include <cstring>

namespace {

quint8 digitValue(QChar c)
{
    const int digit = c.digitValue();
    return digit >= 1 && digit <= 9 ? quint8(digit) : quint8(10);
}

void appendNibble(QString& text, int nibble)
{
    // 11 to 15 are no digit (a damaged record): read as numbers they would make a field longer
    // than its positions, an apartment of 16 digits or a code of 12.
    if (nibble == 10)
        text += QLatin1Char('0');
    else if (nibble >= 1 && nibble <= 9)
        text += QLatin1Char(char('0' + nibble));
}

} // namespace

void digitsToBytes(const QString& text, quint8* out, int n)
{
    std::memset(out, 0, size_t(n));
    for (int i = 0; i < n && i < text.size(); ++i)
        out[i] = digitValue(text.at(i));
}

void digitsToPacked(const QString& text, quint8* out, int n)
{
    std::memset(out, 0, size_t(n));
    for (int i = 0; i < 2 * n && i < text.size(); ++i)
        out[i / 2] |= quint8(digitValue(text.at(i)) << (i % 2 ? 4 : 0));
}

QString bytesToDigits(const quint8* in, int n)
{
    // Empty, never null: a null string would be stored as NULL.
    QString text(QLatin1String(""));
    for (int i = 0; i < n; ++i)
        appendNibble(text, in[i] & 0x0F);
    return text;
}

QString packedToDigits(const quint8* in, int n)
{
    QString text(QLatin1String(""));
    for (int i = 0; i < n; ++i) {
        appendNibble(text, in[i] & 0x0F);
        appendNibble(text, in[i] >> 4);
    }
    return text;
}
