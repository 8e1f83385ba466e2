#pragma once

#include "paneltables.h"

#include <QList>
#include <QString>

#include <functional>

class QSqlDatabase;

// Puts a panel image into a database in one transaction: the settings row, then (in full
// mode) every subscriber and key replaced by the image's. Works on the connection it is given,
// in the caller's thread, and knows no widget. Anything that stops the writing (the settings,
// the clearing or a subscriber that cannot be written, a cancel) rolls the whole transaction
// back, so the database is exactly as before.
namespace ImportWriter {

struct Failure
{
    QString title; // empty: the caller's own title
    QString text;
};

struct Result
{
    enum Status { Written, Failed, Cancelled };
    Status status = Written;
    Failure failure;            // why the writing stopped
    QList<Failure> keyFailures; // keys that could not be added; the writing went on
};

// Steps the progress goes through: 1 for the settings, then one per subscriber and per key.
int steps(const PanelTables::PanelImage& image, bool settingsOnly);

// Writes image with keys rendered in keyFormat. progress receives the steps done; cancelled
// is asked before every subscriber.
Result write(QSqlDatabase& db, const PanelTables::PanelImage& image, bool settingsOnly,
             int keyFormat, const std::function<void(int)>& progress,
             const std::function<bool()>& cancelled);
// The same on a connection of its own to fileName, for a pool thread.
Result writeFile(const QString& fileName, const PanelTables::PanelImage& image, bool settingsOnly,
                 int keyFormat, const std::function<void(int)>& progress,
                 const std::function<bool()>& cancelled);

} // namespace ImportWriter
