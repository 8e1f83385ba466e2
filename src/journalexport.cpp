#include "journalexport.h"

#include "csvwriter.h"
#include "journalfile.h"
#include "journaltexts.h"

#include <QCoreApplication>

namespace {

QRuntimeError unreadable(const QString& journalFile, const JournalQuery& query)
{
    return QRuntimeError::failure(
        QCoreApplication::translate("JournalExport",
                                    "Не удалось прочитать журнал %1.\r\nSqlError: %2.")
            .arg(journalFile, query.errorText()));
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
    const qint64 total = query.count();
    if (total < 0)
        return unreadable(journalFile, query);

    CsvWriter writer(fileName, options.separator, options.codecName);
    QString error;
    if (!writer.open(&error))
        return QRuntimeError::failure(error);
    progress.maximum(int(qMin<qint64>(total, INT_MAX)));
    if (options.header)
        writer.writeRow(JournalTexts::csvTitles());
    JournalTexts texts(keyFormat);
    int written = 0;
    bool cancelled = false;
    const bool read = query.forEach(
        [&](const JournalEntry& entry) {
            if ((cancelled = progress.cancelled()))
                return false;
            writer.writeRow(texts.csvRow(entry.record));
            progress.value(++written, int(total));
            return true;
        },
        true);
    if (!read) {
        writer.finish(&error);
        return unreadable(journalFile, query);
    }
    return finishSavingEvents(writer, cancelled);
}
