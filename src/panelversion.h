#pragma once

#include <QByteArray>
#include <QString>

// What the panel answers to the version request: its device type and, when the answer carries
// both bytes, its firmware version. The firmware loader answers with version 0.0.
struct PanelVersion
{
    quint8 deviceType = 0;
    bool hasVersion = false;
    quint8 major = 0;
    quint8 minor = 0;

    bool isBootMode() const { return hasVersion && major == 0 && minor == 0; }
    // The texts shown for the answer: the device type, and the version ("?" when unknown).
    QString typeText() const;
    QString versionText() const;
};

// Decodes a good answer (result 0) to the version request.
PanelVersion decodePanelVersion(const QByteArray& answer);
