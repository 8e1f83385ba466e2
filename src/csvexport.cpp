#include "csvexport.h"

#include "cardformat.h"
#include "csvwriter.h"
#include "sqlmessages.h"
#include "taskconnection.h"
#include "viewtree.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString translate(const char* text)
{
    return QCoreApplication::translate("QExportFromDB", text);
}

TreeViewRow readRow(const QSqlQuery& query)
{
    TreeViewRow row;
    row.subscriber = query.value(ViewTree::MasterId).toInt();
    row.isKey = !query.isNull(ViewTree::SlaveId);
    row.key = query.value(ViewTree::SlaveId).toUInt();
    row.keyFormat = query.value(ViewTree::Type).toInt();
    row.apartment = query.value(ViewTree::Apartment).toString();
    row.phone = query.value(ViewTree::Phone).toString();
    row.number = query.value(ViewTree::Number).toString();
    row.fields.reserve(Csv::FieldCount);
    for (int n = 0; n < Csv::FieldCount; ++n)
        row.fields << query.value(ViewTree::FirstField + n).toString();
    return row;
}

} // namespace

QStringList CsvExport::header(const CsvExportOptions& options)
{
    QStringList titles;
    for (int column : options.columns)
        titles << Csv::columnTitle(column);
    return titles;
}

QStringList CsvExport::fields(const CsvExportOptions& options, const TreeViewRow& row,
                              const QString& apartment, const QString& phone)
{
    QStringList result;
    result.reserve(options.columns.size());
    for (int column : options.columns) {
        switch (column) {
        case Csv::Subscriber:
            result << QString::number(row.subscriber);
            break;
        case Csv::Apartment:
            result << apartment;
            break;
        case Csv::Phone:
            result << phone;
            break;
        case Csv::Key:
            if (!row.isKey)
                result << QString();
            else if (options.keyType == 0)
                result << row.number;
            else
                result << cardToText(options.keyType - 1, row.key);
            break;
        default:
            result << row.fields.value(column - Csv::FirstField);
        }
    }
    return result;
}

QRuntimeError exportDatabase(const QString& databaseFile, const QString& fileName,
                             const CsvExportOptions& options, const Csv::Progress& progress)
{
    CsvWriter writer(fileName, options.separator, options.codecName);
    QString error;
    if (!writer.open(&error))
        return QRuntimeError::failure(error);

    TaskConnection connection(databaseFile);
    int total = 0;
    QSqlError countError = connection.database().lastError();
    const bool counted =
        connection.isOpen() && ViewTree::countRows(connection.database(), &total, &countError);
    if (progress.cancelled())
        return QRuntimeError::cancelled();
    if (!counted)
        return QRuntimeError::failure(
            sqlErrorMessage(translate("Ошибка получения количества записей в БД"), countError));
    progress.maximum(total);

    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    const bool selected = query.exec(QStringLiteral("SELECT * FROM view_tree"));
    if (progress.cancelled())
        return QRuntimeError::cancelled();
    if (!selected)
        return QRuntimeError::failure(
            sqlErrorMessage(translate("Ошибка получения записей из БД"), query.lastError()));

    if (options.header)
        writer.writeRow(CsvExport::header(options));
    int subscribers = 0;
    int keys = 0;
    int rows = 0;
    QString apartment;
    QString phone;
    bool cancelled = false;
    while (!(cancelled = progress.cancelled()) && query.next()) {
        const TreeViewRow row = readRow(query);
        if (row.isKey) {
            ++keys;
        } else {
            apartment = row.apartment;
            phone = row.phone;
            ++subscribers;
        }
        writer.writeRow(CsvExport::fields(options, row, apartment, phone));
        progress.value(++rows, total);
    }
    // What was written before a cancel stays in the file.
    if (!writer.finish(&error))
        return QRuntimeError::failure(error);
    if (cancelled)
        return QRuntimeError::cancelled();
    if (query.lastError().isValid())
        return QRuntimeError::failure(
            sqlErrorMessage(translate("Ошибка получения записей из БД"), query.lastError()));
    return QRuntimeError::success(
        writer.withWarning(translate("Экспорт данных выполнен успешно.\r\nЭкспортировано "
                                     "абонентов: %1.\r\nЭкспортировано ключей: %2.")
                               .arg(subscribers)
                               .arg(keys)));
}
