#include "journalexport.h"

#include "csvwriter.h"
#include "fleetquery.h"
#include "journalfile.h"
#include "journalquery.h"
#include "journaltexts.h"
#include "pgconnection.h"

#include <QCoreApplication>

namespace {

QRuntimeError unreadable(const QString& journalFile, const JournalSource& query)
{
    return QRuntimeError::failure(
        QCoreApplication::translate("JournalExport",
                                    "Не удалось прочитать журнал %1.\r\nSqlError: %2.")
            .arg(journalFile, query.errorText()));
}

QRuntimeError write(JournalSource& query, const QString& journalName, bool withSite, int keyFormat,
                    const QString& fileName, const CsvEventsOptions& options,
                    const Csv::Progress& progress)
{
    const qint64 total = query.count();
    if (total < 0)
        return unreadable(journalName, query);

    CsvWriter writer(fileName, options.separator, options.codecName);
    QString error;
    if (!writer.open(&error))
        return QRuntimeError::failure(error);
    progress.maximum(int(qMin<qint64>(total, INT_MAX)));
    const QStringList site{QCoreApplication::translate("JournalExport", "Объект")};
    if (options.header)
        writer.writeRow(withSite ? site + JournalTexts::csvTitles() : JournalTexts::csvTitles());
    JournalTexts texts(keyFormat);
    int written = 0;
    bool cancelled = false;
    const bool read = query.forEach(
        [&](const JournalEntry& entry) {
            if ((cancelled = progress.cancelled()))
                return false;
            writer.writeRow(withSite ? QStringList{entry.site} + texts.csvRow(entry.record)
                                     : texts.csvRow(entry.record));
            progress.value(++written, int(total));
            return true;
        },
        true);
    if (!read) {
        writer.finish(&error);
        return unreadable(journalName, query);
    }
    return finishSavingEvents(writer, cancelled);
}

} // namespace

QRuntimeError exportJournal(const QString& journalFile, const JournalFilter& filter, int keyFormat,
                            const QString& fileName, const CsvEventsOptions& options,
                            const Csv::Progress& progress)
{
    JournalFile journal(journalFile);
    if (journal.openForReading() != JournalFile::State::ReadOnly)
        return QRuntimeError::failure(journal.errorText());
    JournalQuery query(journal.database(), filter);
    return write(query, journalFile, false, keyFormat, fileName, options, progress);
}

QRuntimeError exportFleetJournal(const QString& conninfo, const QString& password,
                                 const JournalFilter& filter, int keyFormat,
                                 const QString& fileName, const CsvEventsOptions& options,
                                 const Csv::Progress& progress)
{
    PgConnection server;
    if (!server.open(conninfo, password))
        return QRuntimeError::failure(server.errorText());
    FleetQuery query(server, filter);
    return write(query, PgConnection::withoutPassword(conninfo), true, keyFormat, fileName, options,
                 progress);
}
