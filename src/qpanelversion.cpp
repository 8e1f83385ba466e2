#include "qpanelversion.h"

#include "panelversion.h"
#include "protocol.h"
#include "qpacket.h"
#include "qprotocolerrors.h"
#include "qserialportthread.h"
#include "requesterwiring.h"
#include "ui_qpanelversion.h"

#include <QCloseEvent>
#include <QMessageBox>

QPanelVersion::QPanelVersion(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::QPanelVersion)
{
    ui->setupUi(this);
}

QPanelVersion::~QPanelVersion()
{
    delete ui;
}

QPanelVersion* QPanelVersion::create(QWidget* parent, QSerialPortThread* thread)
{
    auto* dialog = new QPanelVersion(parent);
    connectRequester(dialog, thread);
    return dialog;
}

void QPanelVersion::exec(QWidget* parent, QSerialPortThread* thread)
{
    QScopedPointer<QPanelVersion> dialog(create(parent, thread));
    dialog->QDialog::exec();
}

void QPanelVersion::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ui->tbRetry->click();
}

void QPanelVersion::closeEvent(QCloseEvent* event)
{
    if (ui->tbRetry->isEnabled()) {
        QDialog::closeEvent(event);
        return;
    }
    // The answer is on its way; close when it has been shown.
    event->ignore();
    closeRequested = true;
}

void QPanelVersion::reject()
{
    // Escape follows the same rule as the close box.
    if (!ui->tbRetry->isEnabled()) {
        closeRequested = true;
        return;
    }
    QDialog::reject();
}

void QPanelVersion::on_tbRetry_clicked()
{
    if (!ui->tbRetry->isEnabled())
        return;
    ui->lType->setText(QStringLiteral("?"));
    ui->lVer->setText(QStringLiteral("?"));
    QPacket* packet = QPacket::request(Protocol::ReadVersion);
    connect(packet, &QPacket::handleEvent, this, &QPanelVersion::onHandleEvent,
            Qt::QueuedConnection);
    emit sendPacket(packet);
    ui->tbRetry->setEnabled(false);
}

void QPanelVersion::on_tbClose_clicked()
{
    if (!ui->tbRetry->isEnabled())
        emit cancel();
    close();
}

void QPanelVersion::onHandleEvent(QSerialPortError error, QString errorString, QByteArray data)
{
    ui->tbRetry->setEnabled(true);
    if (error != QSerialPortError::NoError) {
        QMessageBox::critical(this, windowTitle(), errorString);
    } else if (data.at(Protocol::OffsetResult) != 0) {
        QMessageBox::critical(this, windowTitle(),
                              QProtocolErrors::text(quint8(data.at(Protocol::OffsetResult))));
    } else {
        const PanelVersion version = decodePanelVersion(data);
        ui->lType->setText(version.typeText());
        ui->lVer->setText(version.versionText());
    }
    if (closeRequested)
        close();
}
