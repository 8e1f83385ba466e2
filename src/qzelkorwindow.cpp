#include "qzelkorwindow.h"

#include "actionjournal.h"
#include "actionwidgets.h"
#include "application.h"
#include "cardformat.h"
#include "compactionwait.h"
#include "databasefile.h"
#include "eventlistitem.h"
#include "eventrecord.h"
#include "flowlayout.h"
#include "lockstate.h"
#include "mainwindowjournal.h"
#include "portaccess.h"
#include "portlist.h"
#include "protocol.h"
#include "qabout.h"
#include "qcard.h"
#include "qexport.h"
#include "qexportfromdb.h"
#include "qfirmwaredownload.h"
#include "qfirmwareupload.h"
#include "qimport.h"
#include "qimporttodb.h"
#include "qinfodb.h"
#include "qjournalwindow.h"
#include "qpacket.h"
#include "qpanelsettings.h"
#include "qpanelversion.h"
#include "qrecentfileaction.h"
#include "qrestoresnapshot.h"
#include "qsaveevents.h"
#include "qsettingsdb.h"
#include "qsubscriber.h"
#include "recentfiles.h"
#include "snapshots.h"
#include "taskconnection.h"
#include "testdatagenerator.h"
#include "treefill.h"
#include "treerows.h"
#include "ui_qzelkorwindow.h"
#include "windowlayout.h"
#include "windowshortcuts.h"
#include "windowtask.h"
#include "workpool.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QtConcurrent>

#include <algorithm>

namespace {

const char* const WhitePicture = ":/images/circle_white";
const char* const YellowPicture = ":/images/circle_yellow";
const char* const GreenPicture = ":/images/circle_green";
const char* const RedPicture = ":/images/circle_red";

// A state label and the two buttons of the lock or the additional device, as the panel's
// status has them.
void showControl(const ControlView& view, QToolButton* timed, QToolButton* hold, QLabel* state)
{
    timed->setText(view.timedText);
    timed->setChecked(view.timedChecked);
    hold->setText(view.holdText);
    hold->setChecked(view.holdChecked);
    state->setText(view.state);
}

// Keeps room for the widest text a label shows, so that the strip does not jump with it.
void reserveWidth(QLabel* label, const QString& text)
{
    label->setMinimumWidth(
        std::max(label->minimumWidth(), label->fontMetrics().horizontalAdvance(text)));
}

} // namespace

