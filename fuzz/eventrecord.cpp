// Event decoding: any six record bytes the panel may report, shown in any key format a
// database may hold, including codes outside the known ones.
#include "eventrecord.h"
#include "harness.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < size_t(EventRecordSize))
        return 0;
    const QByteArray record(reinterpret_cast<const char*>(data), EventRecordSize);
    // Bytes after the record give the key format, as a stored setting could hold any number.
    int32_t format = 0;
    std::memcpy(&format, data + EventRecordSize, std::min(size - EventRecordSize, sizeof format));
    static const QDateTime received(QDate(2026, 12, 6), QTime(10, 30));

    const EventRow row = decodeEventRecord(record, received, format);
    const uint key = uint(data[0]) | uint(data[1]) << 8 | uint(data[2]) << 16;
    const bool control = data[4] == 0x26 || data[4] == 0x27;
    // A key is announced and shown exactly when the record carries one.
    FUZZ_CHECK(row.card == (control ? 0 : key));
    FUZZ_CHECK(row.key.isEmpty() == (row.card == 0));
    FUZZ_CHECK(!row.description.isEmpty());
    FUZZ_CHECK(row.time == QLatin1String("2026.12.06 10:30:00.000"));
    return 0;
}
