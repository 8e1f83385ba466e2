#pragma once

#include "qserialporterror.h"

#include <QDialog>

namespace Ui {
class QFirmwareDownload;
}
class QFirmwareDownloadChain;
class QPacket;
class QSerialPortThread;

// Reads the connected panel's firmware, shows its version and saves it to a file; a thin view
// over QFirmwareDownloadChain, which runs the reading.
class QFirmwareDownload : public QDialog
{
    Q_OBJECT
public:
    explicit QFirmwareDownload(QWidget* parent = nullptr);
    ~QFirmwareDownload() override;

    // A dialog whose requests go to the serial worker.
    static QFirmwareDownload* create(QWidget* parent, QSerialPortThread* thread);
    // Runs the dialog modally on the window's serial worker.
    static void exec(QWidget* parent, QSerialPortThread* thread);

    void reject() override;

signals:
    void startEvents(const bool& value);
    void cancel();
    void sendPacket(QPacket* packet);

public slots:
    void on_tbSaveAs_clicked();
    void on_tbRead_clicked();
    void on_tbClose_clicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using QDialog::exec;

    bool isIdle() const;
    void onProgress(int stage, int blocks);
    void onFinished(bool success, int stage, const QString& message);

    Ui::QFirmwareDownload* ui;
    bool closeRequested = false;
    QFirmwareDownloadChain* m_chain;
};
