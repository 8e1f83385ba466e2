#pragma once

#include "paneldialog.h"

namespace Ui {
class QFirmwareDownload;
}
class QFirmwareDownloadChain;

// Reads the connected panel's firmware, shows its version and saves it to a file; a thin view
// over QFirmwareDownloadChain, which runs the reading.
class QFirmwareDownload : public PanelDialogOf<QFirmwareDownload>
{
    Q_OBJECT
public:
    explicit QFirmwareDownload(QWidget* parent = nullptr, QSerialPortThread* worker = nullptr);
    ~QFirmwareDownload() override;

public slots:
    void on_tbSaveAs_clicked();
    void on_tbRead_clicked();
    void on_tbClose_clicked();

protected:
    // The reading goes on after a close is asked for; the dialog closes when it has ended.
    bool isBusy() const override;

private:
    void onProgress(int stage, int blocks);
    void onFinished(bool success, int stage, const QString& message);

    Ui::QFirmwareDownload* ui;
    QFirmwareDownloadChain* m_chain;
};
