#pragma once

#include <QDialog>

namespace Ui {
class QExport;
}
class ExportChain;
class QPacket;
class QProgressBar;
class QSerialPortThread;
class QSqlDatabase;

// Replaces the whole content of the panel with the open database, with a progress bar per
// stage; a thin view over ExportChain.
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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using QDialog::exec;

    QProgressBar* bar(int stage) const;
    void requestClose();
    void onProgress(int stage, int value, int maximum);
    void onFinished(bool ok, int stage, const QString& message);

    Ui::QExport* ui;
    QSqlDatabase* db;
    QSerialPortThread* thread;
    ExportChain* chain;
    bool closeRequested = false;
};
