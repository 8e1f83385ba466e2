#pragma once

#include "paneldialog.h"
#include "qserialporterror.h"

namespace Ui {
class QPanelVersion;
}

// Reads the connected panel's device type and firmware version, on opening and on demand.
class QPanelVersion : public PanelDialogOf<QPanelVersion>
{
    Q_OBJECT
public:
    explicit QPanelVersion(QWidget* parent = nullptr, QSerialPortThread* worker = nullptr);
    ~QPanelVersion() override;

public slots:
    void onHandleEvent(QSerialPortError error, QString errorString, QByteArray data);
    void on_tbClose_clicked();
    void on_tbRetry_clicked();

protected:
    void showEvent(QShowEvent* event) override;
    bool isBusy() const override;

private:
    Ui::QPanelVersion* ui;
};
