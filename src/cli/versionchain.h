#pragma once

#include "panelchain.h"

// Reads the panel's device type and firmware version: one request.
class VersionChain : public PanelChain
{
    Q_OBJECT
public:
    using PanelChain::PanelChain;

    void start();
    QString stageTitle(int stage) const override;

    quint8 deviceType() const { return m_type; }
    // False when the answer carried no version bytes.
    bool hasVersion() const { return m_hasVersion; }
    quint8 major() const { return m_major; }
    quint8 minor() const { return m_minor; }

public slots:
    void onHandleEvent(QSerialPortError error, QString errorString, QByteArray data);

private:
    quint8 m_type = 0;
    bool m_hasVersion = false;
    quint8 m_major = 0;
    quint8 m_minor = 0;
};
