#include "qexport.h"

#include "exportchain.h"
#include "qserialportthread.h"
#include "requesterwiring.h"
#include "ui_qexport.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QSqlDatabase>

QExport::QExport(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread)
    : QDialog(parent)
    , ui(new Ui::QExport)
    , db(db)
    , thread(thread)
    , chain(new ExportChain(this))
{
    ui->setupUi(this);
    connect(chain, &PanelChain::startEvents, this, &QExport::startEvents);
    connect(chain, &PanelChain::cancel, this, &QExport::cancel);
    connect(chain, &PanelChain::sendPacket, this, &QExport::sendPacket);
    connect(chain, &PanelChain::progress, this, &QExport::onProgress);
    connect(chain, &PanelChain::finished, this, &QExport::onFinished);
    if (thread)
        connect(thread, &QThread::finished, chain, &PanelChain::onLinkClosed);
}

QExport::~QExport()
{
    // The chain goes first: it may still have to switch polling back on.
    delete chain;
    delete ui;
}

QExport* QExport::create(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread)
{
    auto* dialog = new QExport(parent, db, thread);
    connectRequester(dialog, thread);
    return dialog;
}

bool QExport::exec(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread)
{
    QScopedPointer<QExport> dialog(create(parent, db, thread));
    return dialog->QDialog::exec() == QDialog::Accepted;
}

QProgressBar* QExport::bar(int stage) const
{
    switch (stage) {
    case ExportChain::Apartments:
        return ui->pbApartment;
    case ExportChain::Phones:
        return ui->pbPhone;
    case ExportChain::Cards:
        return ui->pbCard;
    default:
        return ui->pbSettings;
    }
}

void QExport::on_pbExport_clicked()
{
    if (!ui->pbExport->isEnabled())
        return;
    if (thread && !thread->isRunning()) {
        QMessageBox::critical(this, windowTitle(), tr("Требуется подключение к панели."));
        return;
    }
    if (QMessageBox::question(this, windowTitle(),
                              tr("Все данные в панели будут удалены и записаны новые.\r\nВы "
                                 "действительно хотите экспортировать новые данные в панель?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    ui->pbExport->setEnabled(false);
    for (int stage = ExportChain::Settings; stage < ExportChain::StageCount; ++stage)
        bar(stage)->setValue(0);
    QSqlDatabase database = db ? *db : QSqlDatabase();
    const ExportLoad load = loadExportContent(database);
    if (!load.error.isEmpty()) {
        // Nothing has been sent: the panel is as it was.
        QMessageBox::critical(this, windowTitle(), load.error);
        ui->pbExport->setEnabled(true);
        if (closeRequested)
            QDialog::reject();
        return;
    }
    closeRequested = false;
    chain->start(load.content);
}

void QExport::onProgress(int stage, int value, int maximum)
{
    bar(stage)->setMaximum(maximum);
    bar(stage)->setValue(value);
}

void QExport::onFinished(bool ok, int stage, const QString& message)
{
    if (ok) {
        QMessageBox::information(this, windowTitle(),
                                 tr("Экспорт данных в панель выполнен успешно."));
        accept();
        return;
    }
    QMessageBox::critical(this, chain->stageTitle(stage), message);
    ui->pbExport->setEnabled(true);
    if (closeRequested)
        QDialog::reject();
}

void QExport::requestClose()
{
    // The request in flight is cancelled; its error is shown, then the dialog closes.
    closeRequested = true;
    chain->stop();
}

void QExport::on_pbClose_clicked()
{
    close();
}

void QExport::reject()
{
    if (chain->isRunning()) {
        requestClose();
        return;
    }
    QDialog::reject();
}

void QExport::closeEvent(QCloseEvent* event)
{
    if (chain->isRunning()) {
        event->ignore();
        requestClose();
        return;
    }
    QDialog::closeEvent(event);
}
