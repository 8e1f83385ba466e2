#pragma once

#include "backgroundtask.h"
#include "importwriter.h"
#include "paneldialog.h"

#include <QFutureWatcher>

namespace Ui {
class QImport;
}
class ImportChain;
class QProgressBar;
class QSqlDatabase;

// Reads the panel back into the open database, fully or its settings only: a thin view over
// ImportChain for the reading and ImportWriter for the writing, which runs on a connection of
// its own while the window keeps painting, after a snapshot of the database.
// Accepted when the import was written.
class QImport : public PanelDialogOf<QImport>
{
    Q_OBJECT
public:
    // Without a worker the caller connects the request signals itself.
    QImport(QWidget* parent, QSqlDatabase* db, QSerialPortThread* worker);
    ~QImport() override;

public slots:
    void on_pbClose_clicked();
    void on_pbImport_clicked();

protected:
    bool isBusy() const override;
    void requestClose() override;
    // A database that refuses changes is said before the panel is read for minutes.
    QString refusal() const override;

private:
    QProgressBar* bar(int stage) const;
    void onProgress(int stage, int value, int maximum);
    void onReadFinished(bool ok, int stage, const QString& message);
    void startWriting();
    void onWritten();
    void endChain();

    Ui::QImport* ui;
    QSqlDatabase* m_db;
    ImportChain* m_chain;
    QFutureWatcher<ImportWriter::Result> m_writing;
    CancelFlag m_writeCancel;
    int m_keyFormat = -1;
};
