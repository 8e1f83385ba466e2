#pragma once

#include "cancelflag.h"
#include "exportcontent.h"
#include "panelcopy.h"

#include <QDialog>
#include <QFutureWatcher>

namespace Ui {
class QExport;
}
class ExportChain;
class ImportChain;
class QPacket;
class QProgressBar;
class QSerialPortThread;
class QSqlDatabase;

// Replaces the whole content of the panel with the open database, with a progress bar per
// stage; a thin view over ExportChain. Before exporting it can compare the panel with what the
// export would write and keep a copy of the panel (ImportChain, PanelDiff, PanelCopy); an
// export the link broke off can be resumed at the block that failed.
class QExport : public QDialog
{
    Q_OBJECT
public:
    // Without a thread the caller connects the request signals itself.
    QExport(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread);
    ~QExport() override;

    // A dialog whose requests go to the serial worker.
    static QExport* create(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread);
    // Runs the dialog modally; true when the export succeeded.
    static bool exec(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread);

    void reject() override;

signals:
    void startEvents(const bool& value);
    void cancel();
    void sendPacket(QPacket* packet);

public slots:
    void on_pbClose_clicked();
    void on_pbExport_clicked();
    void on_pbCompare_clicked();
    void on_pbResume_clicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using QDialog::exec;

    QProgressBar* bar(int stage) const;
    QProgressBar* readBar(int stage) const;
    bool isBusy() const;
    void setBusy(bool busy);
    bool mayStart();
    bool loadContent();
    int keyFormat() const;
    void startReading(bool forCopy);
    void requestClose();
    void closeNow();
    QString copyNote() const;
    QString withCopy(const QString& text) const;
    void onProgress(int stage, int value, int maximum);
    void onFinished(bool ok, int stage, const QString& message);
    void onReadFinished(bool ok, int stage, const QString& message);
    void onCopyWritten();
    void copyFailed(const QString& error);
    void showDifferences();
    void showStopped();

    Ui::QExport* ui;
    QSqlDatabase* db;
    QSerialPortThread* thread;
    ExportChain* chain;
    ImportChain* reading;
    QFutureWatcher<PanelCopy::Result> copying;
    CancelFlag copyCancel;
    ExportContent content;
    QString copyPart; // prepared, not yet written
    QString copyFile;
    bool readingForCopy = false;
    bool closeRequested = false;
};
