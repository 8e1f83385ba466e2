#pragma once

#include "backgroundtask.h"
#include "csvexport.h"

#include <QDialog>

namespace Ui {
class QExportFromDB;
}
class QSqlDatabase;

// Writes the open database into a delimited text file with the chosen columns, key format,
// separator, header line and encoding, as a cancellable background task.
class QExportFromDB : public QDialog
{
    Q_OBJECT
public:
    QExportFromDB(QWidget* parent, QSqlDatabase* db);
    ~QExportFromDB() override;

    // Runs the dialog modally on the database's connection.
    static void exec(QWidget* parent, QSqlDatabase* db);

    // What the form asks for.
    CsvExportOptions options() const;

signals:
    void setMaximum(int value);
    void setValue(int value);

public slots:
    void onCancel();
    void on_cboxSeparator_currentIndexChanged(int index);
    void on_pbExport_clicked();

private:
    using QDialog::exec;

    // The background task: reads nothing of the form, works on a connection of its own.
    QRuntimeError exportData(const QString& fileName, const QString& databaseFile,
                             const CsvExportOptions& options);

    Ui::QExportFromDB* ui;
    QSqlDatabase* db;
    CancelFlag m_cancel;
};
