#pragma once

#include "paneldialog.h"
#include "qfirmwareuploadchain.h"

namespace Ui {
class QFirmwareUpload;
}
// Writes the built-in firmware or a firmware file into the connected panel and verifies it;
// a thin view over QFirmwareUploadChain, which runs the transfer.
class QFirmwareUpload : public PanelDialogOf<QFirmwareUpload>
{
    Q_OBJECT
public:
    explicit QFirmwareUpload(QWidget* parent = nullptr, QSerialPortThread* worker = nullptr);
    ~QFirmwareUpload() override;

    // Reads an image file and its trailer; on failure shows why under the window title.
    bool loadFirmware(const QString& fileName, quint8& type, quint8& major, quint8& minor,
                      QByteArray& image);

public slots:
    void on_pbSave_clicked();
    void on_pbClose_clicked();
    void on_actionOpen_triggered();
    void on_rbInternal_toggled(bool checked);

protected:
    // The transfer goes on after a close is asked for; the dialog closes when it has ended.
    bool isBusy() const override;

private:
    // Shows the version of an image of the panel's type, refuses any other; true when shown.
    bool showImageVersion(quint8 type, quint8 major, quint8 minor);
    void onFinished(bool success, int stage, const QString& message);

    Ui::QFirmwareUpload* ui;
    QFirmwareUploadChain* m_chain;
};
