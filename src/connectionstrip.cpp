#include "connectionstrip.h"

#include "actionjournal.h"
#include "answerfailure.h"
#include "flowlayout.h"
#include "lockstate.h"
#include "portlist.h"
#include "protocol.h"
#include "qpacket.h"
#include "qserialportthread.h"
#include "reopeninglink.h"
#include "ui_qzelkorwindow.h"

#include <QMessageBox>
#include <QStatusBar>

#include <algorithm>

namespace {

// A state label and the two buttons of the lock or the additional device, as the panel's
// status has them.
void showControl(const ControlView& view, QToolButton* timed, QToolButton* hold, QLabel* state)
{
    timed->setText(view.timedText);
    timed->setChecked(view.timedChecked);
    hold->setText(view.holdText);
    hold->setChecked(view.holdChecked);
    state->setText(view.state);
}

// Keeps room for the widest text a label shows, so that the strip does not jump with it.
void reserveWidth(QLabel* label, const QString& text)
{
    label->setMinimumWidth(
        std::max(label->minimumWidth(), label->fontMetrics().horizontalAdvance(text)));
}

QString translate(const char* text)
{
    return QCoreApplication::translate("QZelKorWindow", text);
}

} // namespace

ConnectionStrip::ConnectionStrip(Ui::QZelKorWindow* form, QSerialPortThread* worker,
                                 QStatusBar* statusBar, QObject* parent)
    : QObject(parent)
    , ui(form)
    , m_worker(worker)
    , m_link(new ReopeningLink(worker, this))
    , m_statusBar(statusBar)
    , m_linkLost(new QLabel(statusBar))
{
    layOut();
    connect(m_link, &ReopeningLink::started, this, [this] { emit started(m_link->port()); });
    connect(worker, &QSerialPortThread::linkNoteChanged, this, &ConnectionStrip::showNote);
    // While the circle is red the status bar names the reason, not only the circle's tool tip.
    m_linkLost->setObjectName(QStringLiteral("labelLinkLost"));
    m_linkLost->hide();
    statusBar->addPermanentWidget(m_linkLost);
    ui->tbRefreshListPort->setDefaultAction(ui->actionRefreshListPort);
}

void ConnectionStrip::enableControls(bool connected)
{
    ui->actionRefreshListPort->setEnabled(!connected);
    ui->cbListPort->setEnabled(!connected);
    const QList<QWidget*> controls = {ui->lLock,      ui->lLock_2,       ui->labelStatus,
                                      ui->tbLockOpen, ui->tbLockUnblock, ui->lDevice,
                                      ui->lDevice_2,  ui->tbDeviceOpen,  ui->tbDeviceUnblock};
    for (QWidget* widget : controls)
        widget->setEnabled(connected);
}

void ConnectionStrip::layOut()
{
    // The groups fold onto a second row rather than force a narrow screen's window wider.
    auto* strip = new FlowLayout(ui->strip);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(ui->layoutStripPort->spacing());
    for (QWidget* group : {ui->stripPort, ui->stripLock, ui->stripDevice})
        strip->addWidget(group);
    // The state labels change with every status byte; reserving the widest text keeps the
    // strip from jumping around.
    for (quint8 state : {ModeIdle, ModeTimed, ModeHold}) {
        reserveWidth(ui->lLock, lockView(state).state);
        reserveWidth(ui->lDevice, deviceView(quint8(state << 4)).state);
    }
}

void ConnectionStrip::refreshPorts()
{
    const QString current = ui->cbListPort->currentText();
    ui->cbListPort->clear();
    for (const SerialPortEntry& port : availableSerialPorts())
        ui->cbListPort->addItem(port.name, port.location);
    ui->cbListPort->model()->sort(0, Qt::AscendingOrder);
    const int index =
        current.isEmpty()
            ? -1
            : ui->cbListPort->findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive);
    ui->cbListPort->setCurrentIndex(index >= 0 ? index : 0);
}

void ConnectionStrip::setConnected(bool connected)
{
    QWidget* window = ui->pbConnectPort->window();
    if (connected) {
        if (ui->cbListPort->currentIndex() < 0) {
            ui->pbConnectPort->setChecked(false);
            QMessageBox::warning(window, translate("Предупреждение"),
                                 translate("Необходимо выбрать последовательный порт (COM порт)."),
                                 QMessageBox::Ok);
            return;
        }
        // Opened again later by a name that outlives the adapter, where it has one.
        const QString location = stablePortPath(ui->cbListPort->currentData().toString());
        QString error;
        if (!m_link->open(location, &error)) {
            ui->pbConnectPort->setChecked(false);
            QMessageBox::warning(window, translate("Ошибка"), error, QMessageBox::Ok);
            return;
        }
        ui->pbConnectPort->setText(translate("Отключить"));
        showLink(Link::Connecting, translate("Установка связи с панелью"));
    } else {
        ui->pbConnectPort->setText(translate("Подключить"));
        m_link->close();
        showLink(Link::Off, QString());
    }
    emit connectedChanged(connected);
}

