#pragma once

#include "backgroundtask.h"
#include "importwriter.h"

#include <QDialog>
#include <QFutureWatcher>

namespace Ui {
class QImport;
}
class ImportChain;
class QPacket;
class QProgressBar;
class QSerialPortThread;
class QSqlDatabase;

// Reads the panel back into the open database, fully or its settings only: a thin view over
// ImportChain for the reading and ImportWriter for the writing, which runs on a connection of
// its own while the window keeps painting, after a snapshot of the database.
class QImport : public QDialog
{
    Q_OBJECT
public:
    // Without a thread the caller connects the request signals itself.
    QImport(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread);
    ~QImport() override;

    // A dialog whose requests go to the serial worker.
    static QImport* create(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread);
    // Runs the dialog modally; true when the import was written.
    static bool exec(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread);

    void reject() override;

signals:
    void startEvents(const bool& value);
    void cancel();
    void sendPacket(QPacket* packet);

public slots:
    void on_pbClose_clicked();
    void on_pbImport_clicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using QDialog::exec;

    QProgressBar* bar(int stage) const;
    bool isBusy() const;
    void requestClose();
    void onProgress(int stage, int value, int maximum);
    void onReadFinished(bool ok, int stage, const QString& message);
    void startWriting();
    void onWritten();
    void endChain();

    Ui::QImport* ui;
    QSqlDatabase* db;
    QSerialPortThread* thread;
    ImportChain* chain;
    QFutureWatcher<ImportWriter::Result> writing;
    CancelFlag writeCancel;
    int keyFormat = -1;
    bool closeRequested = false;
};
