#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// What the journal groups events by: the filters of the journal view and of
// `ostrovel-cli journal` choose among these.
enum class JournalKind : int {
    Pass = 0,      // by key, keypad, phone or the exit button
    Refusal = 1,   // access refused
    Control = 2,   // the lock or the additional device switched from a computer or a phone
    PowerFire = 3, // power-on and the fire sensor
    Other = 4,     // an event code the program does not know
    Action = 5,    // something this program did to the panel (lock command, export, firmware…)
};

// The kind an event code of the panel belongs to.
JournalKind journalKindOf(quint8 eventCode);

// The subscriber a key belonged to in the database open when the event arrived.
struct JournalOwner
{
    int subscriber = -1; // -1: none
    QString apartment;
    QString name;

    bool isValid() const { return subscriber >= 0; }
};

// One entry of the journal: a record the panel reported, or an action of this program.
struct JournalRecord
{
    qint64 received = 0; // when the computer received it, ms since the epoch (UTC)
    // Records the panel kept while nobody polled it carry no time of their own: they happened
    // within [storedFrom, storedUntil], storedUntil being when polling resumed. storedFrom is 0
    // when the start is unknown (the link was never seen before).
    bool stored = false;
    qint64 storedFrom = 0;
    qint64 storedUntil = 0;
    QByteArray raw; // the panel's 6-byte record; empty for the program's own actions
    JournalKind kind = JournalKind::Other;
    int code = -1;    // the event code; -1 for the program's own actions
    quint32 key = 0;  // 0: no key
    QString text;     // the event's description, or the action
    QString detail;   // the action's outcome; empty for panel records
    QString port;     // the serial port
    QString database; // the database file open at the time; empty when none
    JournalOwner owner;
    QString user; // who ran the action; empty for panel records

    // A record of the panel: kind, code, key and description from its six bytes.
    static JournalRecord fromPanel(const QByteArray& record, qint64 received, const QString& port);
    // An action of this program with its outcome, by the computer's current user.
    static JournalRecord action(const QString& text, const QString& outcome, const QString& port,
                                qint64 received);
};

Q_DECLARE_METATYPE(JournalRecord)

// The computer's user name as the journal records it.
QString journalUserName();