QZelKorWindow::QZelKorWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::QZelKorWindow)
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    m_serialThread.setParent(this);

    connect(&m_serialThread, &QThread::finished, this, &QZelKorWindow::finished,
            Qt::QueuedConnection);
    connect(&m_serialThread, &QSerialPortThread::event, this, &QZelKorWindow::onEvent,
            Qt::DirectConnection);
    registerSerialPortErrorType();
    connect(&m_serialThread, &QSerialPortThread::errorEvent, this, &QZelKorWindow::onError,
            Qt::DirectConnection);

    ui->setupUi(this);
    connect(ui->tbAdd, &QToolButton::clicked, ui->tbAdd, &QToolButton::showMenu);
    connect(ui->cbOrderEvents, &QCheckBox::toggled, ui->actionOrderEvents, &QAction::setChecked);
    connect(ui->actionOrderEvents, &QAction::toggled, ui->cbOrderEvents, &QCheckBox::setChecked);
    connect(ui->actionExpandAll, &QAction::triggered, ui->treeView, &QTreeWidget::expandAll);
    connect(ui->actionCollapseAll, &QAction::triggered, ui->treeView, &QTreeWidget::collapseAll);
    ui->tabWidget->setCurrentIndex(0);
    layOutStrip();
    // While the circle is red the status bar names the reason, not only the circle's tool tip.
    m_linkLost = new QLabel(this);
    m_linkLost->hide();
    statusBar()->addPermanentWidget(m_linkLost);
    m_journal = new MainWindowJournal(this);

    setWindowTitle(applicationTitle());
    // Kept out of the menu, but not hidden: a hidden action is also disabled and would no
    // longer run when triggered.
    ui->menuFile->removeAction(ui->actionClearDB);
    ui->menuFile->removeAction(ui->actionGeneration);

    createMenus();
    WindowShortcuts::install(ui, centralWidget());

    // Both lists sort by the column clicked, at first by subscriber in ascending order (a
    // header's own default indicator is descending).
    for (QTreeWidget* tree : {static_cast<QTreeWidget*>(ui->treeView), ui->treeFind}) {
        tree->setSortingEnabled(true);
        tree->header()->setSectionsClickable(true);
        tree->header()->setSortIndicatorShown(true);
        tree->sortByColumn(0, Qt::AscendingOrder);
    }
    // Taken after the sort order is set, so that closing a database brings back the ascending
    // order by subscriber along with the default columns.
    ui->treeView->keepDefaultColumns();

    connect(ui->actionRefreshDB, &QAction::triggered, this,
            qOverload<bool>(&QZelKorWindow::refreshData));
    ActionWidgets::mirror(ui->pbRefresh, ui->actionRefreshDB);
    connect(ui->actionShowFind, &QAction::triggered, this,
            qOverload<bool>(&QZelKorWindow::showFind));
    ui->tbShowFind->setDefaultAction(ui->actionShowFind);
    emit ui->actionShowFind->triggered(false);
    ui->tbGotoOpenRec->setDefaultAction(ui->actionGotoOpenRec);
    ui->tbSearch->setDefaultAction(ui->actionSearch);
    ui->tbRefreshListPort->setDefaultAction(ui->actionRefreshListPort);

    connect(ui->pbConnectPort, &QPushButton::toggled, this, &QZelKorWindow::setChecked_ConnectPort);
    wireEnabling();
    connect(ui->actionPanelInfo, &QAction::triggered, this, &QZelKorWindow::triggeredPanelInfo);
    connect(ui->actionFirmwareDownload, &QAction::triggered, this,
            qOverload<bool>(&QZelKorWindow::firmwareDownload));
    connect(ui->actionFirmwareUpload, &QAction::triggered, this,
            qOverload<bool>(&QZelKorWindow::firmwareUpload));
    connect(ui->actionNewDB, &QAction::triggered, this, &QZelKorWindow::triggeredNewDB);
    connect(ui->actionOpenDB, &QAction::triggered, this, &QZelKorWindow::triggeredOpenDB);
    connect(ui->actionCloseDB, &QAction::triggered, this, &QZelKorWindow::triggeredCloseDB);
    connect(ui->actionExit, &QAction::triggered, this, &QZelKorWindow::triggeredExit);

    ui->actionRefreshListPort->trigger();
    setChecked_ConnectPort(false);
    rebuildRecentFilesMenu();
    restoreWindowSettings();
    emit onUseDB_Enabled(false);
}

QZelKorWindow::~QZelKorWindow()
{
    saveWindowSettings();
    m_serialThread.stop();
    delete ui;
    // The default connection belongs to this window; release it with the window.
    const QString connection = m_db.connectionName();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection);
}

QString QZelKorWindow::applicationTitle()
{
    return tr("Ostrovel: Управление панелью ZEL-KOR");
}

void QZelKorWindow::createMenus()
{
    menuBar()->addAction(tr("О программе"), this, &QZelKorWindow::about);

    m_recentMenu = new QMenu(this);
    ui->actionRecentFiles->setMenu(m_recentMenu);
    m_alignMenu = ActionWidgets::newMenu(this, {ui->actionFit, ui->actionAllColumns});
    ui->actionAlign->setMenu(m_alignMenu);
    m_addMenu = ActionWidgets::newMenu(this, {ui->actionAddSubscriber, ui->actionAddCard});
    ui->actionAdd->setMenu(m_addMenu);
    // The default action brings its menu along. Setting the same menu as the button's own would
    // re-add the action, which drops both, and the popup would offer "Добавить" alone.
    ui->tbAdd->setDefaultAction(ui->actionAdd);
    ui->tbAdd->setPopupMode(QToolButton::InstantPopup);
    ui->tbEdit->setDefaultAction(ui->actionEdit);
    ui->tbDel->setDefaultAction(ui->actionDel);

    m_treeMenu = ActionWidgets::newMenu(
        this, {ui->actionExpandAll, ui->actionCollapseAll, nullptr, ui->actionRefreshDB, nullptr,
               ui->actionAdd, ui->actionEdit, nullptr, ui->actionDel, nullptr, ui->actionAlign});
    m_findMenu = ActionWidgets::newMenu(this, {ui->actionGotoOpenRec, nullptr, ui->actionAlign});
    // The journal of events, in the panel's menu and beside the live events.
    QAction* journal = QJournalWindow::createAction(this, [this] { return m_defaultKeyFormat; });
    ui->menuPanel->addSeparator();
    ui->menuPanel->addAction(journal);
    m_eventsMenu = ActionWidgets::newMenu(this, {ui->actionAlign, nullptr, ui->actionClearEvents,
                                                 ui->actionSaveEvents, nullptr,
                                                 ui->actionOrderEvents, nullptr, journal});
    connect(ui->treeView, &QWidget::customContextMenuRequested, this,
            &QZelKorWindow::showContextMenuTree);
    connect(ui->treeFind, &QWidget::customContextMenuRequested, this,
            &QZelKorWindow::showContextMenuFind);
    connect(ui->treeEvents, &QWidget::customContextMenuRequested, this,
            &QZelKorWindow::showContextMenuEvents);
    ui->cbOrderEvents->addAction(ui->actionOrderEvents);
    ActionWidgets::mirror(ui->pbClearEvents, ui->actionClearEvents);
    ActionWidgets::mirror(ui->pbSaveEvents, ui->actionSaveEvents);
}

