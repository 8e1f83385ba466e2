#include "qfirmwaredownload.h"

#include "firmwareimage.h"
#include "qfirmwaredownloadchain.h"
#include "requesterwiring.h"
#include "ui_qfirmwaredownload.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>

QFirmwareDownload::QFirmwareDownload(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::QFirmwareDownload)
    , m_chain(new QFirmwareDownloadChain(this))
{
    ui->setupUi(this);
    connect(m_chain, &PanelChain::startEvents, this, &QFirmwareDownload::startEvents);
    connect(m_chain, &PanelChain::cancel, this, &QFirmwareDownload::cancel);
    connect(m_chain, &PanelChain::sendPacket, this, &QFirmwareDownload::sendPacket);
    connect(m_chain, &PanelChain::progress, this, &QFirmwareDownload::onProgress);
    connect(m_chain, &PanelChain::finished, this, &QFirmwareDownload::onFinished);
}

QFirmwareDownload::~QFirmwareDownload()
{
    // Deleted while this dialog can still pass on what the chain says when it is cut short.
    delete m_chain;
    delete ui;
}

QFirmwareDownload* QFirmwareDownload::create(QWidget* parent, QSerialPortThread* thread)
{
    auto* dialog = new QFirmwareDownload(parent);
    connectRequester(dialog, thread);
    connect(thread, &QThread::finished, dialog->m_chain, &PanelChain::onLinkClosed);
    return dialog;
}

void QFirmwareDownload::exec(QWidget* parent, QSerialPortThread* thread)
{
    QScopedPointer<QFirmwareDownload> dialog(create(parent, thread));
    dialog->QDialog::exec();
}

bool QFirmwareDownload::isIdle() const
{
    return ui->tbRead->isEnabled();
}

void QFirmwareDownload::on_tbRead_clicked()
{
    if (!isIdle())
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
    if (closeRequested && m_chain->isRunning())
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
    if (closeRequested) {
        closeRequested = false;
        close();
    }
}

void QFirmwareDownload::on_tbSaveAs_clicked()
{
    if (!m_chain->isComplete())
        return;
    const QString proposed = Firmware::fileName(QDateTime::currentDateTime(), m_chain->trailer());
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Укажите файл для прошивки"),
                                                          proposed, tr("Прошивка (*.bin)"));
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
    if (!isIdle())
        m_chain->stop();
    close();
}

void QFirmwareDownload::closeEvent(QCloseEvent* event)
{
    if (isIdle()) {
        QDialog::closeEvent(event);
        return;
    }
    // The reading goes on; close when it has ended.
    event->ignore();
    closeRequested = true;
}

void QFirmwareDownload::reject()
{
    // Escape follows the same rule as the close box.
    if (!isIdle()) {
        closeRequested = true;
        return;
    }
    QDialog::reject();
}
