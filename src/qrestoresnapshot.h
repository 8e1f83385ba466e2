#pragma once

#include "backgroundtask.h"
#include "snapshots.h"

#include <QDialog>
#include <QList>

namespace Ui {
class QRestoreSnapshot;
}
class QSqlDatabase;
class QTreeWidgetItem;

// Lists the snapshots of the open database, newest first, and puts the chosen one back after
// a confirmation, as a background task that first takes a snapshot of the present state.
class QRestoreSnapshot : public QDialog
{
    Q_OBJECT
public:
    QRestoreSnapshot(QWidget* parent, QSqlDatabase* db);
    ~QRestoreSnapshot() override;

    // Runs the dialog modally; true when the database was restored.
    static bool exec(QWidget* parent, QSqlDatabase* db);

signals:
    void setMaximum(int value);
    void setValue(int value);

public slots:
    void onCancel();
    void on_pbRestore_clicked();
    void on_twSnapshots_itemDoubleClicked(QTreeWidgetItem* item, int column);

private:
    using QDialog::exec;

    void fill();

    Ui::QRestoreSnapshot* ui;
    QString m_databaseFile;
    QList<Snapshots::Snapshot> m_snapshots;
    CancelFlag m_cancel;
};
