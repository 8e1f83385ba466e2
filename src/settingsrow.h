#pragma once

#include <QString>
#include <QVariantMap>

class QSqlDatabase;

// The panel settings kept in the system row (id 1), read and written as one map from column
// name to value (see settingsrecord.h).
namespace SettingsRow {

enum class Read { Read, Failed, Missing };

// Reads the 27 panel-setting columns; error receives the message on Failed: what failed, with
// the database's text.
Read read(QSqlDatabase& db, QVariantMap* values, QString* error);
// Updates the 27 columns from values; false with the message on a failure.
bool save(QSqlDatabase& db, const QVariantMap& values, QString* error);

// What a database without its settings row is told.
QString missingRowMessage();

} // namespace SettingsRow
