#pragma once

#include "csvformat.h"
#include "qruntimeerror.h"

#include <QString>
#include <QStringList>
#include <QVector>

class CsvWriter;

// How the events list is saved: the separator, the header line and the encoding.
struct CsvEventsOptions
{
    QString separator = QStringLiteral("\\t"); // as typed: backslash-t stands for TAB
    bool header = false;
    QString codecName = QString::fromLatin1(Csv::DefaultCodec);
};

// Writes rows (the texts of each row's columns, taken from the list beforehand) into fileName,
// after the titles as a header line when the options ask for one. Meant for a pool thread.
QRuntimeError saveEvents(const QString& fileName, const QStringList& titles,
                         const QVector<QStringList>& rows, const CsvEventsOptions& options,
                         const Csv::Progress& progress);

// Ends a save of events into writer: the file closed, and the message of a write failure, of
// the cancel, or of the lines written.
QRuntimeError finishSavingEvents(CsvWriter& writer, bool cancelled);
