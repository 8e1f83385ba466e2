#pragma once

#include <QString>
#include <QStringList>

class QRegularExpression;
class QSqlDatabase;

// The four text forms of a key (a 24-bit key code) and their format codes, as stored in
// card.type and card_format_default. This is the single definition of the formats: every
// dialog that shows, reads or numbers keys and subscribers uses these functions.
namespace CardFormat {
enum Code : int {
    TouchMemory = 0, // 16 hexadecimal digits 'CCTTNNNNNNNNNNNN'
    EmMarin = 1,     // "AAA,BBBBB"
    Digits = 2,      // 1 to 7 decimal digits
    TenDigits = 3,   // exactly 10 decimal digits
};
constexpr int Count = 4;
constexpr int Default = Digits;

QString name(int format);
QStringList names();
QString inputMask(int format);
QString hint(int format);
// format when it is one of the four, else the default: what a stored code outside the range
// is shown and saved as.
int orDefault(int format);
// The regular expression textToCard uses when it is given no pattern of its own.
QString defaultPattern(int format);
} // namespace CardFormat

// The key in the text form of format; an unknown format gives plain decimal.
QString cardToText(int format, uint card);

// The key code of text in format, matched with pattern (empty: the format's default);
// 0 when the text is not accepted.
uint textToCard(int format, const QString& text, const QString& pattern);
// The same with the pattern compiled once by the caller, for reading many keys.
uint textToCardCompiled(int format, const QString& text, const QRegularExpression& expression);
// The expression textToCard uses for pattern (empty: the format's default).
QRegularExpression keyExpression(int format, const QString& pattern);

// The lowest subscriber number not in use; -1 when it would be 25000 or more; 0 without a
// connection or when the query fails.
int freeSubscriberId(QSqlDatabase* db);
