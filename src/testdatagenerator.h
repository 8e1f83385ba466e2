#pragma once

#include <QString>

#include <functional>

class QSqlDatabase;

// Fills a database with test data: subscribers 0 to 24998, each with an apartment, a phone,
// one TouchMemory key and random extra fields, in one transaction on the given connection.
// Returns an empty text on success, else the message to show; a failed insert rolls the
// whole transaction back, so a database is never left half filled.
namespace TestData {
constexpr int Subscribers = 24999;
QString generate(QSqlDatabase& db, const std::function<void(int)>& setValue);
// The same on a connection of its own to databaseFile, for a pool thread.
QString generateFile(const QString& databaseFile, const std::function<void(int)>& setValue);
} // namespace TestData
