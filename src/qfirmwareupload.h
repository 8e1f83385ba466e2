#pragma once

#include "qfirmwareuploadchain.h"
#include "qserialporterror.h"

#include <QDialog>

namespace Ui {
class QFirmwareUpload;
}
class QPacket;
class QSerialPortThread;

// Writes the built-in firmware or a firmware file into the connected panel and verifies it;
// a thin view over QFirmwareUploadChain, which runs the transfer.
class QFirmwareUpload : public QDialog
{
    Q_OBJECT
public:
    explicit QFirmwareUpload(QWidget* parent = nullptr);
    ~QFirmwareUpload() override;

    // A dialog whose requests go to the serial worker.
    static QFirmwareUpload* create(QWidget* parent, QSerialPortThread* thread);
    // Runs the dialog modally on the window's serial worker.
    static void exec(QWidget* parent, QSerialPortThread* thread);

    // Reads an image file and its trailer; on failure shows why under the window title.
    bool loadFirmware(const QString& fileName, quint8& type, quint8& major, quint8& minor,
                      QByteArray& image);

    void reject() override;

signals:
    void startEvents(const bool& value);
    void cancel();
    void sendPacket(QPacket* packet);

public slots:
    void on_pbSave_clicked();
    void on_pbClose_clicked();
    void on_actionOpen_triggered();
    void on_rbInternal_toggled(bool checked);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using QDialog::exec;

    bool isIdle() const;
    // Shows the version of an image of the panel's type, refuses any other; true when shown.
    bool showImageVersion(quint8 type, quint8 major, quint8 minor);
    void onFinished(bool success, int stage, const QString& message);

    Ui::QFirmwareUpload* ui;
    bool closeRequested = false;
    QFirmwareUploadChain* m_chain;
};