void QZelKorWindow::wireEnabling()
{
    const QList<QWidget*> strip = {ui->lLock,      ui->lLock_2,       ui->labelStatus,
                                   ui->tbLockOpen, ui->tbLockUnblock, ui->lDevice,
                                   ui->lDevice_2,  ui->tbDeviceOpen,  ui->tbDeviceUnblock};
    connect(this, &QZelKorWindow::onConnectEnabled, this, [this, strip](bool enabled) {
        ui->actionRefreshListPort->setEnabled(enabled);
        ui->cbListPort->setEnabled(enabled);
        for (QWidget* widget : strip)
            widget->setDisabled(enabled);
    });
    connect(this, &QZelKorWindow::onConnectDisabled, this, [this](bool disabled) {
        ui->actionPanelInfo->setDisabled(disabled);
        ui->actionFirmwareDownload->setDisabled(disabled);
        ui->actionFirmwareUpload->setDisabled(disabled);
        ui->menuFirmware->setDisabled(disabled);
    });
    const QList<QAction*> databaseActions = {
        ui->actionCloseDB, ui->actionInfoDB,        ui->actionRefreshDB,     ui->actionAdd,
        ui->actionAddCard, ui->actionAddSubscriber, ui->actionEdit,          ui->actionDel,
        ui->actionSearch,  ui->actionGotoOpenRec,   ui->actionPanelSettings, ui->actionGeneration,
        ui->actionClearDB, ui->actionImportDB,      ui->actionExportDB,      ui->actionSettingsDB,
        ui->actionImport,  ui->actionExport,        ui->actionExpandAll,     ui->actionCollapseAll};
    connect(this, &QZelKorWindow::onUseDB_Enabled, this, [this, databaseActions](bool enabled) {
        for (QAction* action : databaseActions)
            action->setEnabled(enabled);
        ui->menuImportExport->menuAction()->setEnabled(enabled);
    });
    connect(this, &QZelKorWindow::onUseDB_Enabled, ui->actionRestoreSnapshot, &QAction::setEnabled);
}

void QZelKorWindow::restoreWindowSettings()
{
    storedLayout().restore();
}

void QZelKorWindow::saveWindowSettings()
{
    storedLayout().save();
}

WindowLayout QZelKorWindow::storedLayout()
{
    return {this, ui->splitter, ui->treeEvents, ui->actionOrderEvents, ui->cbListPort};
}

void QZelKorWindow::closeEvent(QCloseEvent* event)
{
    // The file closed last is compacted to the end before the window goes.
    waitForCompaction(m_compaction, this);
    if (!m_serialThread.isRunning() && !m_busy) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_serialThread.isRunning()) {
        // Close again when the worker has finished (see finished()).
        m_closing = true;
        m_serialThread.stop();
    }
}

void QZelKorWindow::finished()
{
    emit onConnectEnabled(true);
    emit onConnectDisabled(true);
    if (m_closing)
        close();
}

void QZelKorWindow::about()
{
    QAbout dialog(applicationTitle(), this);
    dialog.exec();
}

void QZelKorWindow::triggeredExit(bool)
{
    closeDB();
    close();
}

void QZelKorWindow::triggeredPanelInfo(bool)
{
    QPanelVersion::exec(this, &m_serialThread);
}

void QZelKorWindow::firmwareDownload(bool)
{
    firmwareDownload();
}

void QZelKorWindow::firmwareDownload()
{
    QFirmwareDownload::exec(this, &m_serialThread);
}

void QZelKorWindow::firmwareUpload(bool)
{
    firmwareUpload();
}

