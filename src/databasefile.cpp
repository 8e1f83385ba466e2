#include "databasefile.h"

#include "sqlmessages.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace DatabaseFile {

namespace {

QString translate(const char* text)
{
    return QCoreApplication::translate("QZelKorWindow", text);
}

} // namespace

QString createFromTemplate(const QString& fileName)
{
    QFile source(QStringLiteral(":/db/template.zelkor"));
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    QFile target(fileName);
    if (!target.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return target.errorString();
    const QByteArray bytes = source.readAll();
    if (target.write(bytes) != bytes.size())
        return target.errorString();
    if (!target.flush())
        return target.errorString();
    return {};
}

QString missingFileMessage(const QString& fileName)
{
    return translate("Файл '%1' не существует.").arg(fileName);
}

FormatCheck checkFormat(QSqlDatabase& db)
{
    FormatCheck check;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("select id, version from system where id=1"))) {
        check.format = Format::Unreadable;
        check.detail = query.lastError().text();
        return check;
    }
    if (!query.next()) {
        check.format = Format::NoSystemRow;
        return check;
    }
    // Read whole: a narrower number would wrap 4294967297 round to the supported 1.
    const qulonglong version = query.value(1).toULongLong();
    if (version != SupportedVersion) {
        check.format = Format::UnsupportedVersion;
        check.detail = QString::number(version);
    }
    return check;
}

bool isReadOnly(QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return false;
    const qlonglong version = query.value(0).toLongLong();
    query.finish();
    if (!db.transaction())
        return false;
    // Writing the value it already has still rewrites the header page.
    const bool written = query.exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
    const QSqlError error = query.lastError();
    db.rollback();
    // SQLITE_READONLY, with or without its extended detail in the higher bits.
    constexpr int ReadOnlyCode = 8;
    return !written && (error.nativeErrorCode().toInt() & 0xff) == ReadOnlyCode;
}

QString readOnlyMessage()
{
    return translate("Файл БД открыт только для чтения: изменения не будут сохранены.");
}

QString writeRefusal(QSqlDatabase& db)
{
    return isReadOnly(db) ? readOnlyMessage() : QString();
}

QString formatMessage(const FormatCheck& check)
{
    switch (check.format) {
    case Format::Valid:
        return {};
    case Format::Unreadable:
        return translate("Неверный формат БД или файл поврежден.\nОшибка: %1.").arg(check.detail);
    case Format::NoSystemRow:
        return translate("В базе отсутствуют настройки панели.");
    case Format::UnsupportedVersion:
        return translate("Формат БД '%1' не поддерживается, только формат '1'.").arg(check.detail);
    }
    return {};
}

SettingsRead readSettings(QSqlDatabase& db, Settings* settings, QString* error)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral(
            " SELECT    card_format_default, columns, subscriber_name,    apartment_name, "
            "phone_name, card_name,     field1_name, field2_name, field3_name, field4_name, "
            "field5_name, field6_name, field7_name, field8_name, field9_name, field10_name  FROM "
            "system WHERE id = 1 "))) {
        *error = query.lastError().text();
        return SettingsRead::Failed;
    }
    if (!query.next())
        return SettingsRead::Missing;
    settings->keyFormat = query.value(0).toInt();
    settings->columns = query.value(1).toInt();
    settings->fieldNames.clear();
    for (int n = 0; n < 10; ++n)
        settings->fieldNames << query.value(6 + n).toString();
    return SettingsRead::Read;
}

QString fieldTitle(const Settings& settings, int n)
{
    const QString stored = settings.fieldNames.value(n - 1);
    return stored.isEmpty() ? translate("Доп. поле %1").arg(n) : stored;
}

bool fieldVisible(const Settings& settings, int n)
{
    return settings.columns & (1 << n);
}

QString clearSubscribers(QSqlDatabase& db)
{
    // The keys go with their subscribers.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("DELETE FROM subscriber")))
        return sqlErrorMessage(translate("Ошибка очистки БД"), query.lastError());
    return {};
}

namespace {

// A delete from the tree; the file is compacted after it.
QString deleteRows(QSqlDatabase& db, const QString& failure, const char* statement,
                   const QVariantMap& values)
{
    QSqlQuery query(db);
    query.prepare(QLatin1String(statement));
    for (auto value = values.begin(); value != values.end(); ++value)
        query.bindValue(value.key(), value.value());
    if (!query.exec())
        return sqlErrorMessage(failure, query.lastError());
    QSqlQuery(db).exec(QStringLiteral("VACUUM"));
    return {};
}

} // namespace

QString deleteSubscriber(QSqlDatabase& db, int number)
{
    // The keys go with their subscriber.
    return deleteRows(db, translate("Ошибка удаления абонента '%1'").arg(number),
                      " DELETE FROM subscriber WHERE id = :id ", {{QStringLiteral(":id"), number}});
}

QString deleteKey(QSqlDatabase& db, uint code, int subscriber)
{
    return deleteRows(
        db, translate("Ошибка удаления ключа абонента '%1'").arg(subscriber),
        " DELETE FROM card WHERE id = :id AND subscriber_id = :subscriber_id ",
        {{QStringLiteral(":id"), code}, {QStringLiteral(":subscriber_id"), subscriber}});
}

} // namespace DatabaseFile
