#pragma once

#include "backgroundtask.h"
#include "csvevents.h"

#include <QDialog>

namespace Ui {
class QSaveEvents;
}
class QTreeWidget;

// Saves the rows of the events list into a delimited text file, as a cancellable background
// task. The rows are copied when saving starts, so events that arrive meanwhile are not saved.
class QSaveEvents : public QDialog
{
    Q_OBJECT
public:
    QSaveEvents(QWidget* parent, QTreeWidget* events);
    ~QSaveEvents() override;

    // Runs the dialog modally on the events list.
    static void exec(QWidget* parent, QTreeWidget* events);

signals:
    void setMaximum(int value);
    void setValue(int value);

public slots:
    void on_cboxSeparator_currentIndexChanged(int index);
    void on_pbSave_clicked();
    void onCancel();

private:
    using QDialog::exec;

    // The background task, on the rows and options taken in the GUI thread.
    QRuntimeError saveData(const QString& fileName, const QStringList& titles,
                           const QVector<QStringList>& rows, const CsvEventsOptions& options);

    Ui::QSaveEvents* ui;
    QTreeWidget* events;
    CancelFlag m_cancel;
};