void QZelKorWindow::firmwareUpload()
{
    QFirmwareUpload::exec(this, &m_serialThread);
}

void QZelKorWindow::showFind(bool checked)
{
    ui->frmFind->setVisible(checked);
}

void QZelKorWindow::showFind()
{
    ui->actionShowFind->setChecked(true);
    showFind(true);
}

void QZelKorWindow::showContextMenuTree(QPoint pos)
{
    m_treeMenu->popup(ui->treeView->viewport()->mapToGlobal(pos));
}

void QZelKorWindow::showContextMenuFind(QPoint pos)
{
    m_findMenu->popup(ui->treeFind->viewport()->mapToGlobal(pos));
}

void QZelKorWindow::showContextMenuEvents(QPoint pos)
{
    m_eventsMenu->popup(ui->treeEvents->viewport()->mapToGlobal(pos));
}

void QZelKorWindow::on_leCondition_returnPressed()
{
    ui->actionSearch->trigger();
}

void QZelKorWindow::on_actionFit_triggered()
{
    if (auto* tree = qobject_cast<QTreeWidget*>(QApplication::focusWidget()))
        tree->header()->resizeSections(QHeaderView::ResizeToContents);
}

void QZelKorWindow::on_actionAllColumns_triggered()
{
    if (auto* tree = qobject_cast<QTreeWidget*>(QApplication::focusWidget()))
        tree->header()->resizeSections(QHeaderView::Stretch);
}

// Connection strip

void QZelKorWindow::on_actionRefreshListPort_triggered()
{
    const QString current = ui->cbListPort->currentText();
    ui->cbListPort->clear();
    for (const SerialPortEntry& port : availableSerialPorts())
        ui->cbListPort->addItem(port.name, port.location);
    ui->cbListPort->model()->sort(0, Qt::AscendingOrder);
    const int index =
        current.isEmpty()
            ? -1
            : ui->cbListPort->findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive);
    ui->cbListPort->setCurrentIndex(index >= 0 ? index : 0);
}

void QZelKorWindow::setChecked_ConnectPort(bool checked)
{
    if (checked) {
        if (ui->cbListPort->currentIndex() < 0) {
            ui->pbConnectPort->setChecked(false);
            QMessageBox::warning(this, tr("Предупреждение"),
                                 tr("Необходимо выбрать последовательный порт (COM порт)."),
                                 QMessageBox::Ok);
            return;
        }
        const QString location = ui->cbListPort->currentData().toString();
        QSerialPort::SerialPortError error;
        QString errorString;
        if (!m_serialThread.start(location, error, errorString)) {
            ui->pbConnectPort->setChecked(false);
            QMessageBox::warning(this, tr("Ошибка"),
                                 PortAccess::openFailureText(location, error, errorString),
                                 QMessageBox::Ok);
            return;
        }
        m_journal->linkStarted(location);
        ui->pbConnectPort->setText(tr("Отключить"));
        showLinkState(QString::fromLatin1(YellowPicture), tr("Установка связи с панелью"));
    } else {
        ui->pbConnectPort->setText(tr("Подключить"));
        m_serialThread.stop();
        showLinkState(QString::fromLatin1(WhitePicture), QString());
    }
    emit onConnectEnabled(!checked);
    emit onConnectDisabled(!checked);
}

