#include "qjournalwindow.h"

#include "application.h"
#include "cardformat.h"
#include "datafolders.h"
#include "fleetquery.h"
#include "journalactivity.h"
#include "journalexport.h"
#include "journalfile.h"
#include "journalmodel.h"
#include "pgconnection.h"
#include "qsaveevents.h"
#include "ui_qjournalwindow.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>

#include <algorithm>

namespace {

// What the kind filter's entries show. The program's own actions go with the control of the
// lock and the device, where a caretaker looks for what was done from a computer; event codes
// the program does not know have an entry of their own.
const QList<QList<JournalKind>> KindChoices = {
    {},
    {JournalKind::Pass},
    {JournalKind::Refusal},
    {JournalKind::Control, JournalKind::Action},
    {JournalKind::PowerFire},
    {JournalKind::Other},
};

qint64 startOf(const QDate& day)
{
    return QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
}

QDate dayOf(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).date();
}

// Waiting this long after the last keystroke before the search runs.
constexpr int TypingPauseMs = 300;

} // namespace

QJournalWindow::QJournalWindow(const QString& fileName, std::function<int()> keyFormat,
                               QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::QJournalWindow)
    , m_fileName(fileName)
    , m_keyFormat(std::move(keyFormat))
    , m_model(new JournalModel(this))
{
    ui->setupUi(this);
    setWindowFlag(Qt::Window);
    addActions({ui->actionRefresh, ui->actionExport});
    ui->tbRefresh->setDefaultAction(ui->actionRefresh);
    ui->tbExport->setDefaultAction(ui->actionExport);
    // The fleet journal: its server, and the site filter shown beside the others with it.
    auto* serverAction = new QAction(tr("Сервер журнала…"), this);
    serverAction->setObjectName(QStringLiteral("actionServer"));
    serverAction->setToolTip(tr("Показать журнал объектов на сервере PostgreSQL или снова "
                                "журнал этого компьютера"));
    connect(serverAction, &QAction::triggered, this, &QJournalWindow::chooseServer);
    auto* serverButton = new QToolButton(this);
    serverButton->setDefaultAction(serverAction);
    ui->layoutSearch->addWidget(serverButton);
    m_siteLabel = new QLabel(tr("Объект"), this);
    m_sites = new QComboBox(this);
    m_sites->setObjectName(QStringLiteral("cboxSite"));
    m_sites->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_siteLabel->setBuddy(m_sites);
    // Beside the search, which gives up room to a long site name; the row of the period and
    // the kinds has none to spare.
    const int searchAt = ui->layoutSearch->indexOf(ui->leFilter);
    ui->layoutSearch->insertWidget(searchAt + 1, m_sites);
    ui->layoutSearch->insertWidget(searchAt + 1, m_siteLabel);
    ui->layoutSearch->insertSpacing(searchAt + 1, 16);
    connect(m_sites, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &QJournalWindow::applyFilter);
    m_fileLabel = new QLabel(this);
    m_fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(m_fileLabel, 1);

    ui->tvJournal->setModel(m_model);
    QHeaderView* header = ui->tvJournal->horizontalHeader();
    header->setSectionResizeMode(JournalModel::Event, QHeaderView::Stretch);
    // Wide enough for a whole time and for each title in the font in use.
    const int padding = 2 * fontMetrics().averageCharWidth() + 8;
    const int timeWidth =
        fontMetrics().horizontalAdvance(QStringLiteral("0000.00.00 00:00:00.000")) + padding;
    const int widths[] = {timeWidth, 80, 225, 75, 0, 100, 120};
    for (int column = 0; column < JournalModel::ColumnCount; ++column) {
        const QString title = m_model->headerData(column, Qt::Horizontal).toString();
        if (widths[column] > 0)
            header->resizeSection(
                column, std::max(widths[column], fontMetrics().horizontalAdvance(title) + padding));
    }
    ui->tvJournal->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    connect(m_model, &JournalModel::matchingChanged, this, &QJournalWindow::showCount);
    connect(m_model, &JournalModel::readFailed, this, [this](const QString& error) {
        showProblem(tr("Не удалось прочитать журнал: %1 Список показан не до конца.").arg(error));
    });

    const QDate today = QDate::currentDate();
    ui->deSince->setDate(today.addDays(-6));
    ui->deUntil->setDate(today);
    for (QDateEdit* edit : {ui->deSince, ui->deUntil}) {
        edit->setEnabled(false);
        connect(edit, &QDateEdit::dateChanged, this, &QJournalWindow::applyFilter);
    }
    m_typing.setSingleShot(true);
    m_typing.setInterval(TypingPauseMs);
    connect(&m_typing, &QTimer::timeout, this, &QJournalWindow::applyFilter);
    connect(ui->leFilter, &QLineEdit::textChanged, &m_typing, qOverload<>(&QTimer::start));
    connect(ui->leFilter, &QLineEdit::returnPressed, this, &QJournalWindow::applyFilter);
    m_updates.setInterval(UpdateIntervalMs);
    connect(&m_updates, &QTimer::timeout, this, &QJournalWindow::checkForNew);

    restoreLayout();
    // A layout saved by an earlier version may keep the time column narrower than a time.
    if (header->sectionSize(JournalModel::Time) < timeWidth)
        header->resizeSection(JournalModel::Time, timeWidth);
    m_conninfo = Application::settings().value(QStringLiteral("QJournalWindow/Server")).toString();
    openJournal();
    applyFilter();
}

