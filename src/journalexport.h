#pragma once

#include "csvevents.h"
#include "journalquery.h"

// Writes the records of filter from the journal journalFile into fileName, newest first as
// the journal view shows them: the events list's columns (time, key, event) and the owner's
// (subscriber, apartment, name), with the separator, header line and encoding of options. The
// key is shown in keyFormat. Opens a connection of its own, so it is meant for a pool thread.
QRuntimeError exportJournal(const QString& journalFile, const JournalFilter& filter, int keyFormat,
                            const QString& fileName, const CsvEventsOptions& options,
                            const Csv::Progress& progress);
// The same from the fleet journal on a PostgreSQL server (conninfo, and a password asked of
// the person or empty), with each record's site in a first column.
QRuntimeError exportFleetJournal(const QString& conninfo, const QString& password,
                                 const JournalFilter& filter, int keyFormat,
                                 const QString& fileName, const CsvEventsOptions& options,
                                 const Csv::Progress& progress);
