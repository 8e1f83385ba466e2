#include "qfirmwareupload.h"

#include "firmwareimage.h"
#include "requesterwiring.h"
#include "ui_qfirmwareupload.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>

QFirmwareUpload::QFirmwareUpload(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::QFirmwareUpload)
    , m_chain(new QFirmwareUploadChain(this))
{
    ui->setupUi(this);
    ui->tbOpen->setDefaultAction(ui->actionOpen);
    connect(m_chain, &PanelChain::startEvents, this, &QFirmwareUpload::startEvents);
    connect(m_chain, &PanelChain::cancel, this, &QFirmwareUpload::cancel);
    connect(m_chain, &PanelChain::sendPacket, this, &QFirmwareUpload::sendPacket);
    connect(m_chain, &PanelChain::progress, this, [this](int stage, int value) {
        (stage == QFirmwareUploadChain::Write ? ui->pbWrite : ui->pbRead)->setValue(value);
    });
    connect(m_chain, &PanelChain::finished, this, &QFirmwareUpload::onFinished);
    ui->rbInternal->setChecked(true);
}

QFirmwareUpload::~QFirmwareUpload()
{
    // Deleted while this dialog can still pass on what the chain says when it is cut short.
    delete m_chain;
    delete ui;
}

QFirmwareUpload* QFirmwareUpload::create(QWidget* parent, QSerialPortThread* thread)
{
    auto* dialog = new QFirmwareUpload(parent);
    connectRequester(dialog, thread);
    connect(thread, &QThread::finished, dialog->m_chain, &PanelChain::onLinkClosed);
    return dialog;
}

void QFirmwareUpload::exec(QWidget* parent, QSerialPortThread* thread)
{
    QScopedPointer<QFirmwareUpload> dialog(create(parent, thread));
    dialog->QDialog::exec();
}

bool QFirmwareUpload::loadFirmware(const QString& fileName, quint8& type, quint8& major,
                                   quint8& minor, QByteArray& image)
{
    const QString failure = Firmware::loadImage(fileName, image);
    if (!failure.isEmpty()) {
        QMessageBox::critical(this, windowTitle(), failure);
        return false;
    }
    const Firmware::Trailer trailer = Firmware::trailer(image);
    type = trailer.type;
    major = trailer.major;
    minor = trailer.minor;
    return true;
}

bool QFirmwareUpload::isIdle() const
{
    return ui->pbSave->isEnabled();
}

bool QFirmwareUpload::showImageVersion(quint8 type, quint8 major, quint8 minor)
{
    if (type != Firmware::ZelKorType) {
        QMessageBox::critical(this, windowTitle(), Firmware::unsupportedDeviceText(type));
        return false;
    }
    ui->leVersion->setText(Firmware::versionText({type, major, minor}));
    return true;
}

void QFirmwareUpload::on_rbInternal_toggled(bool checked)
{
    ui->leVersion->setText(QStringLiteral("?"));
    if (!checked)
        return;
    quint8 type = 0, major = 0, minor = 0;
    QByteArray image;
    if (loadFirmware(Firmware::builtInImage(), type, major, minor, image))
        showImageVersion(type, major, minor);
}

void QFirmwareUpload::on_actionOpen_triggered()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Выберите файл с прошивкой"),
                                                          QString(), tr("Прошивка (*.bin)"));
    if (fileName.isEmpty())
        return;
    quint8 type = 0, major = 0, minor = 0;
    QByteArray image;
    if (!loadFirmware(fileName, type, major, minor, image))
        return;
    if (showImageVersion(type, major, minor))
        ui->leFileName->setText(fileName);
}

void QFirmwareUpload::on_pbSave_clicked()
{
    if (!isIdle())
        return;
    ui->pbSave->setEnabled(false);
    m_chain->start(ui->rbInternal->isChecked() ? Firmware::builtInImage() : ui->leFileName->text());
}

void QFirmwareUpload::onFinished(bool success, int stage, const QString& message)
{
    if (success) {
        QMessageBox::information(this, windowTitle(), message);
    } else {
        const QString caption = m_chain->stageTitle(stage);
        QMessageBox::critical(this, caption.isEmpty() ? windowTitle() : caption, message);
    }
    ui->pbSave->setEnabled(true);
    if (closeRequested) {
        closeRequested = false;
        close();
    }
}

void QFirmwareUpload::on_pbClose_clicked()
{
    if (!isIdle())
        m_chain->stop();
    close();
}

void QFirmwareUpload::closeEvent(QCloseEvent* event)
{
    if (isIdle()) {
        QDialog::closeEvent(event);
        return;
    }
    // The transfer goes on; close when it has ended.
    event->ignore();
    closeRequested = true;
}

void QFirmwareUpload::reject()
{
    // Escape follows the same rule as the close box.
    if (!isIdle()) {
        closeRequested = true;
        return;
    }
    QDialog::reject();
}
