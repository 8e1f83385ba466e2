#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

// Database files ("*.zelkor"): creation from the built-in template, the format check, and the
// database's own settings kept in the system row.
namespace DatabaseFile {

constexpr int SupportedVersion = 1;
constexpr int DefaultColumns = 65535;

// Writes a byte copy of the template into fileName, replacing what was there. Empty on
// success, else the error string of the file that failed.
QString createFromTemplate(const QString& fileName);

// "Файл '%1' не существует." for fileName.
QString missingFileMessage(const QString& fileName);

enum class Format { Valid, Unreadable, NoSystemRow, UnsupportedVersion };
struct FormatCheck
{
    Format format = Format::Valid;
    QString detail; // the database error text, or the version found
};
FormatCheck checkFormat(QSqlDatabase& db);
// The message for a failed check.
QString formatMessage(const FormatCheck& check);

// Whether changes to the open database would be refused: the database header is changed in a
// transaction that is rolled back at once, so the file stays as it was. SQLite refuses it when
// the file cannot be written or its folder cannot hold the journal; any other failure (a lock
// held by another program) is not taken for a read-only file.
bool isReadOnly(QSqlDatabase& db);

// "Файл БД открыт только для чтения: изменения не будут сохранены."
QString readOnlyMessage();
// Why an operation that writes db must not start: the read-only message when db would refuse
// changes (isReadOnly); empty when it may go ahead. Asked before anything is done, so that no
// snapshot is taken and no panel read for a file that cannot take the result.
QString writeRefusal(QSqlDatabase& db);

// Titles of the extra fields, which of them are shown, and the key format proposed for new
// keys.
struct Settings
{
    int keyFormat = 2;
    int columns = DefaultColumns;
    QStringList fieldNames; // ten stored titles; an empty one means the default
};
enum class SettingsRead { Read, Failed, Missing };
SettingsRead readSettings(QSqlDatabase& db, Settings* settings, QString* error);

// The title shown for extra field n (1 to 10): the stored name, or "Доп. поле n".
QString fieldTitle(const Settings& settings, int n);
bool fieldVisible(const Settings& settings, int n);

// Deletes every subscriber, and with them their keys; inside the caller's transaction if one
// is open. Empty on success, else the message: what failed, with the database's error text.
QString clearSubscribers(QSqlDatabase& db);

// Delete one subscriber with its keys, or one key of a subscriber, and compact the file, as
// every delete from the tree does. Empty on success, else the message with the database's
// error text.
QString deleteSubscriber(QSqlDatabase& db, int number);
QString deleteKey(QSqlDatabase& db, uint code, int subscriber);

} // namespace DatabaseFile
