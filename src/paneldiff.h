#pragma once

#include "exportcontent.h"
#include "paneltables.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// What an export of a database would change in a panel. Both sides are compared in the
// panel's own terms: the database as the export would leave it in a cleared panel (codes cut to
// their fields, numbers masked, digits packed), beside the panel as read.
namespace PanelDiff {

struct Setting
{
    QString column;
    QVariant panel;
    QVariant database;
};

// A subscriber with a differing apartment or phone, or on one side only.
struct Subscriber
{
    int number = 0;
    bool onPanel = false;
    bool inDatabase = false;
    PanelTables::SubscriberImage panel;
    PanelTables::SubscriberImage database;
};

// A key on one side only, or owned by another subscriber; -1 where it is absent.
struct Key
{
    uint code = 0;
    int panelOwner = -1;
    int databaseOwner = -1;
};

struct Differences
{
    QList<Setting> settings;
    QList<Subscriber> subscribers; // ascending number
    QList<Key> keys;               // ascending code

    bool isEmpty() const { return settings.isEmpty() && subscribers.isEmpty() && keys.isEmpty(); }
};

// The panel as an export of content leaves it.
PanelTables::PanelImage exportedImage(const ExportContent& content);
Differences compare(const PanelTables::PanelImage& panel, const PanelTables::PanelImage& database);

// The differences as a person reads them before an export, in groups: settings that change,
// subscribers added, removed or changed (apartment, phone), keys added, removed or moved to
// another subscriber. Only groups that hold something, each title with its count; keys are
// written in keyFormat.
struct Group
{
    QString title;
    QStringList items;
};
QList<Group> groups(const Differences& differences, int keyFormat);

// For scripts: one line a difference, its fields separated by TABs: what (setting, subscriber,
// apartment, phone, key), which, the panel's value, the database's value; an absent side is
// empty. Or a JSON document.
QStringList lines(const Differences& differences);
QByteArray json(const Differences& differences);

} // namespace PanelDiff
