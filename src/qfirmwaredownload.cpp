#include "qfirmwaredownload.h"

#include "firmwareimage.h"
#include "qfirmwaredownloadchain.h"
#include "ui_qfirmwaredownload.h"

#include <QFileDialog>
#include <QMessageBox>

QFirmwareDownload::QFirmwareDownload(QWidget* parent, QSerialPortThread* worker)
    : PanelDialogOf(parent, worker)
    , ui(new Ui::QFirmwareDownload)
    , m_chain(new QFirmwareDownloadChain(this))
{
    ui->setupUi(this);
    attach(m_chain);
    connect(m_chain, &PanelChain::progress, this, &QFirmwareDownload::onProgress);
    connect(m_chain, &PanelChain::finished, this, &QFirmwareDownload::onFinished);
}

QFirmwareDownload::~QFirmwareDownload()
{
    // Deleted while this dialog can still pass on what the chain says when it is cut short.
    delete m_chain;
    delete ui;
}

bool QFirmwareDownload::isBusy() const
{
    return !ui->tbRead->isEnabled();
}

void QFirmwareDownload::on_tbRead_clicked()
{
    if (isBusy())
        return;
    ui->tbRead->setEnabled(false);
    ui->tbSaveAs->setEnabled(false);
    ui->leVer->setText(QStringLiteral("?"));
    m_chain->start();
}

void QFirmwareDownload::onProgress(int, int blocks)
{
    ui->pbProgress->setValue(blocks);
    // A close asked for while reading lets the panel be polled again at once; the dialog
    // closes when the reading has ended.
    if (closeRequested() && m_chain->isRunning())
        emit startEvents(true);
}

void QFirmwareDownload::onFinished(bool success, int, const QString& message)
{
    ui->tbRead->setEnabled(true);
    if (success) {
        const Firmware::Trailer trailer = m_chain->trailer();
        ui->leVer->setText(QStringLiteral("%1.%2").arg(trailer.major).arg(trailer.minor));
        ui->tbSaveAs->setEnabled(true);
    } else {
        QMessageBox::critical(this, windowTitle(), message);
    }
    leaveIfAsked();
}

void QFirmwareDownload::on_tbSaveAs_clicked()
{
    if (!m_chain->isComplete())
        return;
    const QString proposed = Firmware::fileName(QDateTime::currentDateTime(), m_chain->trailer());
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Укажите файл для прошивки"),
                                                          proposed, tr("Firmware (*.bin)"));
    if (fileName.isEmpty())
        return;
    const QString failure = Firmware::saveImage(fileName, m_chain->image());
    if (failure.isEmpty())
        QMessageBox::information(this, windowTitle(), tr("Файл с прошивкой успешно сохранен."));
    else
        QMessageBox::critical(this, windowTitle(), failure);
}

void QFirmwareDownload::on_tbClose_clicked()
{
    if (isBusy())
        m_chain->stop();
    close();
}