bool QZelKorWindow::connectPort(const QString& port)
{
    int index = ui->cbListPort->findText(port, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        index = ui->cbListPort->findData(port);
    if (index >= 0 && ui->cbListPort->isEnabled()) {
        ui->cbListPort->setCurrentIndex(index);
        ui->pbConnectPort->setChecked(true);
    }
    return m_serialThread.isRunning();
}

void QZelKorWindow::onError(QSerialPortError error, QString errorString)
{
    if (!ui->pbConnectPort->isChecked())
        return;
    switch (error) {
    case QSerialPortError::NoError:
        showLinkState(QString::fromLatin1(GreenPicture), tr("Связь с панелью установлена"));
        break;
    case QSerialPortError::ClosedByUser:
    case QSerialPortError::CancelledByUser:
        break;
    default:
        showLinkState(QString::fromLatin1(RedPicture), errorString);
        break;
    }
}

void QZelKorWindow::showLinkState(const QString& picture, const QString& toolTip)
{
    ui->labelStatus->setPixmap(QPixmap(picture));
    ui->labelStatus->setToolTip(toolTip);
    const bool lost = picture == QLatin1String(RedPicture);
    m_linkLost->setText(lost ? tr("Нет связи с панелью: %1").arg(toolTip) : QString());
    m_linkLost->setVisible(lost);
}

// Events

void QZelKorWindow::onEvent(QByteArray data, QDateTime datetime)
{
    if (data.size() == 1) {
        showLockState(quint8(data.at(0)));
        return;
    }
    if (data.size() != EventRecordSize)
        return;
    showLockState(quint8(data.at(5)));
    const EventRow row = decodeEventRecord(data, datetime, m_defaultKeyFormat);
    if (row.card != 0)
        emit sendCard(row.card);
    // The time of reception sorts chronologically as text.
    auto* item = new EventListItem(row, m_journal->owners());
    if (ui->cbOrderEvents->isChecked())
        ui->treeEvents->insertTopLevelItem(0, item);
    else
        ui->treeEvents->addTopLevelItem(item);
}

void QZelKorWindow::on_actionOrderEvents_triggered(bool checked)
{
    ui->treeEvents->sortItems(0, checked ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void QZelKorWindow::on_actionClearEvents_triggered()
{
    ui->treeEvents->clear();
}

void QZelKorWindow::on_actionSaveEvents_triggered()
{
    QSaveEvents::exec(this, ui->treeEvents);
}

// Lock and additional device

void QZelKorWindow::layOutStrip()
{
    // The groups fold onto a second row rather than force a narrow screen's window wider.
    auto* strip = new FlowLayout(ui->strip);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(ui->layoutStripPort->spacing());
    for (QWidget* group : {ui->stripPort, ui->stripLock, ui->stripDevice})
        strip->addWidget(group);
    // The state labels change with every status byte; reserving the widest text keeps the
    // strip from jumping around.
    for (quint8 state : {ModeIdle, ModeTimed, ModeHold}) {
        reserveWidth(ui->lLock, lockView(state).state);
        reserveWidth(ui->lDevice, deviceView(quint8(state << 4)).state);
    }
}

void QZelKorWindow::toggleBack(QAbstractButton* button)
{
    // The click has toggled the button; its checked state follows the panel's status only.
    button->setChecked(!button->isChecked());
}

void QZelKorWindow::on_tbLockOpen_clicked(bool)
{
    toggleBack(ui->tbLockOpen);
    sendControl(ControlledDevice::Lock, ui->tbLockOpen->isChecked() ? ModeIdle : ModeTimed);
}

void QZelKorWindow::on_tbLockUnblock_clicked()
{
    toggleBack(ui->tbLockUnblock);
    sendControl(ControlledDevice::Lock, ui->tbLockUnblock->isChecked() ? ModeIdle : ModeHold);
}

void QZelKorWindow::on_tbDeviceOpen_clicked()
{
    toggleBack(ui->tbDeviceOpen);
    sendControl(ControlledDevice::Additional, ui->tbDeviceOpen->isChecked() ? ModeIdle : ModeTimed);
}

void QZelKorWindow::on_tbDeviceUnblock_clicked()
{
    toggleBack(ui->tbDeviceUnblock);
    sendControl(ControlledDevice::Additional,
                ui->tbDeviceUnblock->isChecked() ? ModeIdle : ModeHold);
}

void QZelKorWindow::sendControl(ControlledDevice device, ControlMode mode)
{
    if (!m_serialThread.isRunning())
        return;
    // Only the journal waits for this answer: the next status byte shows what the panel did.
    QPacket* packet = QPacket::request(Protocol::Control, controlParameter(device, mode));
    ActionJournal::watch(packet, ActionJournal::controlText(device, mode));
    emit m_serialThread.sendPacket(packet);
}

void QZelKorWindow::showLockState(quint8 status)
{
    showControl(lockView(status), ui->tbLockOpen, ui->tbLockUnblock, ui->lLock);
    showControl(deviceView(status), ui->tbDeviceOpen, ui->tbDeviceUnblock, ui->lDevice);
}

// Panel configuration

bool QZelKorWindow::requireLink(const QAction* action)
{
    if (m_serialThread.isRunning())
        return true;
    QMessageBox::critical(this, action->text(), tr("Требуется подключение к панели."),
                          QMessageBox::Ok);
    return false;
}

void QZelKorWindow::on_actionPanelSettings_triggered()
{
    QPanelSettings::exec(this, &m_db, &m_serialThread);
}

void QZelKorWindow::on_actionExport_triggered()
{
    if (requireLink(ui->actionExport))
        QExport::exec(this, &m_db, &m_serialThread);
}

void QZelKorWindow::on_actionImport_triggered()
{
    if (requireLink(ui->actionImport) && QImport::exec(this, &m_db, &m_serialThread))
        refreshData();
}

// Database file

void QZelKorWindow::triggeredNewDB(bool)
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Укажите файл для новой БД"),
        QDir::homePath() + QDir::separator() + QStringLiteral("new.zelkor"), tr("DB (*.zelkor)"));
    if (fileName.isEmpty())
        return;
    // The file may be the one that is open or being compacted: let go of it before it is
    // overwritten.
    closeConnection(false);
    waitForCompaction(m_compaction, this);
    const QString error = DatabaseFile::createFromTemplate(fileName);
    if (!error.isEmpty()) {
        QMessageBox::critical(this, QString(), error, QMessageBox::Ok);
        return;
    }
    openDB(fileName);
}

void QZelKorWindow::triggeredOpenDB(bool)
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Выберите файл БД"), QString(), tr("DB (*.zelkor)"));
    if (fileName.isEmpty())
        return;
    openDB(fileName);
}

