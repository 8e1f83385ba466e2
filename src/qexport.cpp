#include "qexport.h"

#include "application.h"
#include "cardformat.h"
#include "databasefile.h"
#include "exportchain.h"
#include "importchain.h"
#include "paneldiff.h"
#include "qserialportthread.h"
#include "requesterwiring.h"
#include "ui_qexport.h"
#include "workpool.h"

#include <QCloseEvent>
#include <QDir>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QtConcurrent>

#include <algorithm>
#include <utility>

namespace {

const QString PanelCopyKey = QStringLiteral("QExport/cbPanelCopy");

} // namespace

QExport::QExport(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread)
    : QDialog(parent)
    , ui(new Ui::QExport)
    , db(db)
    , thread(thread)
    , chain(new ExportChain(this))
    , reading(new ImportChain(this))
{
    ui->setupUi(this);
    for (PanelChain* each : {static_cast<PanelChain*>(chain), static_cast<PanelChain*>(reading)}) {
        connect(each, &PanelChain::startEvents, this, &QExport::startEvents);
        connect(each, &PanelChain::cancel, this, &QExport::cancel);
        connect(each, &PanelChain::sendPacket, this, &QExport::sendPacket);
        if (thread)
            connect(thread, &QThread::finished, each, &PanelChain::onLinkClosed);
    }
    // The panel read to compare and to keep a copy is no import: only the export is journalled.
    reading->setJournalled(false);
    connect(chain, &PanelChain::progress, this, &QExport::onProgress);
    connect(chain, &PanelChain::finished, this, &QExport::onFinished);
    connect(reading, &PanelChain::progress, this, [this](int stage, int value, int maximum) {
        readBar(stage)->setMaximum(maximum);
        readBar(stage)->setValue(std::min(value, maximum));
    });
    connect(reading, &PanelChain::finished, this, &QExport::onReadFinished);
    connect(&copying, &QFutureWatcherBase::finished, this, &QExport::onCopyWritten);
    ui->cbPanelCopy->setChecked(Application::settings().value(PanelCopyKey, false).toBool());
    connect(ui->cbPanelCopy, &QCheckBox::toggled, this,
            [](bool on) { Application::settings().setValue(PanelCopyKey, on); });
}

