#include "qzelkorwindow.h"

#include "actionwidgets.h"
#include "connectionstrip.h"
#include "databasesession.h"
#include "eventrecord.h"
#include "eventslist.h"
#include "exportbreaknotice.h"
#include "keyfeed.h"
#include "mainwindowjournal.h"
#include "qabout.h"
#include "qexport.h"
#include "qexportfromdb.h"
#include "qfirmwaredownload.h"
#include "qfirmwareupload.h"
#include "qimport.h"
#include "qimporttodb.h"
#include "qinfodb.h"
#include "qjournalwindow.h"
#include "qpanelsettings.h"
#include "qpanelversion.h"
#include "qrestoresnapshot.h"
#include "qsaveevents.h"
#include "qsettingsdb.h"
#include "recentfilesmenu.h"
#include "screenfit.h"
#include "testdatagenerator.h"
#include "treeediting.h"
#include "ui_qzelkorwindow.h"
#include "windowlayout.h"
#include "windowshortcuts.h"
#include "windowtask.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

QZelKorWindow::QZelKorWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::QZelKorWindow)
    , m_database(new DatabaseSession(this))
{
    m_serialThread.setParent(this);

    connect(&m_serialThread, &QThread::finished, this, &QZelKorWindow::finished,
            Qt::QueuedConnection);
    connect(&m_serialThread, &QSerialPortThread::event, this, &QZelKorWindow::onEvent,
            Qt::DirectConnection);
    connect(&m_serialThread, &QSerialPortThread::errorEvent, this, &QZelKorWindow::onError,
            Qt::DirectConnection);

    ui->setupUi(this);
    // No dialog opens larger than the screen.
    ScreenFit::fitDialogs();
    connect(ui->tbAdd, &QToolButton::clicked, ui->tbAdd, &QToolButton::showMenu);
    ui->tabWidget->setCurrentIndex(0);
    m_strip = new ConnectionStrip(ui, &m_serialThread, statusBar(), this);
    m_journal = new MainWindowJournal(this, &m_serialThread, database());
    m_tree = new TreeEditing(ui, m_database, this);
    m_breaks = new ExportBreakNotice(this);
    connect(m_breaks, &ExportBreakNotice::resumeRequested, this, &QZelKorWindow::resumeExport);
    connect(this, &QZelKorWindow::sendCard, new KeyFeed(&m_serialThread, this), &KeyFeed::card);
    m_events = new EventsList(ui->treeEvents, ui->actionOrderEvents, ui->cbOrderEvents,
                              m_journal->owners(), this);
    connect(this, &QZelKorWindow::onUseDB_Enabled, m_journal, &MainWindowJournal::databaseOpened);
    connect(m_strip, &ConnectionStrip::started, m_journal, &MainWindowJournal::linkStarted);
    connect(m_database, &DatabaseSession::closed, this, &QZelKorWindow::onDatabaseClosed);
    connect(m_database, &DatabaseSession::settingsLoaded, m_tree, &TreeEditing::showSettings);

    setWindowTitle(applicationTitle());
    // Kept out of the menu, but not hidden: a hidden action is also disabled and would no
    // longer run when triggered.
    ui->menuFile->removeAction(ui->actionClearDB);
    ui->menuFile->removeAction(ui->actionGeneration);

    createMenus();
    WindowShortcuts::install(ui, centralWidget());

    connect(ui->actionRefreshDB, &QAction::triggered, this,
            qOverload<bool>(&QZelKorWindow::refreshData));
    ActionWidgets::mirror(ui->pbRefresh, ui->actionRefreshDB);
    connect(ui->actionShowFind, &QAction::triggered, this,
            qOverload<bool>(&QZelKorWindow::showFind));
    ui->tbShowFind->setDefaultAction(ui->actionShowFind);
    emit ui->actionShowFind->triggered(false);

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
    storedLayout().restore();
    emit onUseDB_Enabled(false);
}

QZelKorWindow::~QZelKorWindow()
{
    storedLayout().save();
    m_serialThread.stop();
    delete ui;
}

QString QZelKorWindow::applicationTitle()
{
    return tr("Ostrovel: Управление панелью ZEL-KOR");
}