void QZelKorWindow::triggeredCloseDB(bool)
{
    // Closing clears the lists and switches the database actions off.
    closeDB();
}

bool QZelKorWindow::openDB(QString fileName)
{
    if (m_busy)
        return false;
    closeConnection(false);
    // No file is opened while the one closed last is still being compacted.
    waitForCompaction(m_compaction, this);
    if (!QFileInfo::exists(fileName) || !openWithForeignKeys(m_db, fileName)) {
        QMessageBox::critical(this, windowTitle(), openFailure(m_db, fileName));
        closeConnection(false);
        return false;
    }
    if (!checkDatabaseFormat()) {
        // A refused file is not ours: it is left exactly as it was, without the compaction of
        // a normal close.
        closeConnection(false);
        return false;
    }
    addRecentFile(fileName);
    emit onUseDB_Enabled(true);
    refreshData();
    // Said once here rather than by the first save that fails.
    if (DatabaseFile::isReadOnly(m_db))
        QMessageBox::warning(this, tr("Предупреждение"),
                             tr("Файл БД открыт только для чтения: изменения не будут сохранены."));
    return true;
}

bool QZelKorWindow::checkDatabaseFormat()
{
    const DatabaseFile::FormatCheck check = DatabaseFile::checkFormat(m_db);
    if (check.format != DatabaseFile::Format::Valid) {
        QMessageBox box(QMessageBox::Critical, QString(), DatabaseFile::formatMessage(check),
                        QMessageBox::Ok);
        box.exec();
        return false;
    }
    loadDatabaseSettings();
    setWindowTitle(QStringLiteral("%1 (%2)").arg(applicationTitle(), m_db.databaseName()));
    return true;
}

void QZelKorWindow::closeDB()
{
    closeConnection(true);
}

void QZelKorWindow::closeConnection(bool compact)
{
    setWindowTitle(applicationTitle());
    if (m_db.isOpen()) {
        const QString fileName = m_db.databaseName();
        m_db.close();
        // Every close compacts the file, except when another file is about to be opened; in
        // the background, since a large file takes seconds.
        if (compact)
            m_compaction.start(fileName);
    }
    m_defaultKeyFormat = CardFormat::Default;
    TreeFill::clearRows(ui->treeView);
    TreeFill::clearRows(ui->treeFind);
    ui->cboxColumn->clear();
    ui->treeView->restoreDefaultColumns();
    // Nothing is open any more: the database actions follow.
    emit onUseDB_Enabled(false);
}

bool QZelKorWindow::loadDatabaseSettings()
{
    TreeFill::clearRows(ui->treeFind);
    ui->cboxColumn->clear();
    DatabaseFile::Settings settings;
    QString error;
    switch (DatabaseFile::readSettings(m_db, &settings, &error)) {
    case DatabaseFile::SettingsRead::Failed:
        QMessageBox::critical(this, ui->actionSettingsDB->text(),
                              tr("Ошибка загрузки данных.\r\nSqlError: %1").arg(error));
        return false;
    case DatabaseFile::SettingsRead::Missing:
        return false;
    case DatabaseFile::SettingsRead::Read:
        break;
    }
    m_defaultKeyFormat = settings.keyFormat;
    ui->treeView->applySettings(settings, ui->cboxColumn);
    return true;
}

