#include "journalrecord.h"

#include "eventrecord.h"
#include "qeventsdecription.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

JournalKind journalKindOf(quint8 eventCode)
{
    switch (eventCode) {
    case 0x00:
    case 0x01:
    case 0x02:
    case 0x03:
        return JournalKind::Pass;
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x08:
        return JournalKind::Refusal;
    case 0x26:
    case 0x27:
        return JournalKind::Control;
    case 0x0D:
    case 0x13:
    case 0x14:
        return JournalKind::PowerFire;
    default:
        return JournalKind::Other;
    }
}

JournalRecord JournalRecord::fromPanel(const QByteArray& record, qint64 received,
                                       const QString& port)
{
    JournalRecord entry;
    entry.received = received;
    entry.raw = record.left(EventRecordSize);
    entry.port = port;
    if (entry.raw.size() < EventRecordSize)
        return entry;
    const auto* bytes = reinterpret_cast<const quint8*>(entry.raw.constData());
    entry.code = bytes[4];
    entry.kind = journalKindOf(bytes[4]);
    // For the control events the first byte is the control byte, not a key.
    if (entry.kind != JournalKind::Control)
        entry.key = quint32(bytes[0]) | quint32(bytes[1]) << 8 | quint32(bytes[2]) << 16;
    entry.text = QEventsDecription::text(bytes);
    return entry;
}

JournalRecord JournalRecord::action(const QString& text, const QString& outcome,
                                    const QString& port, qint64 received)
{
    JournalRecord entry;
    entry.received = received;
    entry.kind = JournalKind::Action;
    entry.text = text;
    entry.detail = outcome;
    entry.port = port;
    entry.user = journalUserName();
    return entry;
}

QString journalUserName()
{
    // The account the process runs as, which a service started by systemd has too, even
    // without $USER.
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(4096);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return qEnvironmentVariable("USER");
}
