#include "eventrecord.h"

#include "cardformat.h"
#include "qeventsdecription.h"

EventRow decodeEventRecord(const QByteArray& record, const QDateTime& received, int keyFormat)
{
    Q_ASSERT(record.size() == EventRecordSize);
    const auto* bytes = reinterpret_cast<const quint8*>(record.constData());
    EventRow row;
    row.time = received.toString(QStringLiteral("yyyy.MM.dd HH:mm:ss.zzz"));
    const uint key = uint(bytes[0]) | uint(bytes[1]) << 8 | uint(bytes[2]) << 16;
    const quint8 code = bytes[4];
    // The control events carry the control byte where other events carry the key.
    if (key != 0 && code != 0x26 && code != 0x27) {
        row.key = cardToText(keyFormat, key);
        row.card = key;
    }
    row.description = QEventsDecription::text(bytes);
    return row;
}