void QZelKorWindow::createMenus()
{
    menuBar()->addAction(tr("О программе"), this, &QZelKorWindow::about);

    m_recent = new RecentFilesMenu(
        ui->actionRecentFiles, ui->actionClearRecentFiles,
        [this](const QString& fileName) { return openDB(fileName); }, this);
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
    QAction* journal = QJournalWindow::createAction(this, [this] { return defaultKeyFormat(); });
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
    ActionWidgets::mirror(ui->pbClearEvents, ui->actionClearEvents);
    ActionWidgets::mirror(ui->pbSaveEvents, ui->actionSaveEvents);
}

void QZelKorWindow::wireEnabling()
{
    connect(m_strip, &ConnectionStrip::connectedChanged, this, [this](bool connected) {
        emit onConnectEnabled(!connected);
        emit onConnectDisabled(!connected);
    });
    connect(this, &QZelKorWindow::onConnectEnabled, m_strip,
            [this](bool disconnected) { m_strip->enableControls(!disconnected); });
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

WindowLayout QZelKorWindow::storedLayout()
{
    return {this, ui->splitter, ui->treeEvents, ui->actionOrderEvents, ui->cbListPort};
}

void QZelKorWindow::closeEvent(QCloseEvent* event)
{
    // The file closed last is compacted to the end before the window goes.
    m_database->waitForCompaction();
    if (!m_serialThread.isRunning() && !m_busy) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_serialThread.isRunning()) {
        // Close again when the worker has finished (see finished()).
        m_closing = true;
        m_strip->setConnected(false);
    }
}

void QZelKorWindow::finished()
{
    // A port being opened again is no disconnection.
    if (m_strip->workerFinished() && m_closing)
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
    m_strip->refreshPorts();
}

void QZelKorWindow::setChecked_ConnectPort(bool checked)
{
    m_strip->setConnected(checked);
}

bool QZelKorWindow::connectPort(const QString& port)
{
    return m_strip->connectPort(port);
}

void QZelKorWindow::onError(QSerialPortError error, QString errorString)
{
    m_strip->showLinkError(error, errorString);
}

// Events

void QZelKorWindow::onEvent(QByteArray data, QDateTime datetime)
{
    if (data.size() == 1) {
        m_strip->showStatus(quint8(data.at(0)));
        return;
    }
    if (data.size() != EventRecordSize)
        return;
    m_strip->showStatus(quint8(data.at(5)));
    const EventRow row = decodeEventRecord(data, datetime, defaultKeyFormat());
    if (row.card != 0)
        emit sendCard(row.card);
    m_events->add(row);
}

void QZelKorWindow::on_actionOrderEvents_triggered(bool checked)
{
    m_events->setNewestFirst(checked);
}

void QZelKorWindow::on_actionClearEvents_triggered()
{
    m_events->clear();
}

void QZelKorWindow::on_actionSaveEvents_triggered()
{
    QSaveEvents::exec(this, ui->treeEvents);
}

// Lock and additional device

void QZelKorWindow::on_tbLockOpen_clicked(bool)
{
    m_strip->lockOpenClicked();
}

void QZelKorWindow::on_tbLockUnblock_clicked()
{
    m_strip->lockUnblockClicked();
}

void QZelKorWindow::on_tbDeviceOpen_clicked()
{
    m_strip->deviceOpenClicked();
}

void QZelKorWindow::on_tbDeviceUnblock_clicked()
{
    m_strip->deviceUnblockClicked();
}

// Panel configuration

void QZelKorWindow::on_actionPanelSettings_triggered()
{
    QPanelSettings::exec(this, database(), &m_serialThread);
}

void QZelKorWindow::on_actionExport_triggered()
{
    if (m_strip->requireLink(ui->actionExport->text()))
        QExport::exec(this, database(), &m_serialThread);
    m_breaks->refresh();
}

void QZelKorWindow::resumeExport(const QString& database)
{
    if (QFileInfo(m_database->fileName()).canonicalFilePath() != database && !openDB(database))
        return;
    on_actionExport_triggered();
}

void QZelKorWindow::on_actionImport_triggered()
{
    if (m_strip->requireLink(ui->actionImport->text()) &&
        QImport::exec(this, database(), &m_serialThread))
        refreshData();
}

// Database file

