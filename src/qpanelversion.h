#pragma once

#include "qserialporterror.h"

#include <QDialog>

namespace Ui {
class QPanelVersion;
}
class QPacket;
class QSerialPortThread;

// Reads the connected panel's device type and firmware version, on opening and on demand.
class QPanelVersion : public QDialog
{
    Q_OBJECT
public:
    explicit QPanelVersion(QWidget* parent = nullptr);
    ~QPanelVersion() override;

    // A dialog whose requests go to the serial worker.
    static QPanelVersion* create(QWidget* parent, QSerialPortThread* thread);
    // Runs the dialog modally on the window's serial worker.
    static void exec(QWidget* parent, QSerialPortThread* thread);

    void reject() override;

signals:
    void cancel();
    void sendPacket(QPacket* packet);

public slots:
    void onHandleEvent(QSerialPortError error, QString errorString, QByteArray data);
    void on_tbClose_clicked();
    void on_tbRetry_clicked();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    using QDialog::exec;

    Ui::QPanelVersion* ui;
    bool closeRequested = false;
};
