#pragma once

#include "panelchain.h"
#include "panelversion.h"

// Reads the panel's device type and firmware version: one request.
class VersionChain : public PanelChain
{
    Q_OBJECT
public:
    using PanelChain::PanelChain;

    void start();
    QString stageTitle(int stage) const override;

    // What the panel answered; complete once the chain has finished successfully.
    const PanelVersion& version() const { return m_version; }

public slots:
    void onHandleEvent(QSerialPortError error, QString errorString, QByteArray data);

private:
    PanelVersion m_version;
};