QJournalWindow::~QJournalWindow()
{
    // Closed with the main window, it was never hidden.
    if (isVisible())
        saveLayout();
    // The model's queries go before the connection they run on.
    m_model->clear();
    delete ui;
}

QJournalWindow* QJournalWindow::open(QWidget* parent, const QString& fileName,
                                     std::function<int()> keyFormat)
{
    auto* window = parent->findChild<QJournalWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new QJournalWindow(fileName, std::move(keyFormat), parent);
    else if (window->fileName() != fileName)
        window->setFileName(fileName);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QAction* QJournalWindow::createAction(QWidget* parent, std::function<int()> keyFormat)
{
    auto* action = new QAction(tr("Журнал событий"), parent);
    action->setObjectName(QStringLiteral("actionJournal"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    connect(action, &QAction::triggered, parent,
            [parent, keyFormat] { open(parent, DataFolders::defaultJournalFile(), keyFormat); });
    return action;
}

void QJournalWindow::setFileName(const QString& fileName)
{
    m_fileName = fileName;
    on_actionRefresh_triggered();
}

void QJournalWindow::setServer(const QString& conninfo)
{
    if (conninfo.trimmed() != m_conninfo)
        m_password.clear();
    m_conninfo = conninfo.trimmed();
    Application::settings().setValue(
        QStringLiteral("QJournalWindow/Server"),
        m_conninfo.isEmpty() ? QString() : PgConnection::withoutPassword(m_conninfo));
    {
        const QSignalBlocker quiet(m_sites);
        m_sites->clear();
    }
    on_actionRefresh_triggered();
}

void QJournalWindow::chooseServer()
{
    bool ok = false;
    const QString conninfo = QInputDialog::getText(
        this, tr("Сервер журнала"),
        tr("Строка подключения к журналу объектов на сервере PostgreSQL (libpq: «host=… "
           "dbname=… user=…», URI или «service=…»); пароль берётся из ~/.pgpass или "
           "спрашивается.\nПустая строка — журнал этого компьютера."),
        QLineEdit::Normal,
        m_conninfo.isEmpty() ? QString() : PgConnection::withoutPassword(m_conninfo), &ok);
    if (!ok)
        return;
    QString error;
    if (!conninfo.trimmed().isEmpty() && !PgConnection::isValid(conninfo, &error)) {
        showProblem(tr("Неверная строка подключения: %1").arg(error));
        return;
    }
    setServer(conninfo);
}

bool QJournalWindow::isOpen() const
{
    return m_conninfo.isEmpty() ? m_journal && m_journal->isOpen() : m_server && m_server->isOpen();
}

std::unique_ptr<JournalSource> QJournalWindow::source(const JournalFilter& filter) const
{
    if (!isOpen())
        return nullptr;
    if (m_conninfo.isEmpty())
        return std::make_unique<JournalQuery>(m_journal->database(), filter);
    return std::make_unique<FleetQuery>(*m_server, filter);
}

JournalFilter QJournalWindow::filter() const
{
    JournalFilter filter;
    const int period = ui->cboxPeriod->currentIndex();
    if (period != AllTime) {
        QDate first;
        QDate last;
        periodDays(&first, &last);
        filter.since = startOf(first);
        // The periods that run up to today stay open, so that new records belong to them.
        if (period == Dates)
            filter.until = startOf(last.addDays(1));
    }
    filter.kinds = KindChoices.value(ui->cboxKind->currentIndex());
    filter.text = ui->leFilter->text().trimmed();
    filter.keyFormat = m_keyFormat ? m_keyFormat() : CardFormat::Default;
    if (!m_conninfo.isEmpty() && m_sites->currentIndex() > 0)
        filter.sites = QStringList{m_sites->currentText()};
    return filter;
}

void QJournalWindow::periodDays(QDate* first, QDate* last) const
{
    const QDate today = QDate::currentDate();
    *last = today;
    switch (ui->cboxPeriod->currentIndex()) {
    case Today:
        *first = today;
        break;
    case Week:
        *first = today.addDays(-6);
        break;
    case Month:
        *first = today.addDays(-29);
        break;
    case Dates:
        *first = std::min(ui->deSince->date(), ui->deUntil->date());
        *last = std::max(ui->deSince->date(), ui->deUntil->date());
        break;
    default: {
        *first = today;
        if (const std::unique_ptr<JournalSource> all = source(JournalFilter())) {
            // A clock set wrong may have dated records after today.
            const qint64 oldest = all->firstId();
            const qint64 newest = all->lastId();
            if (oldest > 0)
                *first = std::min(today, dayOf(all->timeOf(oldest)));
            if (newest > 0)
                *last = std::max(today, dayOf(all->timeOf(newest)));
        }
        break;
    }
    }
}

bool QJournalWindow::openServer()
{
    m_journal.reset();
    m_server = std::make_unique<PgConnection>();
    const QString shown = PgConnection::withoutPassword(m_conninfo);
    m_fileLabel->setText(tr("Сервер журнала: %1").arg(shown));
    bool open = m_server->open(m_conninfo, m_password);
    // A password the files lack is asked for; one typed wrong is forgotten and asked again,
    // until the person gives up.
    while (!open && isVisible() &&
           (m_server->needsPassword() || (!m_password.isEmpty() && m_server->passwordRefused()))) {
        const QString prompt = m_password.isEmpty()
                                   ? tr("Пароль для подключения к %1:").arg(shown)
                                   : tr("Сервер журнала не принял пароль. Пароль для "
                                        "подключения к %1:")
                                         .arg(shown);
        m_password.clear();
        bool ok = false;
        const QString password = QInputDialog::getText(this, tr("Сервер журнала"), prompt,
                                                       QLineEdit::Password, QString(), &ok);
        if (!ok || password.isEmpty())
            break;
        m_password = password;
        open = m_server->open(m_conninfo, m_password);
    }
    if (!open) {
        showProblem(tr("Журнал объектов не показан. %1").arg(m_server->errorText()));
        return false;
    }
    // The sites the server knows, the chosen one kept.
    const QString chosen = m_sites->currentIndex() > 0 ? m_sites->currentText() : QString();
    const FleetQuery all(*m_server, JournalFilter());
    const QSignalBlocker quiet(m_sites);
    m_sites->clear();
    m_sites->addItem(tr("Все объекты"));
    m_sites->addItems(all.siteNames());
    m_sites->setCurrentIndex(qMax(0, m_sites->findText(chosen)));
    ui->lMessage->hide();
    return true;
}

void QJournalWindow::openJournal()
{
    m_model->clear();
    const bool fleet = !m_conninfo.isEmpty();
    m_sites->setVisible(fleet);
    m_siteLabel->setVisible(fleet);
    ui->tvJournal->setColumnHidden(JournalModel::Site, !fleet);
    if (fleet) {
        ui->actionExport->setEnabled(openServer());
        return;
    }
    m_server.reset();
    m_journal = std::make_unique<JournalFile>(m_fileName);
    const bool open = m_journal->openForReading() == JournalFile::State::ReadOnly;
    m_fileLabel->setText(tr("Файл журнала: %1").arg(QDir::toNativeSeparators(m_fileName)));
    ui->actionExport->setEnabled(open);
    if (open) {
        ui->lMessage->hide();
        return;
    }
    if (!QFileInfo::exists(m_fileName))
        showProblem(tr("Журнал событий пока пуст: файла %1 ещё нет. Он появится, когда "
                       "программа получит первое событие от панели.")
                        .arg(QDir::toNativeSeparators(m_fileName)));
    else
        showProblem(tr("Журнал событий не показан. %1 Файл оставлен как есть.")
                        .arg(m_journal->errorText()));
}

void QJournalWindow::showProblem(const QString& text)
{
    ui->lMessage->setText(text);
    ui->lMessage->show();
    m_chartStale = true;
    if (ui->tabWidget->currentWidget() == ui->tabChart)
        updateChart();
}

void QJournalWindow::applyFilter()
{
    m_typing.stop();
    if (!isOpen())
        return;
    const JournalFilter shown = filter();
    if (!m_model->setSource([this, shown] { return source(shown); }, shown.keyFormat))
        showProblem(tr("Не удалось прочитать журнал: %1").arg(m_model->errorText()));
    else
        ui->lMessage->hide();
    ui->tvJournal->scrollToTop();
    m_chartStale = true;
    if (ui->tabWidget->currentWidget() == ui->tabChart)
        updateChart();
}

void QJournalWindow::updateChart()
{
    m_chartStale = false;
    QDate first;
    QDate last;
    periodDays(&first, &last);
    // Made after the period is known: reading it may have found the server's connection lost.
    const std::unique_ptr<JournalSource> query = source(filter());
    if (!query) {
        ui->chartView->showMessage(tr("Нет данных: журнал не открыт"));
        return;
    }
    JournalActivity activity;
    QString error;
    if (!query->isValid() || !query->activity(first, last, &activity, &error))
        ui->chartView->showMessage(tr("Не удалось построить график: %1")
                                       .arg(query->isValid() ? error : query->errorText()));
    else
        ui->chartView->showActivity(activity);
}

void QJournalWindow::checkForNew()
{
    if (!isOpen()) {
        // A journal that did not exist yet is shown as soon as recording has made it.
        if (m_journal && m_journal->state() == JournalFile::State::Unavailable &&
            QFileInfo::exists(m_fileName))
            on_actionRefresh_triggered();
        return;
    }
    // A database opened or closed in the main window shows the keys in its own format.
    if (m_keyFormat && m_keyFormat() != m_model->keyFormat()) {
        applyFilter();
        return;
    }
    const int added = m_model->update();
    if (added < 0) {
        showProblem(tr("Не удалось прочитать журнал: %1").arg(m_model->errorText()));
    } else if (added > 0) {
        m_chartStale = true;
        if (ui->tabWidget->currentWidget() == ui->tabChart)
            updateChart();
    }
}

void QJournalWindow::showCount()
{
    const qint64 matching = m_model->matching();
    ui->lCount->setText(matching < 0 ? QString()
                                     : tr("Найдено записей: %1").arg(locale().toString(matching)));
}

void QJournalWindow::on_actionRefresh_triggered()
{
    openJournal();
    applyFilter();
}

void QJournalWindow::on_actionExport_triggered()
{
    QSaveEvents::Source source;
    source.fileNamePrefix = QStringLiteral("journal_");
    source.processText = tr("Процесс экспорта журнала событий");
    const QString journal = m_fileName;
    const QString conninfo = m_conninfo;
    const QString password = m_password;
    const JournalFilter shown = filter();
    source.prepare = [journal, conninfo, password, shown]() -> QSaveEvents::Writer {
        return [journal, conninfo, password, shown](const QString& fileName,
                                                    const CsvEventsOptions& options,
                                                    const Csv::Progress& progress) {
            if (!conninfo.isEmpty())
                return exportFleetJournal(conninfo, password, shown, shown.keyFormat, fileName,
                                          options, progress);
            return exportJournal(journal, shown, shown.keyFormat, fileName, options, progress);
        };
    };
    QSaveEvents::exec(this, source);
}

void QJournalWindow::on_cboxPeriod_currentIndexChanged(int index)
{
    ui->deSince->setEnabled(index == Dates);
    ui->deUntil->setEnabled(index == Dates);
    applyFilter();
}

void QJournalWindow::on_cboxKind_currentIndexChanged(int)
{
    applyFilter();
}

void QJournalWindow::on_tabWidget_currentChanged(int)
{
    if (ui->tabWidget->currentWidget() == ui->tabChart && m_chartStale)
        updateChart();
}

void QJournalWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_updates.start();
    // What was written while the window was hidden.
    checkForNew();
}

void QJournalWindow::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    m_updates.stop();
    saveLayout();
}

void QJournalWindow::saveLayout()
{
    QSettings settings = Application::settings();
    settings.setValue(QStringLiteral("QJournalWindow/Geometry"), saveGeometry());
    settings.setValue(QStringLiteral("tvJournal/State"),
                      ui->tvJournal->horizontalHeader()->saveState());
}

void QJournalWindow::restoreLayout()
{
    QSettings settings = Application::settings();
    restoreGeometry(settings.value(QStringLiteral("QJournalWindow/Geometry")).toByteArray());
    ui->tvJournal->horizontalHeader()->restoreState(
        settings.value(QStringLiteral("tvJournal/State")).toByteArray());
}
