#include "journaltexts.h"

#include "cardformat.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>

namespace {

constexpr qint64 DayMs = 86400000;
// Every time zone's offset is a whole number of quarters of an hour, so the offset cannot
// change within a quarter of an hour counted from the epoch.
constexpr qint64 SlotMs = 900000;

qint64 floorDiv(qint64 value, qint64 divisor)
{
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

void appendDigits(QString& text, int value, int width)
{
    QChar digits[3];
    for (int n = width - 1; n >= 0; --n, value /= 10)
        digits[n] = QLatin1Char(char('0' + value % 10));
    text.append(digits, width);
}

QString translate(const char* text)
{
    return QCoreApplication::translate("JournalTexts", text);
}

} // namespace

JournalTexts::JournalTexts(int keyFormat)
    : m_keyFormat(keyFormat)
{}

qint64 JournalTexts::offsetAt(qint64 ms)
{
    if (ms >= m_offsetFrom && ms < m_offsetUntil)
        return m_offsetMs;
    // Asking the system for an offset is slow (it looks at the time zone file each time), so
    // one is kept for a whole day (UTC) when the day starts and ends with it; a day of a clock
    // change is asked a quarter of an hour at a time.
    const auto offset = [](qint64 at) {
        return qint64(QDateTime::fromMSecsSinceEpoch(at).offsetFromUtc()) * 1000;
    };
    const qint64 day = floorDiv(ms, DayMs) * DayMs;
    m_offsetMs = offset(day);
    if (offset(day + DayMs - 1) == m_offsetMs) {
        m_offsetFrom = day;
        m_offsetUntil = day + DayMs;
    } else {
        m_offsetFrom = floorDiv(ms, SlotMs) * SlotMs;
        m_offsetUntil = m_offsetFrom + SlotMs;
        m_offsetMs = offset(m_offsetFrom);
    }
    return m_offsetMs;
}

QString JournalTexts::localTime(qint64 ms)
{
    const qint64 local = ms + offsetAt(ms);
    const qint64 day = floorDiv(local, DayMs);
    if (day != m_day) {
        m_day = day;
        m_dayText = QDate(1970, 1, 1).addDays(day).toString(QStringLiteral("yyyy.MM.dd "));
    }
    int rest = int(local - day * DayMs);
    QString text;
    text.reserve(23);
    text.append(m_dayText);
    appendDigits(text, rest / 3600000, 2);
    text.append(QLatin1Char(':'));
    appendDigits(text, rest / 60000 % 60, 2);
    text.append(QLatin1Char(':'));
    appendDigits(text, rest / 1000 % 60, 2);
    text.append(QLatin1Char('.'));
    appendDigits(text, rest % 1000, 3);
    return text;
}

QString JournalTexts::time(const JournalRecord& record)
{
    if (!record.stored)
        return localTime(record.received);
    // To the second: the bounds are when the panel was last seen with nothing waiting and when
    // the record was received, not when it happened.
    const QString until = localTime(record.storedUntil).left(19);
    if (record.storedFrom <= 0)
        return translate("накоплено панелью, до %1").arg(until);
    return translate("накоплено панелью, %1 – %2")
        .arg(localTime(record.storedFrom).left(19), until);
}

QString JournalTexts::key(const JournalRecord& record) const
{
    return record.key ? cardToText(m_keyFormat, record.key) : QString();
}

QString JournalTexts::owner(const JournalOwner& owner)
{
    if (!owner.isValid())
        return QString();
    if (owner.name.isEmpty())
        return translate("абонент %1").arg(owner.subscriber);
    return translate("%1 (абонент %2)").arg(owner.name).arg(owner.subscriber);
}

QString JournalTexts::event(const JournalRecord& record)
{
    if (record.kind != JournalKind::Action)
        return record.text;
    QString text = record.detail.isEmpty()
                       ? record.text
                       : QStringLiteral("%1: %2").arg(record.text, record.detail);
    if (!record.user.isEmpty())
        text += QLatin1Char(' ') + translate("(пользователь %1)").arg(record.user);
    return text;
}

QStringList JournalTexts::csvTitles()
{
    return {translate("Дата и время"), translate("Ключ"),     translate("Событие"),
            translate("Абонент"),      translate("Квартира"), translate("ФИО")};
}

QStringList JournalTexts::csvRow(const JournalRecord& record)
{
    const JournalOwner& owner = record.owner;
    return {time(record),    key(record),
            event(record),   owner.isValid() ? QString::number(owner.subscriber) : QString(),
            owner.apartment, owner.name};
}
