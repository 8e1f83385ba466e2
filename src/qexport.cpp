#include "qexport.h"

#include "application.h"
#include "cardformat.h"
#include "databasefile.h"
#include "exportbreak.h"
#include "exportchain.h"
#include "importchain.h"
#include "paneldiff.h"
#include "qserialportthread.h"
#include "screenfit.h"
#include "ui_qexport.h"
#include "workpool.h"

#include <QDir>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QtConcurrent>

#include <algorithm>
#include <utility>

namespace {

const QString PanelCopyKey = QStringLiteral("QExport/cbPanelCopy");

} // namespace

QExport::QExport(QWidget* parent, QSqlDatabase* db, QSerialPortThread* worker)
    : PanelDialogOf(parent, worker)
    , ui(new Ui::QExport)
    , m_db(db)
    , m_chain(new ExportChain(this))
    , m_reading(new ImportChain(this))
{
    ui->setupUi(this);
    attach(m_chain);
    attach(m_reading);
    // The panel read to compare and to keep a copy is no import: only the export is journalled.
    m_reading->setJournalled(false);
    connect(m_chain, &PanelChain::progress, this, &QExport::onProgress);
    connect(m_chain, &PanelChain::finished, this, &QExport::onFinished);
    connect(m_reading, &PanelChain::progress, this, [this](int stage, int value, int maximum) {
        readBar(stage)->setMaximum(maximum);
        readBar(stage)->setValue(std::min(value, maximum));
    });
    connect(m_reading, &PanelChain::finished, this, &QExport::onReadFinished);
    connect(&m_copying, &QFutureWatcherBase::finished, this, &QExport::onCopyWritten);
    ui->cbPanelCopy->setChecked(Application::settings().value(PanelCopyKey, false).toBool());
    connect(ui->cbPanelCopy, &QCheckBox::toggled, this,
            [](bool on) { Application::settings().setValue(PanelCopyKey, on); });
    // An export of this database that broke off in an earlier run can be gone on with.
    if (m_db && m_db->isOpen())
        m_kept = ExportBreak::load(m_db->databaseName());
    showStopped();
}

QExport::~QExport()
{
    // A copy being written is rolled back and removed before its dialog goes away; the chains
    // go first, as they may still have to switch polling back on.
    m_copyCancel.set();
    m_copying.waitForFinished();
    if (!m_copyPart.isEmpty())
        PanelCopy::discard(m_copyPart);
    delete m_chain;
    delete m_reading;
    delete ui;
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
          static_cast<QWidget*>(ui->pbResume), static_cast<QWidget*>(ui->pbForget),
          static_cast<QWidget*>(ui->cbPanelCopy)})
        widget->setEnabled(!busy);
    if (!busy)
        leaveIfAsked();
}

bool QExport::loadContent()
{
    QSqlDatabase database = m_db ? *m_db : QSqlDatabase();
    const ExportLoad load = loadExportContent(database);
    if (!load.error.isEmpty()) {
        // Nothing has been sent: the panel is as it was.
        QMessageBox::critical(this, windowTitle(), load.error);
        return false;
    }
    m_content = load.content;
    return true;
}

int QExport::keyFormat() const
{
    DatabaseFile::Settings settings;
    QString error;
    if (m_db)
        DatabaseFile::readSettings(*m_db, &settings, &error);
    return CardFormat::orDefault(settings.keyFormat);
}

QString QExport::copyNote() const
{
    return tr("Копия панели до экспорта: %1").arg(QDir::toNativeSeparators(m_copyFile));
}

QString QExport::withCopy(const QString& text) const
{
    return m_copyFile.isEmpty() ? text : text + QStringLiteral("\r\n") + copyNote();
}

