#pragma once

#include "backgroundtask.h"
#include "csvimport.h"

#include <QByteArray>
#include <QDialog>
#include <QStringList>
#include <QTimer>

namespace Ui {
class QImportToDB;
}
class CsvPreviewModel;
class QSqlDatabase;

// Reads a delimited text file, maps its columns onto subscriber and key data, shows a checked
// preview with the faulty cells marked, and imports the lines into the open database in one
// transaction, as a cancellable background task.
class QImportToDB : public QDialog
{
    Q_OBJECT
public:
    QImportToDB(QWidget* parent, QSqlDatabase* db);
    ~QImportToDB() override;

    // Runs the dialog modally on the database's connection; true when data was imported.
    static bool exec(QWidget* parent, QSqlDatabase* db);

    // Reads fileName and previews it, as choosing it with "Открыть файл" does; false (after
    // telling the user) when it cannot be read, keeping the lines loaded before.
    bool loadFile(const QString& fileName);
    // What the form asks for.
    CsvImportOptions options() const;

signals:
    void setMaximum(int value);
    void setValue(int value);

public slots:
    void extractData();
    void onTimeout();
    void on_cboxSeparator_currentIndexChanged(int index);
    void on_cboxSubscriber_currentIndexChanged(int index);
    void on_pbLoadFile_clicked();
    void on_leSeparator_textChanged(QString arg1);
    void on_actionRefresh_triggered(bool checked);
    void on_cbType_currentIndexChanged(int index);
    void on_leRegExp_textChanged(QString arg1);
    void on_pbRefresh_clicked();
    void on_pbImport_clicked();
    void on_cboxCodecs_currentIndexChanged(int index);
    void onCancel();

private:
    using QDialog::exec;

    void fillSubscriberList();
    void setPreviewStale(bool stale);
    QVector<int> columnCodes() const;
    // The subscriber typed or chosen for binding; -1 when there is none.
    int boundSubscriber() const;
    // The background task, on the lines and options taken in the GUI thread.
    QRuntimeError importData(const QString& databaseFile, const QStringList& lines,
                             const CsvImportOptions& options);

    Ui::QImportToDB* ui;
    QSqlDatabase* db;
    CsvPreviewModel* m_preview;
    bool m_fileLoaded = false;
    QByteArray m_bytes; // kept to decode again with another codec
    QStringList m_lines;
    QVector<int> m_columns;
    QTimer m_blink;
    CancelFlag m_cancel;
};
