#pragma once

#include "qserialporterror.h"

#include <QObject>
#include <QString>

namespace Ui {
class QZelKorWindow;
}
class QAbstractButton;
class QLabel;
class QSerialPortThread;
class ReopeningLink;
class QStatusBar;
enum class ControlledDevice;
enum ControlMode : quint8;

// The main window's connection strip: the port list, "Подключить"/"Отключить", the link's
// circle with its reason in the status bar, and the lock and additional-device controls, which
// follow the panel's status byte. Its widgets stay in the window's form; the strip only drives
// them and the serial worker. A connection stays until the user ends it: a port that vanishes
// or stops answering is opened again by itself (ReopeningLink), the circle red meanwhile.
class ConnectionStrip : public QObject
{
    Q_OBJECT
public:
    ConnectionStrip(Ui::QZelKorWindow* ui, QSerialPortThread* worker, QStatusBar* statusBar,
                    QObject* parent);

    // Refills the port list from the system, keeping the port chosen before when it is there.
    void refreshPorts();
    // Connects to the chosen port (true) or disconnects (false), as the button was toggled.
    void setConnected(bool connected);
    // Chooses the listed port with this name or device path and connects to it, as the user
    // would; true when the worker runs.
    bool connectPort(const QString& port);
    // The port list is for choosing while disconnected, the rest of the strip while connected.
    void enableControls(bool connected);
    // Says "Требуется подключение к панели." under title unless connected; true when connected.
    bool requireLink(const QString& title);
    // The worker's thread has ended: unless the port is only being opened again, every control
    // goes back to the disconnected state; true then.
    bool workerFinished();
    // The circle follows each exchange's outcome while connected.
    void showLinkError(QSerialPortError error, const QString& errorString);
    // The lock and device controls follow the panel's status byte.
    void showStatus(quint8 status);
    // The four buttons of the strip: the click asks the panel, the status byte shows the result.
    void lockOpenClicked();
    void lockUnblockClicked();
    void deviceOpenClicked();
    void deviceUnblockClicked();

signals:
    // The worker has started on the port at location, the first time or again.
    void started(const QString& location);
    // Connected or not, as the window's enabling follows.
    void connectedChanged(bool connected);

private:
    enum class Link { Off, Connecting, Up, Lost };

    void layOut();
    // The circle; while lost, statusText (by default the tip after "Нет связи с панелью: ") in
    // the status bar.
    void showLink(Link state, const QString& toolTip, const QString& statusText = QString());
    void showNote(const QString& note);
    void toggleBack(QAbstractButton* button);
    void sendControl(ControlledDevice device, ControlMode mode);
    void controlFailed(const QString& failure);

    Ui::QZelKorWindow* ui;
    QSerialPortThread* m_worker;
    ReopeningLink* m_link;
    QStatusBar* m_statusBar;
    QLabel* m_linkLost;
};
