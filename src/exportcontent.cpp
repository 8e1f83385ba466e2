#include "exportcontent.h"

#include "settingsrecord.h"
#include "settingsrow.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString translate(const char* text)
{
    return QCoreApplication::translate("QExport", text);
}

QString outOfRange(const QVariant& number)
{
    return translate("Абонент '%1' вне диапазона номеров панели (0–24999).").arg(number.toString());
}

QString loadSubscribers(QSqlDatabase& db, ExportContent& content)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, apartment, phone FROM subscriber ORDER BY id")))
        return translate("Ошибка загрузка квартир и телефонов из БД.\r\nSqlError: %1")
            .arg(query.lastError().text());
    while (query.next()) {
        bool ok = false;
        const qint64 number = query.value(0).toLongLong(&ok);
        if (!ok || !PanelTables::isSubscriberNumber(number))
            return outOfRange(query.value(0));
        PanelTables::putPacked(content.apartments, PanelTables::Apartments, int(number),
                               query.value(1).toString());
        PanelTables::putPacked(content.phones, PanelTables::Phones, int(number),
                               query.value(2).toString());
    }
    return {};
}

QString loadKeys(QSqlDatabase& db, ExportContent& content)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, subscriber_id FROM card ORDER BY id")))
        return translate("Ошибка загрузки ключей из БД.\r\nSqlError: %1")
            .arg(query.lastError().text());
    while (query.next()) {
        // A key can name a subscriber that is not there when it was written past the
        // foreign key; its number must still fit the panel.
        const qint64 subscriber = query.value(1).toLongLong();
        if (!PanelTables::isSubscriberNumber(subscriber))
            return outOfRange(query.value(1));
        content.keys +=
            PanelTables::keyRecord(uint(query.value(0).toLongLong() & 0xFFFFFF), int(subscriber));
    }
    // The panel would refuse the key past its table's end only after everything else had
    // been written: refuse before the panel is cleared.
    const int keys = content.keys.size() / PanelTables::Keys.recordSize;
    if (keys > PanelTables::Records)
        return translate("Ключей в БД %1, а панель вмещает не более %2.")
            .arg(keys)
            .arg(PanelTables::Records);
    return {};
}

QString loadSettings(QSqlDatabase& db, ExportContent& content)
{
    QVariantMap values;
    QString error;
    switch (SettingsRow::read(db, &values, &error)) {
    case SettingsRow::Read::Failed:
        return error;
    case SettingsRow::Read::Missing:
        return SettingsRow::missingRowMessage();
    case SettingsRow::Read::Read:
        break;
    }
    content.settings = SettingsRecord::encode(values);
    return {};
}

} // namespace

ExportLoad loadExportContent(QSqlDatabase& db)
{
    ExportLoad load;
    load.error = loadSubscribers(db, load.content);
    if (load.error.isEmpty())
        load.error = loadKeys(db, load.content);
    if (load.error.isEmpty())
        load.error = loadSettings(db, load.content);
    if (!load.error.isEmpty())
        load.content = ExportContent();
    return load;
}