void QExport::on_pbExport_clicked()
{
    if (isBusy() || !requireLink())
        return;
    if (QMessageBox::question(this, windowTitle(),
                              tr("Все данные в панели будут удалены и записаны новые.\r\nВы "
                                 "действительно хотите экспортировать новые данные в панель?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!loadContent())
        return;
    forgetCloseRequest();
    setBusy(true);
    // A panel left half written, by this dialog or an earlier run, holds nothing worth a copy.
    const bool incomplete = m_chain->panel() == ExportChain::Panel::Incomplete || m_kept.isValid();
    ui->lStopped->hide();
    ui->pbResume->hide();
    ui->pbForget->hide();
    for (int stage = ExportChain::Settings; stage < ExportChain::StageCount; ++stage)
        bar(stage)->setValue(0);
    if (ui->cbPanelCopy->isChecked() && !incomplete) {
        m_copyFile.clear();
        ui->lPanelCopy->hide();
        // The file first: a folder that cannot take it shows before minutes of reading.
        const PanelCopy::Result prepared =
            PanelCopy::prepare(m_db ? m_db->databaseName() : QString());
        if (!prepared.error.isEmpty()) {
            copyFailed(prepared.error);
            return;
        }
        m_copyPart = prepared.file;
        startReading(true);
        return;
    }
    m_chain->start(m_content);
}

void QExport::on_pbCompare_clicked()
{
    if (isBusy() || !requireLink() || !loadContent())
        return;
    forgetCloseRequest();
    setBusy(true);
    ui->lDiff->hide();
    ui->twDiff->hide();
    ui->twDiff->clear();
    startReading(false);
}

void QExport::on_pbResume_clicked()
{
    if (isAwaitingLink()) {
        // "Отменить ожидание".
        stopAwaitingLink();
        setBusy(false);
        showStopped();
        return;
    }
    if (isBusy() || (!m_chain->canResume() && !restoreKeptBreak()))
        return;
    forgetCloseRequest();
    setBusy(true);
    // A link that is down is waited for rather than failed at once: the adapter may be
    // plugged in again or the panel's power come back.
    const bool refused = !whenLinkAnswers([this] {
        ui->pbResume->hide();
        ui->pbForget->hide();
        ui->lStopped->hide();
        if (!m_chain->resume()) {
            setBusy(false);
            showStopped();
        }
    });
    if (refused) {
        setBusy(false);
        return;
    }
    if (isAwaitingLink()) {
        ui->pbResume->setText(tr("Отменить ожидание"));
        ui->pbResume->setEnabled(true);
    }
}

bool QExport::restoreKeptBreak()
{
    if (!m_kept.isValid() || !loadContent())
        return false;
    // The blocks already in the panel came from what the database held then.
    if (exportFingerprint(m_content) != m_kept.fingerprint) {
        QMessageBox::critical(this, windowTitle(),
                              tr("База данных изменилась после прерванного экспорта: продолжить "
                                 "его нельзя.\r\nВыполните полный экспорт."));
        return false;
    }
    if (!m_chain->restoreBreak(m_content, m_kept.stage, m_kept.block)) {
        QMessageBox::critical(this, windowTitle(),
                              tr("Место прерывания экспорта не подходит к данным БД.\r\nВыполните "
                                 "полный экспорт."));
        return false;
    }
    return true;
}

void QExport::on_pbForget_clicked()
{
    if (isBusy() ||
        QMessageBox::question(this, windowTitle(),
                              tr("Забыть прерванный экспорт?\r\nПанель останется заполненной не "
                                 "полностью, пока данные не будут экспортированы заново."),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    forgetBreak();
    m_chain->abandonResume();
    showStopped();
}

void QExport::forgetBreak()
{
    if (m_db)
        ExportBreak::forget(m_db->databaseName());
    m_kept = ExportBreak();
}

void QExport::keepBreak()
{
    if (!m_db)
        return;
    // A panel that refused the clearing is as an earlier break left it.
    if (m_chain->panel() == ExportChain::Panel::Unchanged)
        return;
    m_kept = ExportBreak::of(*m_chain, m_content, m_db->databaseName(),
                             worker() ? worker()->portName() : QString());
    if (!m_kept.isValid()) {
        // Nothing to go on from: the panel may have been cleared, or holds something else.
        ExportBreak::forget(m_db->databaseName());
        return;
    }
    const QString error = m_kept.save();
    if (!error.isEmpty())
        QMessageBox::warning(this, tr("Предупреждение"), error);
}

void QExport::startReading(bool forCopy)
{
    m_readingForCopy = forCopy;
    ui->gbRead->setTitle(forCopy ? tr("Чтение панели для копии")
                                 : tr("Чтение панели для сравнения"));
    ui->gbRead->show();
    m_reading->start(ImportChain::Full);
}

void QExport::onReadFinished(bool ok, int stage, const QString& message)
{
    // Its bars are done with; the room is the comparison's.
    ui->gbRead->hide();
    if (m_readingForCopy && (!ok || closeRequested())) {
        PanelCopy::discard(m_copyPart);
        m_copyPart.clear();
    }
    if (!ok) {
        QMessageBox::critical(this, m_reading->stageTitle(stage),
                              m_readingForCopy
                                  ? message + tr("\r\nКопия панели не сохранена, экспорт не "
                                                 "выполнялся: панель не изменена.")
                                  : message);
        setBusy(false);
        return;
    }
    if (closeRequested() || !m_readingForCopy) {
        if (!closeRequested())
            showDifferences();
        setBusy(false);
        return;
    }
    m_copyCancel.clear();
    const QString file = std::exchange(m_copyPart, QString());
    const PanelTables::PanelImage image = m_reading->image();
    const int format = keyFormat();
    CancelFlag* cancelled = &m_copyCancel;
    // A connection of its own: the window paints while 50 000 rows go in.
    m_copying.setFuture(QtConcurrent::run(workPool(), [=] {
        return PanelCopy::write(file, image, format, [cancelled] { return cancelled->isSet(); });
    }));
}

void QExport::onCopyWritten()
{
    const PanelCopy::Result result = m_copying.result();
    if (!result.error.isEmpty()) {
        if (closeRequested())
            setBusy(false);
        else
            copyFailed(result.error);
        return;
    }
    m_copyFile = result.file;
    // A long path is elided rather than widen the dialog; the tip has it whole.
    const QMargins margins = layout()->contentsMargins();
    const int room = width() - margins.left() - margins.right();
    ui->lPanelCopy->setText(fontMetrics().elidedText(copyNote(), Qt::ElideMiddle, room));
    ui->lPanelCopy->setToolTip(copyNote());
    ui->lPanelCopy->show();
    if (closeRequested()) {
        setBusy(false);
        return;
    }
    m_chain->start(m_content);
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
        PanelDiff::compare(m_reading->image(), PanelDiff::exportedImage(m_content));
    for (const PanelDiff::Group& group : PanelDiff::groups(differences, keyFormat())) {
        auto* title = new QTreeWidgetItem(ui->twDiff, {group.title});
        for (const QString& item : group.items)
            new QTreeWidgetItem(title, {item});
    }
    ui->lDiff->setText(differences.isEmpty() ? tr("Нет различий")
                                             : tr("Экспорт изменит в панели:"));
    ui->lDiff->show();
    ui->twDiff->setVisible(!differences.isEmpty());
    // The list may be long: the dialog may now grow, as far as the screen lets it (the list
    // scrolls inside).
    if (!differences.isEmpty()) {
        setMaximumHeight(QWIDGETSIZE_MAX);
        adjustSize();
        ScreenFit::fit(this);
    }
}

void QExport::onProgress(int stage, int value, int maximum)
{
    bar(stage)->setMaximum(maximum);
    bar(stage)->setValue(value);
}

void QExport::onFinished(bool ok, int stage, const QString& message)
{
    if (ok)
        forgetBreak();
    else
        keepBreak();
    if (ok) {
        QMessageBox::information(this, windowTitle(),
                                 withCopy(tr("Экспорт данных в панель выполнен успешно.")));
        accept();
        return;
    }
    QMessageBox::critical(this, m_chain->stageTitle(stage), message);
    showStopped();
    setBusy(false);
}

void QExport::showStopped()
{
    const bool resumable = m_chain->canResume() || m_kept.isValid();
    QString stopped = m_chain->canResume() ? m_chain->stoppedText()
                      : m_chain->panel() != ExportChain::Panel::Written && m_kept.isValid()
                          ? m_kept.text()
                          : m_chain->incompleteMessage();
    ui->lStopped->setText(stopped.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    ui->lStopped->setVisible(!stopped.isEmpty());
    const int block = m_chain->canResume() ? m_chain->failedBlock() : m_kept.block;
    ui->pbResume->setText(tr("Продолжить с блока %1").arg(block + 1));
    ui->pbResume->setVisible(resumable);
    ui->pbForget->setVisible(resumable);
}

void QExport::requestClose()
{
    // A wait for the link ends at once.
    if (isAwaitingLink()) {
        stopAwaitingLink();
        setBusy(false);
        return;
    }
    // The request in flight is cancelled and a copy being written rolled back; the error is
    // shown, then the dialog closes.
    m_copyCancel.set();
    m_chain->stop();
    m_reading->stop();
}

void QExport::leave()
{
    // A panel left incomplete must not pass unnoticed.
    const QString incomplete = m_chain->incompleteMessage();
    if (!incomplete.isEmpty())
        QMessageBox::warning(this, tr("Предупреждение"), withCopy(incomplete));
    QDialog::reject();
}

void QExport::on_pbClose_clicked()
{
    close();
}
