#pragma once

#include "qserialportthread.h"

#include <QString>

class PanelChain;

// The serial link of one command: the serial worker on the named port. Polling for events is
// switched off as soon as the port is open, so that the panel's events stay for the program
// that shows them; a chain switches it back on when it ends, as it does in the dialogs.
class PanelLink
{
public:
    PanelLink() = default;
    ~PanelLink();
    PanelLink(const PanelLink&) = delete;
    PanelLink& operator=(const PanelLink&) = delete;

    // False with the message to show when the port does not open.
    bool open(const QString& port, QString* error);
    // The chain's requests go to the worker; a worker that stops ends the chain.
    void attach(PanelChain* chain);
    // Stops the worker; the request in flight is answered with the link's closing error.
    void close();

private:
    QSerialPortThread m_thread;
};
