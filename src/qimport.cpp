#include "qimport.h"

#include "databasefile.h"
#include "importchain.h"
#include "snapshots.h"
#include "ui_qimport.h"
#include "workpool.h"

#include <QMessageBox>
#include <QSqlDatabase>
#include <QtConcurrent>

#include <algorithm>

QImport::QImport(QWidget* parent, QSqlDatabase* db, QSerialPortThread* worker)
    : PanelDialogOf(parent, worker)
    , ui(new Ui::QImport)
    , m_db(db)
    , m_chain(new ImportChain(this))
{
    ui->setupUi(this);
    attach(m_chain);
    connect(m_chain, &PanelChain::progress, this, &QImport::onProgress);
    connect(m_chain, &PanelChain::finished, this, &QImport::onReadFinished);
    connect(&m_writing, &QFutureWatcherBase::finished, this, &QImport::onWritten);
}

QImport::~QImport()
{
    // A writing in progress rolls back before its connection and this dialog go away.
    m_writeCancel.set();
    m_writing.waitForFinished();
    delete m_chain;
    delete ui;
}

QString QImport::refusal() const
{
    return m_db ? DatabaseFile::writeRefusal(*m_db) : QString();
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
    m_keyFormat = ui->cbType->currentIndex();
    if (m_keyFormat < 0) {
        QMessageBox::critical(this, windowTitle(), tr("Необходимо выбрать формат ключей."));
        ui->cbType->setFocus();
        return;
    }
    if (!requireLink())
        return;
    if (QMessageBox::question(this, windowTitle(),
                              tr("Все данные в БД будут удалены и записаны новые из панели.\r\nВы "
                                 "действительно хотите импортировать новые данные из панели в БД?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    forgetCloseRequest();
    for (QWidget* widget :
         {static_cast<QWidget*>(ui->pbImport), static_cast<QWidget*>(ui->cbType),
          static_cast<QWidget*>(ui->rbFullImport), static_cast<QWidget*>(ui->rbSettingsImport)})
        widget->setEnabled(false);
    for (int stage = ImportChain::Settings; stage < ImportChain::StageCount; ++stage)
        bar(stage)->setValue(0);
    ui->pbDB->setRange(0, 1);
    ui->pbDB->setValue(0);
    m_chain->start(ui->rbSettingsImport->isChecked() ? ImportChain::SettingsOnly
                                                     : ImportChain::Full);
}

void QImport::onProgress(int stage, int value, int)
{
    QProgressBar* progress = bar(stage);
    progress->setValue(std::min(value, progress->maximum()));
}

void QImport::onReadFinished(bool ok, int stage, const QString& message)
{
    if (!ok) {
        QMessageBox::critical(this, m_chain->stageTitle(stage), message);
        endChain();
        return;
    }
    if (closeRequested()) {
        endChain();
        return;
    }
    startWriting();
}

void QImport::startWriting()
{
    const bool settingsOnly = m_chain->mode() == ImportChain::SettingsOnly;
    const PanelTables::PanelImage image = m_chain->image();
    ui->pbDB->setRange(0, ImportWriter::steps(image, settingsOnly));
    m_writeCancel.clear();
    const QString file = m_db ? m_db->databaseName() : QString();
    const int format = m_keyFormat;
    QProgressBar* progress = ui->pbDB;
    CancelFlag* cancelled = &m_writeCancel;
    // A connection of its own: the window paints and answers while 50 000 rows go in.
    m_writing.setFuture(QtConcurrent::run(workPool(), [=] {
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
    const ImportWriter::Result result = m_writing.result();
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
    leaveIfAsked();
}

void QImport::requestClose()
{
    // Reading stops at the request in flight, writing at the next subscriber; both leave the
    // database as it was.
    m_writeCancel.set();
    m_chain->stop();
}

void QImport::on_pbClose_clicked()
{
    close();
}
