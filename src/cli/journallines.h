#pragma once

#include "journalrecord.h"

#include <QString>

// A journal record as ostrovel-cli prints it: a line of tab-separated fields (time, key,
// event, subscriber, apartment, name, note) or a JSON object on one line.
namespace JournalLines {

QString text(const JournalRecord& record, int keyFormat);
// site, a fleet journal's, is given as "site" when not empty.
QString json(const JournalRecord& record, int keyFormat, const QString& site = QString());

// The names --kind takes, in the order of JournalKind.
QStringList kindNames();

} // namespace JournalLines
