#pragma once

#include "backgroundtask.h"
#include "csvevents.h"

#include <QDialog>

#include <functional>

namespace Ui {
class QSaveEvents;
}
class QTreeWidget;

// Saves events into a delimited text file, as a cancellable background task: the rows of the
// events list, copied when saving starts so that events arriving meanwhile are not saved, or
// what another source writes with the same options, such as the journal view's records.
class QSaveEvents : public QDialog
{
    Q_OBJECT
public:
    // Writes the events into a file with the chosen options, in the pool thread.
    using Writer = std::function<QRuntimeError(
        const QString& fileName, const CsvEventsOptions& options, const Csv::Progress& progress)>;
    struct Source
    {
        QString fileNamePrefix;          // of the proposed file name, before the date and time
        QString processText;             // of the wait dialog
        std::function<Writer()> prepare; // called in the GUI thread when saving starts
    };

    QSaveEvents(QWidget* parent, QTreeWidget* events);
    QSaveEvents(QWidget* parent, const Source& source);
    ~QSaveEvents() override;

    // Runs the dialog modally on the events list, or on another source.
    static void exec(QWidget* parent, QTreeWidget* events);
    static void exec(QWidget* parent, const Source& source);

signals:
    void setMaximum(int value);
    void setValue(int value);

public slots:
    void on_cboxSeparator_currentIndexChanged(int index);
    void on_pbSave_clicked();
    void onCancel();

private:
    using QDialog::exec;

    // The background task, with the writer and the options taken in the GUI thread.
    QRuntimeError saveData(const Writer& writer, const QString& fileName,
                           const CsvEventsOptions& options);

    Ui::QSaveEvents* ui;
    Source m_source;
    CancelFlag m_cancel;
};