// Database tree

void QZelKorWindow::refreshData(bool)
{
    refreshData();
}

void QZelKorWindow::refreshData()
{
    if (m_busy)
        return;
    TreeFill::clearRows(ui->treeFind);
    const QList<QTreeWidgetItem*> oldRows = TreeFill::takeRows(ui->treeView);
    ui->treeView->setUpdatesEnabled(false);
    updateSelectionActions();
    {
        WindowTask task(this, &m_busy, tr("Загрузка БД"), WindowTask::DisableWindow);
        const QString error = ui->treeView->load(
            oldRows, m_db.databaseName(), [this](int maximum) { emit setMaximum(maximum); },
            [this](int value) { emit setValue(value); });
        if (!error.isEmpty())
            QMessageBox::critical(this, tr("Загрузка БД"), tr("Ошибка: %1.").arg(error));
    }
    updateSelectionActions();
    ui->treeView->setUpdatesEnabled(true);
}

void QZelKorWindow::updateSelectionActions()
{
    on_treeView_itemSelectionChanged();
    on_treeFind_itemSelectionChanged();
}

QTreeWidgetItem* QZelKorWindow::selectedRow() const
{
    const QList<QTreeWidgetItem*> selected = ui->treeView->selectedItems();
    return selected.size() == 1 ? selected.first() : nullptr;
}

void QZelKorWindow::on_treeView_itemSelectionChanged()
{
    const bool one = ui->treeView->selectedItems().size() == 1;
    ui->actionEdit->setEnabled(one);
    ui->actionDel->setEnabled(one);
}

void QZelKorWindow::on_treeView_itemDoubleClicked(QTreeWidgetItem*, int)
{
    ui->actionEdit->trigger();
}

void QZelKorWindow::on_actionAddSubscriber_triggered(bool)
{
    editSubscriber(nullptr);
}

void QZelKorWindow::on_actionEdit_triggered()
{
    QTreeWidgetItem* row = selectedRow();
    if (!row)
        return;
    if (TreeRow::isKey(row))
        editKey(row->parent(), row);
    else
        editSubscriber(row);
}

void QZelKorWindow::on_actionAddCard_triggered()
{
    // The selected subscriber, or the owner of the selected key, receives the new key.
    QTreeWidgetItem* row = selectedRow();
    if (!row)
        return;
    editKey(TreeRow::isKey(row) ? row->parent() : row, nullptr);
}

void QZelKorWindow::editSubscriber(QTreeWidgetItem* row)
{
    QSubscriber::exec(this, &m_db, ui->treeView, row);
}

void QZelKorWindow::editKey(QTreeWidgetItem* owner, QTreeWidgetItem* row)
{
    QCard::exec(this, &m_db, m_defaultKeyFormat, ui->treeView, owner, row);
}

void QZelKorWindow::on_actionSettingsDB_triggered()
{
    if (QSettingsDB::exec(this, &m_db))
        loadDatabaseSettings();
}

void QZelKorWindow::on_actionInfoDB_triggered()
{
    QInfoDB::exec(this, &m_db);
}

void QZelKorWindow::on_actionDel_triggered()
{
    QTreeWidgetItem* row = selectedRow();
    if (!row)
        return;
    const bool key = TreeRow::isKey(row);
    const int subscriber = TreeRow::subscriberNumber(row);
    const QString question = key ? tr("Удалить ключ '%1' ?").arg(row->text(TreeRow::Key))
                                 : tr("Удалить абонента '%1' ?").arg(subscriber);
    if (QMessageBox::question(this, ui->actionDel->text(), question,
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::NoButton) != QMessageBox::Yes)
        return;
    const QString error = key ? DatabaseFile::deleteKey(m_db, TreeRow::keyCode(row), subscriber)
                              : DatabaseFile::deleteSubscriber(m_db, subscriber);
    if (!error.isEmpty()) {
        QMessageBox::critical(this, ui->actionDel->text(), error);
        return;
    }
    TreeFill::removeFoundRows(ui->treeFind, row);
    delete row;
}

// Search

void QZelKorWindow::on_actionSearch_triggered()
{
    TreeFill::showFoundRows(ui->treeFind, ui->treeView, ui->leCondition->text(),
                            TreeFill::searchTypeFlags(ui->cboxTypeFind->currentIndex()),
                            ui->cboxColumn->currentData().toInt());
    on_treeFind_itemSelectionChanged();
}

