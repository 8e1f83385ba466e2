#include "qimport.h"

#include "databasefile.h"
#include "importchain.h"
#include "qserialportthread.h"
#include "requesterwiring.h"
#include "snapshots.h"
#include "ui_qimport.h"
#include "workpool.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QtConcurrent>

#include <algorithm>

QImport::QImport(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread)
    : QDialog(parent)
    , ui(new Ui::QImport)
    , db(db)
    , thread(thread)
    , chain(new ImportChain(this))
{
    ui->setupUi(this);
    connect(chain, &PanelChain::startEvents, this, &QImport::startEvents);
    connect(chain, &PanelChain::cancel, this, &QImport::cancel);
    connect(chain, &PanelChain::sendPacket, this, &QImport::sendPacket);
    connect(chain, &PanelChain::progress, this, &QImport::onProgress);
    connect(chain, &PanelChain::finished, this, &QImport::onReadFinished);
    connect(&writing, &QFutureWatcherBase::finished, this, &QImport::onWritten);
    if (thread)
        connect(thread, &QThread::finished, chain, &PanelChain::onLinkClosed);
}

QImport::~QImport()
{
    // A writing in progress rolls back before its connection and this dialog go away.
    writeCancel.set();
    writing.waitForFinished();
    delete chain;
    delete ui;
}

QImport* QImport::create(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread)
{
    auto* dialog = new QImport(parent, db, thread);
    connectRequester(dialog, thread);
    return dialog;
}

bool QImport::exec(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread)
{
    QScopedPointer<QImport> dialog(create(parent, db, thread));
    // Said before the panel is read for minutes, not after.
    const QString refusal = db ? DatabaseFile::writeRefusal(*db) : QString();
    if (!refusal.isEmpty()) {
        QMessageBox::critical(parent, dialog->windowTitle(), refusal);
        return false;
    }
    return dialog->QDialog::exec() == QDialog::Accepted;
}

QProgressBar* QImport::bar(int stage) const
{
    switch (stage) {
    case ImportChain::Apartments:
        return ui->pbApartment;
    case ImportChain::Phones:
        return ui->pbPhone;
    case ImportChain::Cards:
        return ui->pbCard;
    default:
        return ui->pbSettings;
    }
}

bool QImport::isBusy() const
{
    return !ui->pbImport->isEnabled();
}

void QImport::on_pbImport_clicked()
{
    if (isBusy())
        return;
    keyFormat = ui->cbType->currentIndex();
    if (keyFormat < 0) {
        QMessageBox::critical(this, windowTitle(), tr("Необходимо выбрать формат ключей."));
        ui->cbType->setFocus();
        return;
    }
    if (thread && !thread->isRunning()) {
        QMessageBox::critical(this, windowTitle(), tr("Требуется подключение к панели."));
        return;
    }
    if (QMessageBox::question(this, windowTitle(),
                              tr("Все данные в БД будут удалены и записаны новые из панели.\r\nВы "
                                 "действительно хотите импортировать новые данные из панели в БД?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    closeRequested = false;
    for (QWidget* widget :
         {static_cast<QWidget*>(ui->pbImport), static_cast<QWidget*>(ui->cbType),
          static_cast<QWidget*>(ui->rbFullImport), static_cast<QWidget*>(ui->rbSettingsImport)})
        widget->setEnabled(false);
    for (int stage = ImportChain::Settings; stage < ImportChain::StageCount; ++stage)
        bar(stage)->setValue(0);
    ui->pbDB->setRange(0, 1);
    ui->pbDB->setValue(0);
    chain->start(ui->rbSettingsImport->isChecked() ? ImportChain::SettingsOnly : ImportChain::Full);
}

void QImport::onProgress(int stage, int value, int)
{
    QProgressBar* progress = bar(stage);
    progress->setValue(std::min(value, progress->maximum()));
}

void QImport::onReadFinished(bool ok, int stage, const QString& message)
{
    if (!ok) {
        QMessageBox::critical(this, chain->stageTitle(stage), message);
        endChain();
        return;
    }
    if (closeRequested) {
        endChain();
        return;
    }
    startWriting();
}

void QImport::startWriting()
{
    const bool settingsOnly = chain->mode() == ImportChain::SettingsOnly;
    const PanelTables::PanelImage image = chain->image();
    ui->pbDB->setRange(0, ImportWriter::steps(image, settingsOnly));
    writeCancel.clear();
    const QString file = db ? db->databaseName() : QString();
    const int format = keyFormat;
    QProgressBar* progress = ui->pbDB;
    CancelFlag* cancelled = &writeCancel;
    // A connection of its own: the window paints and answers while 50 000 rows go in.
    writing.setFuture(QtConcurrent::run(workPool(), [=] {
        const Snapshots::Taken snapshot = Snapshots::take(file, Snapshots::Operation::PanelImport);
        if (!snapshot.ok) {
            ImportWriter::Result refused;
            refused.status = ImportWriter::Result::Failed;
            refused.failure.text = snapshot.error;
            return refused;
        }
        return ImportWriter::writeFile(
            file, image, settingsOnly, format,
            [progress](int value) {
                QMetaObject::invokeMethod(progress, "setValue", Qt::QueuedConnection,
                                          Q_ARG(int, value));
            },
            [cancelled] { return cancelled->isSet(); });
    }));
}

void QImport::onWritten()
{
    const ImportWriter::Result result = writing.result();
    for (const ImportWriter::Failure& failure : result.keyFailures)
        QMessageBox::critical(this, failure.title, failure.text);
    switch (result.status) {
    case ImportWriter::Result::Written:
        ui->pbDB->setValue(ui->pbDB->maximum());
        QMessageBox::information(this, windowTitle(),
                                 tr("Импорт данных из панели в БД выполнен успешно."));
        accept();
        return;
    case ImportWriter::Result::Failed:
        // Nothing of the import stayed: the database is as it was.
        QMessageBox::critical(this,
                              result.failure.title.isEmpty() ? windowTitle() : result.failure.title,
                              result.failure.text);
        break;
    case ImportWriter::Result::Cancelled:
        break;
    }
    endChain();
}

void QImport::endChain()
{
    ui->pbImport->setEnabled(true);
    ui->rbFullImport->setEnabled(true);
    ui->rbSettingsImport->setEnabled(true);
    ui->cbType->setEnabled(ui->rbFullImport->isChecked());
    if (closeRequested)
        QDialog::reject();
}

void QImport::requestClose()
{
    // Reading stops at the request in flight, writing at the next subscriber; both leave the
    // database as it was.
    closeRequested = true;
    writeCancel.set();
    chain->stop();
}

void QImport::on_pbClose_clicked()
{
    close();
}

void QImport::reject()
{
    if (isBusy()) {
        requestClose();
        return;
    }
    QDialog::reject();
}

void QImport::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        requestClose();
        return;
    }
    QDialog::closeEvent(event);
}
