#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>
#include <QVector>

// The panel's settings record: 36 bytes that the panel receives with the write-settings
// command and returns on reading, mapped to the panel-setting columns of the system row.
// Values travel as a map from column name to value, so the same map feeds the record, the
// database row and the settings dialog.
namespace SettingsRecord {

constexpr int Size = 36;
// The record followed by its CRC8, as it is sent.
constexpr int SealedSize = Size + 1;

struct Field
{
    enum Kind {
        Bits,   // width bits from bit shift of the byte at offset
        Number, // width bytes, little-endian, unsigned
        Code,   // six bytes, one digit each
    };
    const char* column;
    Kind kind;
    int offset;
    int shift;
    int width;
};

// The 27 panel-setting columns in the order of the system table.
const QVector<Field>& fields();
QStringList columns();
// What the panel settings dialog calls the setting of a column, for people; the column itself
// for one it does not know.
QString title(const QString& column);

// The record built from the values (missing ones count as 0 or empty), each number masked to
// its field, followed by its CRC8. A number that does not read as one (an empty or mistyped
// password) gives 0.
QByteArray encode(const QVariantMap& values);
// The values of a record of at least Size bytes: numbers as int, codes as digit strings.
QVariantMap decode(const QByteArray& record);

} // namespace SettingsRecord
