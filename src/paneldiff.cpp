#include "paneldiff.h"

#include "cardformat.h"
#include "settingsrecord.h"

#include <QCoreApplication>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <algorithm>

namespace PanelDiff {

namespace {

QMap<uint, int> keyOwners(const PanelTables::SubscriberImages& subscribers)
{
    QMap<uint, int> owners;
    for (const PanelTables::SubscriberImage& subscriber : subscribers)
        for (const uint code : subscriber.keys)
            owners.insert(code, subscriber.number);
    return owners;
}

QList<Setting> compareSettings(const QByteArray& panel, const QByteArray& database)
{
    const QVariantMap onPanel = SettingsRecord::decode(panel);
    const QVariantMap inDatabase = SettingsRecord::decode(database);
    QList<Setting> differences;
    for (const SettingsRecord::Field& field : SettingsRecord::fields()) {
        const QString column = QString::fromLatin1(field.column);
        if (onPanel.value(column) != inDatabase.value(column))
            differences.append({column, onPanel.value(column), inDatabase.value(column)});
    }
    return differences;
}

QList<Subscriber> compareSubscribers(const PanelTables::SubscriberImages& panel,
                                     const PanelTables::SubscriberImages& database)
{
    QList<int> numbers = panel.keys() + database.keys();
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    QList<Subscriber> differences;
    for (const int number : numbers) {
        Subscriber subscriber;
        subscriber.number = number;
        subscriber.onPanel = panel.contains(number);
        subscriber.inDatabase = database.contains(number);
        subscriber.panel = panel.value(number);
        subscriber.database = database.value(number);
        if (subscriber.onPanel != subscriber.inDatabase ||
            subscriber.panel.apartment != subscriber.database.apartment ||
            subscriber.panel.phone != subscriber.database.phone)
            differences.append(subscriber);
    }
    return differences;
}

QList<Key> compareKeys(const PanelTables::SubscriberImages& panel,
                       const PanelTables::SubscriberImages& database)
{
    const QMap<uint, int> onPanel = keyOwners(panel);
    const QMap<uint, int> inDatabase = keyOwners(database);
    QMap<uint, Key> differences;
    for (auto it = onPanel.cbegin(); it != onPanel.cend(); ++it)
        if (inDatabase.value(it.key(), -1) != it.value())
            differences.insert(it.key(), {it.key(), it.value(), inDatabase.value(it.key(), -1)});
    for (auto it = inDatabase.cbegin(); it != inDatabase.cend(); ++it)
        if (!onPanel.contains(it.key()))
            differences.insert(it.key(), {it.key(), -1, it.value()});
    return differences.values();
}

QJsonValue owner(int number)
{
    return number < 0 ? QJsonValue() : QJsonValue(number);
}

QJsonValue side(bool present, const PanelTables::SubscriberImage& subscriber)
{
    if (!present)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("apartment"), subscriber.apartment},
                       {QStringLiteral("phone"), subscriber.phone}};
}

QString translate(const char* text)
{
    return QCoreApplication::translate("PanelDiff", text);
}

QString orNone(const QString& value)
{
    return value.isEmpty() ? QStringLiteral("—") : value;
}

QString subscriberText(int number, const PanelTables::SubscriberImage& subscriber)
{
    return translate("Абонент %1: квартира %2, телефон %3")
        .arg(number)
        .arg(orNone(subscriber.apartment), orNone(subscriber.phone));
}

QString changeText(const Subscriber& subscriber)
{
    QStringList changes;
    if (subscriber.panel.apartment != subscriber.database.apartment)
        changes << translate("квартира %1 → %2")
                       .arg(orNone(subscriber.panel.apartment),
                            orNone(subscriber.database.apartment));
    if (subscriber.panel.phone != subscriber.database.phone)
        changes << translate("телефон %1 → %2")
                       .arg(orNone(subscriber.panel.phone), orNone(subscriber.database.phone));
    return translate("Абонент %1: %2")
        .arg(subscriber.number)
        .arg(changes.join(QStringLiteral(", ")));
}

} // namespace

PanelTables::PanelImage exportedImage(const ExportContent& content)
{
    // Read back block by block, the way an import reads the panel: the same records give the
    // same subscribers.
    PanelTables::PanelImage image;
    image.settings = content.settings.left(SettingsRecord::Size);
    for (auto it = content.apartments.cbegin(); it != content.apartments.cend(); ++it)
        PanelTables::addApartments(image.subscribers, it.key(), it.value());
    for (auto it = content.phones.cbegin(); it != content.phones.cend(); ++it)
        PanelTables::addPhones(image.subscribers, it.key(), it.value());
    for (int n = 0; n * PanelTables::BlockBytes < content.keys.size(); ++n)
        PanelTables::addKeys(
            image.subscribers, n,
            content.keys.mid(n * PanelTables::BlockBytes, PanelTables::BlockBytes));
    return image;
}

Differences compare(const PanelTables::PanelImage& panel, const PanelTables::PanelImage& database)
{
    Differences differences;
    differences.settings = compareSettings(panel.settings, database.settings);
    differences.subscribers = compareSubscribers(panel.subscribers, database.subscribers);
    differences.keys = compareKeys(panel.subscribers, database.subscribers);
    return differences;
}

