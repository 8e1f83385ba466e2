#include "csvevents.h"

#include "csvwriter.h"

#include <QCoreApplication>

QRuntimeError saveEvents(const QString& fileName, const QStringList& titles,
                         const QVector<QStringList>& rows, const CsvEventsOptions& options,
                         const Csv::Progress& progress)
{
    CsvWriter writer(fileName, options.separator, options.codecName);
    QString error;
    if (!writer.open(&error))
        return QRuntimeError::failure(error);
    progress.maximum(rows.size());
    if (options.header)
        writer.writeRow(titles);
    bool cancelled = false;
    for (int n = 0; n < rows.size() && !(cancelled = progress.cancelled()); ++n) {
        writer.writeRow(rows.at(n));
        progress.value(n + 1, rows.size());
    }
    return finishSavingEvents(writer, cancelled);
}

QRuntimeError finishSavingEvents(CsvWriter& writer, bool cancelled)
{
    QString error;
    // The lines written before a cancel stay in the file.
    if (!writer.finish(&error))
        return QRuntimeError::failure(error);
    if (cancelled)
        return QRuntimeError::cancelled();
    return QRuntimeError::success(writer.withWarning(
        QCoreApplication::translate("QSaveEvents",
                                    "Сохранение событий выполнено успешно.\r\nВсего строк: %1.")
            .arg(writer.rows())));
}
