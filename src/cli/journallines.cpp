#include "journallines.h"

#include "cardformat.h"
#include "console.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

using Console::tr;

namespace {

QString shownTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy.MM.dd HH:mm:ss.zzz"));
}

QJsonValue isoTime(qint64 ms)
{
    // Local time with its offset, which a reader can compare across a change of time zone.
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString keyText(const JournalRecord& record, int keyFormat)
{
    return record.key == 0 ? QString() : cardToText(CardFormat::orDefault(keyFormat), record.key);
}

QString note(const JournalRecord& record)
{
    if (record.kind == JournalKind::Action)
        return tr("%1; пользователь %2").arg(record.detail, record.user);
    if (!record.stored)
        return {};
    return record.storedFrom > 0 ? tr("накоплено панелью с %1").arg(shownTime(record.storedFrom))
                                 : tr("накоплено панелью, начало неизвестно");
}

} // namespace

QStringList JournalLines::kindNames()
{
    return {QStringLiteral("pass"),  QStringLiteral("refusal"), QStringLiteral("control"),
            QStringLiteral("power"), QStringLiteral("other"),   QStringLiteral("action")};
}

QString JournalLines::text(const JournalRecord& record, int keyFormat)
{
    const bool owned = record.owner.isValid();
    QStringList fields{shownTime(record.received),
                       keyText(record, keyFormat),
                       record.text,
                       owned ? QString::number(record.owner.subscriber) : QString(),
                       record.owner.apartment,
                       record.owner.name,
                       note(record)};
    // A tab or a line break inside a field would split it.
    for (QString& field : fields)
        field.replace(QLatin1Char('\t'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
    return fields.join(QLatin1Char('\t'));
}

QString JournalLines::json(const JournalRecord& record, int keyFormat, const QString& site)
{
    const auto orNull = [](bool present, const QJsonValue& value) {
        return present ? value : QJsonValue();
    };
    QJsonObject owner;
    if (record.owner.isValid()) {
        owner.insert(QStringLiteral("subscriber"), record.owner.subscriber);
        owner.insert(QStringLiteral("apartment"), record.owner.apartment);
        owner.insert(QStringLiteral("name"), record.owner.name);
    }
    const bool action = record.kind == JournalKind::Action;
    QJsonObject object{
        {QStringLiteral("time"), isoTime(record.received)},
        {QStringLiteral("kind"), kindNames().value(int(record.kind))},
        {QStringLiteral("code"), orNull(record.code >= 0, record.code)},
        {QStringLiteral("event"), record.text},
        {QStringLiteral("key"), orNull(record.key != 0, keyText(record, keyFormat))},
        {QStringLiteral("key_code"), orNull(record.key != 0, qint64(record.key))},
        {QStringLiteral("raw"),
         orNull(!record.raw.isEmpty(), QString::fromLatin1(record.raw.toHex()))},
        {QStringLiteral("port"), orNull(!record.port.isEmpty(), record.port)},
        {QStringLiteral("database"), orNull(!record.database.isEmpty(), record.database)},
        {QStringLiteral("owner"), orNull(record.owner.isValid(), owner)},
        {QStringLiteral("stored"), record.stored},
        {QStringLiteral("stored_from"),
         orNull(record.stored && record.storedFrom > 0, isoTime(record.storedFrom))},
        {QStringLiteral("stored_until"), orNull(record.stored, isoTime(record.storedUntil))},
        {QStringLiteral("outcome"), orNull(action, record.detail)},
        {QStringLiteral("user"), orNull(action, record.user)},
    };
    if (!site.isEmpty())
        object.insert(QStringLiteral("site"), site);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
