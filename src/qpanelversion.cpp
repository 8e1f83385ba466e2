#include "qpanelversion.h"

#include "panelversion.h"
#include "protocol.h"
#include "qpacket.h"
#include "qprotocolerrors.h"
#include "ui_qpanelversion.h"

#include <QMessageBox>

QPanelVersion::QPanelVersion(QWidget* parent, QSerialPortThread* worker)
    : PanelDialogOf(parent, worker)
    , ui(new Ui::QPanelVersion)
{
    ui->setupUi(this);
}

QPanelVersion::~QPanelVersion()
{
    delete ui;
}

void QPanelVersion::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ui->tbRetry->click();
}

bool QPanelVersion::isBusy() const
{
    // The answer is on its way; the dialog closes when it has been shown.
    return !ui->tbRetry->isEnabled();
}

void QPanelVersion::on_tbRetry_clicked()
{
    if (isBusy())
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
    if (isBusy())
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
    leaveIfAsked();
}