QExport::~QExport()
{
    // A copy being written is rolled back and removed before its dialog goes away; the chains
    // go first, as they may still have to switch polling back on.
    copyCancel.set();
    copying.waitForFinished();
    if (!copyPart.isEmpty())
        PanelCopy::discard(copyPart);
    delete chain;
    delete reading;
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

QProgressBar* QExport::readBar(int stage) const
{
    switch (stage) {
    case ImportChain::Apartments:
        return ui->pbReadApartment;
    case ImportChain::Phones:
        return ui->pbReadPhone;
    case ImportChain::Cards:
        return ui->pbReadCard;
    default:
        return ui->pbReadSettings;
    }
}

bool QExport::isBusy() const
{
    return !ui->pbExport->isEnabled();
}

void QExport::setBusy(bool busy)
{
    for (QWidget* widget :
         {static_cast<QWidget*>(ui->pbExport), static_cast<QWidget*>(ui->pbCompare),
          static_cast<QWidget*>(ui->pbResume), static_cast<QWidget*>(ui->cbPanelCopy)})
        widget->setEnabled(!busy);
    if (!busy && closeRequested)
        closeNow();
}

bool QExport::mayStart()
{
    if (thread && !thread->isRunning()) {
        QMessageBox::critical(this, windowTitle(), tr("Требуется подключение к панели."));
        return false;
    }
    return true;
}

bool QExport::loadContent()
{
    QSqlDatabase database = db ? *db : QSqlDatabase();
    const ExportLoad load = loadExportContent(database);
    if (!load.error.isEmpty()) {
        // Nothing has been sent: the panel is as it was.
        QMessageBox::critical(this, windowTitle(), load.error);
        return false;
    }
    content = load.content;
    return true;
}

int QExport::keyFormat() const
{
    DatabaseFile::Settings settings;
    QString error;
    if (db)
        DatabaseFile::readSettings(*db, &settings, &error);
    return CardFormat::orDefault(settings.keyFormat);
}

QString QExport::copyNote() const
{
    return tr("Копия панели до экспорта: %1").arg(QDir::toNativeSeparators(copyFile));
}

QString QExport::withCopy(const QString& text) const
{
    return copyFile.isEmpty() ? text : text + QStringLiteral("\r\n") + copyNote();
}

void QExport::on_pbExport_clicked()
{
    if (isBusy() || !mayStart())
        return;
    if (QMessageBox::question(this, windowTitle(),
                              tr("Все данные в панели будут удалены и записаны новые.\r\nВы "
                                 "действительно хотите экспортировать новые данные в панель?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!loadContent())
        return;
    closeRequested = false;
    setBusy(true);
    ui->lStopped->hide();
    ui->pbResume->hide();
    for (int stage = ExportChain::Settings; stage < ExportChain::StageCount; ++stage)
        bar(stage)->setValue(0);
    // A panel this dialog has left half written holds nothing worth a copy.
    if (ui->cbPanelCopy->isChecked() && chain->panel() != ExportChain::Panel::Incomplete) {
        copyFile.clear();
        ui->lPanelCopy->hide();
        // The file first: a folder that cannot take it shows before minutes of reading.
        const PanelCopy::Result prepared = PanelCopy::prepare(db ? db->databaseName() : QString());
        if (!prepared.error.isEmpty()) {
            copyFailed(prepared.error);
            return;
        }
        copyPart = prepared.file;
        startReading(true);
        return;
    }
    chain->start(content);
}

void QExport::on_pbCompare_clicked()
{
    if (isBusy() || !mayStart() || !loadContent())
        return;
    closeRequested = false;
    setBusy(true);
    ui->lDiff->hide();
    ui->twDiff->hide();
    ui->twDiff->clear();
    startReading(false);
}

void QExport::on_pbResume_clicked()
{
    if (isBusy() || !chain->canResume() || !mayStart())
        return;
    closeRequested = false;
    setBusy(true);
    ui->lStopped->hide();
    ui->pbResume->hide();
    chain->resume();
}

void QExport::startReading(bool forCopy)
{
    readingForCopy = forCopy;
    ui->gbRead->setTitle(forCopy ? tr("Чтение панели для копии")
                                 : tr("Чтение панели для сравнения"));
    ui->gbRead->show();
    reading->start(ImportChain::Full);
}

void QExport::onReadFinished(bool ok, int stage, const QString& message)
{
    if (readingForCopy && (!ok || closeRequested)) {
        PanelCopy::discard(copyPart);
        copyPart.clear();
    }
    if (!ok) {
        QMessageBox::critical(this, reading->stageTitle(stage),
                              readingForCopy
                                  ? message + tr("\r\nКопия панели не сохранена, экспорт не "
                                                 "выполнялся: панель не изменена.")
                                  : message);
        setBusy(false);
        return;
    }
    if (closeRequested || !readingForCopy) {
        if (!closeRequested)
            showDifferences();
        setBusy(false);
        return;
    }
    copyCancel.clear();
    const QString file = std::exchange(copyPart, QString());
    const PanelTables::PanelImage image = reading->image();
    const int format = keyFormat();
    CancelFlag* cancelled = &copyCancel;
    // A connection of its own: the window paints while 50 000 rows go in.
    copying.setFuture(QtConcurrent::run(workPool(), [=] {
        return PanelCopy::write(file, image, format, [cancelled] { return cancelled->isSet(); });
    }));
}

void QExport::onCopyWritten()
{
    const PanelCopy::Result result = copying.result();
    if (!result.error.isEmpty()) {
        if (closeRequested)
            setBusy(false);
        else
            copyFailed(result.error);
        return;
    }
    copyFile = result.file;
    ui->lPanelCopy->setText(copyNote());
    ui->lPanelCopy->show();
    if (closeRequested) {
        setBusy(false);
        return;
    }
    chain->start(content);
}

void QExport::copyFailed(const QString& error)
{
    QMessageBox::critical(this, windowTitle(),
                          error + tr("\r\nЭкспорт остановлен до очистки панели: панель не "
                                     "изменена."));
    setBusy(false);
}

void QExport::showDifferences()
{
    const PanelDiff::Differences differences =
        PanelDiff::compare(reading->image(), PanelDiff::exportedImage(content));
    for (const PanelDiff::Group& group : PanelDiff::groups(differences, keyFormat())) {
        auto* title = new QTreeWidgetItem(ui->twDiff, {group.title});
        for (const QString& item : group.items)
            new QTreeWidgetItem(title, {item});
    }
    ui->lDiff->setText(differences.isEmpty() ? tr("Нет различий")
                                             : tr("Экспорт изменит в панели:"));
    ui->lDiff->show();
    ui->twDiff->setVisible(!differences.isEmpty());
    // The list may be long: the dialog may now grow.
    if (!differences.isEmpty())
        setMaximumHeight(QWIDGETSIZE_MAX);
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
                                 withCopy(tr("Экспорт данных в панель выполнен успешно.")));
        accept();
        return;
    }
    QMessageBox::critical(this, chain->stageTitle(stage), message);
    showStopped();
    setBusy(false);
}

void QExport::showStopped()
{
    const QString stopped = chain->canResume() ? chain->stoppedText() : chain->incompleteMessage();
    ui->lStopped->setText(QString(stopped).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    ui->lStopped->setVisible(!stopped.isEmpty());
    ui->pbResume->setText(tr("Продолжить с блока %1").arg(chain->failedBlock() + 1));
    ui->pbResume->setVisible(chain->canResume());
}

void QExport::requestClose()
{
    // The request in flight is cancelled and a copy being written rolled back; the error is
    // shown, then the dialog closes.
    closeRequested = true;
    copyCancel.set();
    chain->stop();
    reading->stop();
}

void QExport::closeNow()
{
    // Closing leaves the panel as it is; a panel left incomplete must not pass unnoticed.
    const QString incomplete = chain->incompleteMessage();
    if (!incomplete.isEmpty())
        QMessageBox::warning(this, tr("Предупреждение"), withCopy(incomplete));
    QDialog::reject();
}

void QExport::on_pbClose_clicked()
{
    close();
}

void QExport::reject()
{
    if (isBusy()) {
        requestClose();
        return;
    }
    closeNow();
}

void QExport::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        requestClose();
        return;
    }
    QDialog::closeEvent(event);
}
