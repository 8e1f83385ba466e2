// The settings record: any 36 bytes a panel may return, and any values a database row may hold
// (texts where numbers belong, numbers out of range, codes of any characters). A decoded record
// must fit the database's columns, and what is written and read back must come back the same.
#include "settingsrecord.h"
#include "crc8.h"
#include "harness.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

using SettingsRecord::Field;

// Bits a written record always leaves clear: bits 0-1 of byte 4, bits 1-7 of byte 35.
constexpr int ReservedByte4 = 4;
constexpr quint8 ReservedMask4 = 0x03;
constexpr int ReservedByte35 = 35;
constexpr quint8 ReservedMask35 = 0xFE;
// The four codes, six bytes each, one digit per byte.
constexpr int CodeOffsets[] = {7, 13, 20, 26};
constexpr int CodeWidth = 6;

bool inCode(int offset)
{
    for (int code : CodeOffsets)
        if (offset >= code && offset < code + CodeWidth)
            return true;
    return false;
}

quint8 byteAt(const QByteArray& bytes, int index)
{
    return quint8(bytes.at(index));
}

void checkDecoded(const QVariantMap& values)
{
    // Every column of the row, and nothing else.
    QStringList columns = SettingsRecord::columns();
    columns.sort();
    FUZZ_CHECK(values.keys() == columns);
    for (const Field& field : SettingsRecord::fields()) {
        const QVariant value = values.value(QLatin1String(field.column));
        if (field.kind == Field::Code) {
            // The columns are NOT NULL varchar (6): never a null text, at most six digits.
            FUZZ_CHECK(value.userType() == QMetaType::QString);
            const QString code = value.toString();
            FUZZ_CHECK(!code.isNull() && code.size() <= CodeWidth);
            for (QChar c : code)
                FUZZ_CHECK(c >= QLatin1Char('0') && c <= QLatin1Char('9'));
            continue;
        }
        FUZZ_CHECK(value.userType() == QMetaType::Int);
        const int bits = field.kind == Field::Bits ? field.width : 8 * field.width;
        FUZZ_CHECK(value.toInt() >= 0 && qint64(value.toInt()) < (qint64(1) << bits));
    }
}

// A record as the program writes it: sealed, reserved bits clear, each code its digits (1 to
// 10) from the first byte on and zeros after them.
void checkWritten(const QByteArray& record)
{
    FUZZ_CHECK(record.size() == SettingsRecord::SealedSize);
    FUZZ_CHECK(byteAt(record, SettingsRecord::Size) ==
               crc8(reinterpret_cast<const quint8*>(record.constData()), SettingsRecord::Size));
    FUZZ_CHECK((byteAt(record, ReservedByte4) & ReservedMask4) == 0);
    FUZZ_CHECK((byteAt(record, ReservedByte35) & ReservedMask35) == 0);
    for (int code : CodeOffsets) {
        bool ended = false;
        for (int i = code; i < code + CodeWidth; ++i) {
            const quint8 digit = byteAt(record, i);
            FUZZ_CHECK(digit <= 10 && !(ended && digit != 0));
            ended = ended || digit == 0;
        }
    }
}

// Values for every column out of the bytes, split at FF: texts as a database may return them.
QVariantMap valuesOf(const QByteArray& bytes)
{
    const QList<QByteArray> parts = bytes.split('\xFF');
    QVariantMap values;
    int n = 0;
    for (const Field& field : SettingsRecord::fields()) {
        if (n < parts.size())
            values[QLatin1String(field.column)] = QString::fromLatin1(parts.at(n));
        ++n;
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    const QVariantMap decoded = SettingsRecord::decode(input);
    if (input.size() < SettingsRecord::Size) {
        // A short record gives nothing rather than bytes from beyond it.
        FUZZ_CHECK(decoded.isEmpty());
        return 0;
    }
    checkDecoded(decoded);

    // Written back, a read record keeps every bit of every setting; codes may only be
    // tidied, and read once more they give the same values.
    const QByteArray written = SettingsRecord::encode(decoded);
    checkWritten(written);
    for (int i = 0; i < SettingsRecord::Size; ++i) {
        if (inCode(i))
            continue;
        const quint8 reserved = i == ReservedByte4    ? ReservedMask4
                                : i == ReservedByte35 ? ReservedMask35
                                                      : 0;
        FUZZ_CHECK(byteAt(written, i) == (byteAt(input, i) & ~reserved));
    }
    FUZZ_CHECK(SettingsRecord::decode(written) == decoded);

    // Whatever a row holds, the record written from it is sound, and reading it and writing
    // it again changes not a byte.
    const QByteArray fromRow = SettingsRecord::encode(valuesOf(input.mid(SettingsRecord::Size)));
    checkWritten(fromRow);
    const QVariantMap reread = SettingsRecord::decode(fromRow);
    checkDecoded(reread);
    FUZZ_CHECK(SettingsRecord::encode(reread) == fromRow);
    return 0;
}