void QZelKorWindow::triggeredNewDB(bool)
{
    const QString fileName = m_database->chooseNewFile();
    if (!fileName.isEmpty() && m_database->create(fileName))
        openDB(fileName);
}

void QZelKorWindow::triggeredOpenDB(bool)
{
    const QString fileName = m_database->chooseFile();
    if (!fileName.isEmpty())
        openDB(fileName);
}

void QZelKorWindow::triggeredCloseDB(bool)
{
    // Closing clears the lists and switches the database actions off.
    closeDB();
}

bool QZelKorWindow::openDB(QString fileName)
{
    if (m_busy || !m_database->open(fileName))
        return false;
    setWindowTitle(QStringLiteral("%1 (%2)").arg(applicationTitle(), m_database->fileName()));
    m_recent->add(fileName);
    emit onUseDB_Enabled(true);
    refreshData();
    m_database->warnIfReadOnly();
    return true;
}

void QZelKorWindow::closeDB()
{
    m_database->close(true);
}

void QZelKorWindow::onDatabaseClosed()
{
    setWindowTitle(applicationTitle());
    m_tree->showClosed();
    // Nothing is open any more: the database actions follow.
    emit onUseDB_Enabled(false);
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
    WindowTask task(this, &m_busy, tr("Загрузка БД"), WindowTask::DisableWindow);
    m_tree->reload([this](int maximum) { emit setMaximum(maximum); },
                   [this](int value) { emit setValue(value); });
}

void QZelKorWindow::on_treeView_itemSelectionChanged()
{
    m_tree->treeSelectionChanged();
}

void QZelKorWindow::on_treeView_itemDoubleClicked(QTreeWidgetItem*, int)
{
    ui->actionEdit->trigger();
}

void QZelKorWindow::on_actionAddSubscriber_triggered(bool)
{
    m_tree->addSubscriber();
}

void QZelKorWindow::on_actionEdit_triggered()
{
    m_tree->editSelected();
}

void QZelKorWindow::on_actionAddCard_triggered()
{
    m_tree->addKey();
}

void QZelKorWindow::on_actionSettingsDB_triggered()
{
    if (QSettingsDB::exec(this, database()))
        m_database->reloadSettings();
}

void QZelKorWindow::on_actionInfoDB_triggered()
{
    QInfoDB::exec(this, database());
}

void QZelKorWindow::on_actionDel_triggered()
{
    m_tree->deleteSelected();
}

// Search

void QZelKorWindow::on_actionSearch_triggered()
{
    m_tree->search();
}

void QZelKorWindow::on_cboxColumn_currentIndexChanged(int)
{
    m_tree->showSearchedColumn();
}

void QZelKorWindow::on_treeFind_itemSelectionChanged()
{
    m_tree->foundSelectionChanged();
}

void QZelKorWindow::on_treeFind_itemDoubleClicked(QTreeWidgetItem*, int)
{
    ui->actionGotoOpenRec->trigger();
}

void QZelKorWindow::on_actionGotoOpenRec_triggered()
{
    m_tree->goToFound();
}

// Recent files

void QZelKorWindow::removeRecentFile(QString fileName)
{
    m_recent->remove(fileName);
}

void QZelKorWindow::on_actionClearRecentFiles_triggered()
{
    m_recent->clear();
}

// Clearing and test data

bool QZelKorWindow::clearDB()
{
    if (m_busy)
        return false;
    // Disabled: the window serves its events while the snapshot is taken.
    WindowTask task(this, &m_busy, tr("Очистка БД"), WindowTask::DisableWindow);
    task.progressBar()->setValue(-1);
    if (!m_database->clear())
        return false;
    m_tree->showCleared();
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
        m_database->generateTestData(ui->actionGeneration->text(),
                                     [this](int value) { emit setValue(value); });
    }
    refreshData();
}

// CSV exchange

void QZelKorWindow::on_actionImportDB_triggered()
{
    if (QImportToDB::exec(this, database()))
        refreshData();
}

void QZelKorWindow::on_actionExportDB_triggered()
{
    QExportFromDB::exec(this, database());
}

void QZelKorWindow::on_actionRestoreSnapshot_triggered()
{
    // The settings row comes back with the rest.
    if (QRestoreSnapshot::exec(this, database())) {
        m_database->reloadSettings();
        refreshData();
    }
}
