#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One row of the events list, made from a 6-byte event record of the panel.
struct EventRow
{
    QString time;        // time of reception on this computer
    QString key;         // the key in the chosen key format; empty without a key
    QString description; // what happened
    uint card = 0;       // key code to announce to key capture, 0 for none
};

constexpr int EventRecordSize = 6;

// Decodes a record; keyFormat is the key format code the key is shown in.
EventRow decodeEventRecord(const QByteArray& record, const QDateTime& received, int keyFormat);