bool ConnectionStrip::connectPort(const QString& port)
{
    int index = ui->cbListPort->findText(port, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        index = ui->cbListPort->findData(port);
    if (index >= 0 && ui->cbListPort->isEnabled()) {
        ui->cbListPort->setCurrentIndex(index);
        ui->pbConnectPort->setChecked(true);
    }
    return m_worker->isRunning();
}

bool ConnectionStrip::requireLink(const QString& title)
{
    // A port being opened again counts: the dialog says so and waits where it can.
    if (m_worker->isRunning() || m_worker->isKeptOpen())
        return true;
    QMessageBox::critical(ui->pbConnectPort->window(), title,
                          translate("Требуется подключение к панели."), QMessageBox::Ok);
    return false;
}

bool ConnectionStrip::workerFinished()
{
    if (m_worker->isKeptOpen())
        return false;
    emit connectedChanged(false);
    return true;
}

void ConnectionStrip::showLinkError(QSerialPortError error, const QString& errorString)
{
    if (!ui->pbConnectPort->isChecked())
        return;
    switch (error) {
    case QSerialPortError::NoError:
        showLink(Link::Up, translate("Связь с панелью установлена"));
        break;
    case QSerialPortError::ClosedByUser:
    case QSerialPortError::CancelledByUser:
        break;
    default:
        showLink(Link::Lost, errorString);
        break;
    }
}

void ConnectionStrip::showNote(const QString& note)
{
    if (!note.isEmpty() && ui->pbConnectPort->isChecked())
        showLink(Link::Lost, note, note);
}

void ConnectionStrip::showLink(Link state, const QString& toolTip, const QString& statusText)
{
    static const char* const pictures[] = {":/images/circle_white", ":/images/circle_yellow",
                                           ":/images/circle_green", ":/images/circle_red"};
    ui->labelStatus->setPixmap(QPixmap(QString::fromLatin1(pictures[int(state)])));
    ui->labelStatus->setToolTip(toolTip);
    const bool lost = state == Link::Lost;
    m_linkLost->setText(!lost                  ? QString()
                        : statusText.isEmpty() ? translate("Нет связи с панелью: %1").arg(toolTip)
                                               : statusText);
    m_linkLost->setVisible(lost);
}

void ConnectionStrip::showStatus(quint8 status)
{
    showControl(lockView(status), ui->tbLockOpen, ui->tbLockUnblock, ui->lLock);
    showControl(deviceView(status), ui->tbDeviceOpen, ui->tbDeviceUnblock, ui->lDevice);
}

void ConnectionStrip::toggleBack(QAbstractButton* button)
{
    // The click has toggled the button; its checked state follows the panel's status only.
    button->setChecked(!button->isChecked());
}

void ConnectionStrip::lockOpenClicked()
{
    toggleBack(ui->tbLockOpen);
    sendControl(ControlledDevice::Lock, ui->tbLockOpen->isChecked() ? ModeIdle : ModeTimed);
}

void ConnectionStrip::lockUnblockClicked()
{
    toggleBack(ui->tbLockUnblock);
    sendControl(ControlledDevice::Lock, ui->tbLockUnblock->isChecked() ? ModeIdle : ModeHold);
}

void ConnectionStrip::deviceOpenClicked()
{
    toggleBack(ui->tbDeviceOpen);
    sendControl(ControlledDevice::Additional, ui->tbDeviceOpen->isChecked() ? ModeIdle : ModeTimed);
}

void ConnectionStrip::deviceUnblockClicked()
{
    toggleBack(ui->tbDeviceUnblock);
    sendControl(ControlledDevice::Additional,
                ui->tbDeviceUnblock->isChecked() ? ModeIdle : ModeHold);
}

void ConnectionStrip::sendControl(ControlledDevice device, ControlMode mode)
{
    if (!m_worker->isRunning()) {
        controlFailed(m_worker->linkNote());
        return;
    }
    // The next status byte shows what the panel did; a failed command is said at once.
    QPacket* packet = QPacket::request(Protocol::Control, controlParameter(device, mode));
    ActionJournal::watch(packet, ActionJournal::controlText(device, mode));
    connect(
        packet, &QPacket::handleEvent, this,
        [this](QSerialPortError error, const QString& errorString, const QByteArray& data) {
            if (error != CancelledByUser) {
                const QString failure = answerFailure(error, errorString, data);
                if (!failure.isEmpty())
                    controlFailed(failure);
            }
        },
        Qt::QueuedConnection);
    emit m_worker->sendPacket(packet);
}

void ConnectionStrip::controlFailed(const QString& failure)
{
    // The buttons were put back by the click's handler: they keep showing the panel's state.
    m_statusBar->showMessage(failure.isEmpty() ? translate("Нет связи с панелью")
                                               : translate("Нет связи с панелью: %1").arg(failure),
                             10000);
}