void QZelKorWindow::on_cboxColumn_currentIndexChanged(int)
{
    ui->treeFind->headerItem()->setText(
        2, tr("Поиск по столбцу '%1'").arg(ui->cboxColumn->currentText()));
}

void QZelKorWindow::on_treeFind_itemSelectionChanged()
{
    const QList<QTreeWidgetItem*> selected = ui->treeFind->selectedItems();
    ui->actionGotoOpenRec->setEnabled(selected.size() == 1 && m_db.isOpen());
    if (selected.size() == 1)
        ui->treeView->setCurrentItem(TreeRow::foundRow(selected.first()));
}

void QZelKorWindow::on_treeFind_itemDoubleClicked(QTreeWidgetItem*, int)
{
    ui->actionGotoOpenRec->trigger();
}

void QZelKorWindow::on_actionGotoOpenRec_triggered()
{
    const QList<QTreeWidgetItem*> selected = ui->treeFind->selectedItems();
    if (selected.size() != 1)
        return;
    ui->treeView->setCurrentItem(TreeRow::foundRow(selected.first()));
    ui->actionEdit->trigger();
}

// Recent files

void QZelKorWindow::addRecentFile(const QString& fileName)
{
    RecentFiles::save(RecentFiles::added(RecentFiles::load(), fileName));
    rebuildRecentFilesMenu();
}

void QZelKorWindow::removeRecentFile(QString fileName)
{
    RecentFiles::save(RecentFiles::removed(RecentFiles::load(), fileName));
    rebuildRecentFilesMenu();
}

void QZelKorWindow::on_actionClearRecentFiles_triggered()
{
    RecentFiles::save({});
    rebuildRecentFilesMenu();
}

void QZelKorWindow::rebuildRecentFilesMenu()
{
    for (QRecentFileAction* entry : QRecentFileAction::fillMenu(m_recentMenu, RecentFiles::load(),
                                                                ui->actionClearRecentFiles, this)) {
        connect(entry, &QRecentFileAction::openDB, this, &QZelKorWindow::openDB);
        connect(entry, &QRecentFileAction::removeRecentFile, this,
                &QZelKorWindow::removeRecentFile);
    }
}

// Clearing and test data

bool QZelKorWindow::clearDB()
{
    if (m_busy)
        return false;
    // Disabled: the window serves its events while the snapshot is taken.
    WindowTask task(this, &m_busy, tr("Очистка БД"), WindowTask::DisableWindow);
    task.progressBar()->setValue(-1);
    const QString file = m_db.databaseName();
    const Snapshots::Taken snapshot = awaitFuture(QtConcurrent::run(
        workPool(), [file] { return Snapshots::take(file, Snapshots::Operation::Clear); }));
    const QString error = snapshot.ok ? DatabaseFile::clearSubscribers(m_db) : snapshot.error;
    if (!error.isEmpty()) {
        QMessageBox::critical(this, tr("Очистка БД"), error);
        return false;
    }
    TreeFill::clearRows(ui->treeView);
    TreeFill::clearRows(ui->treeFind);
    updateSelectionActions();
    return true;
}

void QZelKorWindow::on_actionClearDB_triggered()
{
    if (QMessageBox::question(this, ui->actionClearDB->text(),
                              tr("Вы действительно хотите очистить БД?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    clearDB();
    refreshData();
}

void QZelKorWindow::on_actionGeneration_triggered()
{
    if (clearDB() && !m_busy) {
        WindowTask task(this, &m_busy, ui->actionGeneration->text(), WindowTask::DisableWindow);
        task.progressBar()->setRange(0, TestData::Subscribers);
        task.progressBar()->setValue(0);
        const QString error =
            awaitFuture(QtConcurrent::run(workPool(), TestData::generateFile, m_db.databaseName(),
                                          [this](int value) { emit setValue(value); }));
        if (!error.isEmpty())
            QMessageBox::critical(this, ui->actionGeneration->text(), error);
    }
    refreshData();
}

// CSV exchange

void QZelKorWindow::on_actionImportDB_triggered()
{
    if (QImportToDB::exec(this, &m_db))
        refreshData();
}

void QZelKorWindow::on_actionExportDB_triggered()
{
    QExportFromDB::exec(this, &m_db);
}

void QZelKorWindow::on_actionRestoreSnapshot_triggered()
{
    // The settings row comes back with the rest.
    if (QRestoreSnapshot::exec(this, &m_db)) {
        loadDatabaseSettings();
        refreshData();
    }
}