QList<Group> groups(const Differences& differences, int keyFormat)
{
    enum { Settings, Added, Removed, Changed, KeysAdded, KeysRemoved, KeysMoved, Count };
    const char* const titles[Count] = {
        QT_TRANSLATE_NOOP("PanelDiff", "Изменятся настройки: %1"),
        QT_TRANSLATE_NOOP("PanelDiff", "Добавятся абоненты: %1"),
        QT_TRANSLATE_NOOP("PanelDiff", "Удалятся абоненты: %1"),
        QT_TRANSLATE_NOOP("PanelDiff", "Изменятся абоненты (квартира, телефон): %1"),
        QT_TRANSLATE_NOOP("PanelDiff", "Добавятся ключи: %1"),
        QT_TRANSLATE_NOOP("PanelDiff", "Удалятся ключи: %1"),
        QT_TRANSLATE_NOOP("PanelDiff", "Перейдут к другому абоненту ключи: %1"),
    };
    QStringList items[Count];
    for (const Setting& setting : differences.settings)
        items[Settings] << QStringLiteral("%1: %2 → %3")
                               .arg(setting.column, orNone(setting.panel.toString()),
                                    orNone(setting.database.toString()));
    for (const Subscriber& subscriber : differences.subscribers) {
        if (!subscriber.onPanel)
            items[Added] << subscriberText(subscriber.number, subscriber.database);
        else if (!subscriber.inDatabase)
            items[Removed] << subscriberText(subscriber.number, subscriber.panel);
        else
            items[Changed] << changeText(subscriber);
    }
    for (const Key& key : differences.keys) {
        const QString code = cardToText(keyFormat, key.code);
        if (key.panelOwner < 0)
            items[KeysAdded] << translate("Ключ %1 абонента %2").arg(code).arg(key.databaseOwner);
        else if (key.databaseOwner < 0)
            items[KeysRemoved] << translate("Ключ %1 абонента %2").arg(code).arg(key.panelOwner);
        else
            items[KeysMoved] << translate("Ключ %1: абонент %2 → %3")
                                    .arg(code)
                                    .arg(key.panelOwner)
                                    .arg(key.databaseOwner);
    }
    QList<Group> out;
    for (int group = 0; group < Count; ++group)
        if (!items[group].isEmpty())
            out.append({translate(titles[group]).arg(items[group].size()), items[group]});
    return out;
}

QByteArray json(const Differences& differences)
{
    QJsonArray settings;
    for (const Setting& setting : differences.settings)
        settings.append(QJsonObject{{QStringLiteral("column"), setting.column},
                                    {QStringLiteral("panel"), setting.panel.toJsonValue()},
                                    {QStringLiteral("database"), setting.database.toJsonValue()}});
    QJsonArray subscribers;
    for (const Subscriber& subscriber : differences.subscribers)
        subscribers.append(QJsonObject{
            {QStringLiteral("number"), subscriber.number},
            {QStringLiteral("panel"), side(subscriber.onPanel, subscriber.panel)},
            {QStringLiteral("database"), side(subscriber.inDatabase, subscriber.database)}});
    QJsonArray keys;
    for (const Key& key : differences.keys)
        keys.append(QJsonObject{{QStringLiteral("code"), qint64(key.code)},
                                {QStringLiteral("panel"), owner(key.panelOwner)},
                                {QStringLiteral("database"), owner(key.databaseOwner)}});
    const QJsonObject document{{QStringLiteral("same"), differences.isEmpty()},
                               {QStringLiteral("settings"), settings},
                               {QStringLiteral("subscribers"), subscribers},
                               {QStringLiteral("keys"), keys}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QStringList lines(const Differences& differences)
{
    const auto line = [](const char* what, const QString& which, const QString& panel,
                         const QString& database) {
        return QStringLiteral("%1\t%2\t%3\t%4").arg(QLatin1String(what), which, panel, database);
    };
    QStringList out;
    for (const Setting& setting : differences.settings)
        out << line("setting", setting.column, setting.panel.toString(),
                    setting.database.toString());
    for (const Subscriber& subscriber : differences.subscribers) {
        const QString number = QString::number(subscriber.number);
        if (subscriber.onPanel != subscriber.inDatabase) {
            out << line("subscriber", number, subscriber.onPanel ? number : QString(),
                        subscriber.inDatabase ? number : QString());
            continue;
        }
        if (subscriber.panel.apartment != subscriber.database.apartment)
            out << line("apartment", number, subscriber.panel.apartment,
                        subscriber.database.apartment);
        if (subscriber.panel.phone != subscriber.database.phone)
            out << line("phone", number, subscriber.panel.phone, subscriber.database.phone);
    }
    const auto ownerText = [](int number) {
        return number < 0 ? QString() : QString::number(number);
    };
    for (const Key& key : differences.keys)
        out << line("key", QString::number(key.code), ownerText(key.panelOwner),
                    ownerText(key.databaseOwner));
    return out;
}

} // namespace PanelDiff
