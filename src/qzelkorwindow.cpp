#include "qzelkorwindow.h"

#include "actionjournal.h"
#include "actionwidgets.h"
#include "application.h"
#include "cardformat.h"
#include "connectionstrip.h"
#include "databasefile.h"
#include "databasesession.h"
#include "eventlistitem.h"
#include "eventrecord.h"
#include "mainwindowjournal.h"
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
#include "qpanelsettings.h"
#include "qpanelversion.h"
#include "qrestoresnapshot.h"
#include "qsaveevents.h"
#include "qsettingsdb.h"
#include "qsubscriber.h"
#include "recentfilesmenu.h"
#include "snapshots.h"
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
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QtConcurrent>

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
    m_strip = new ConnectionStrip(ui, &m_serialThread, statusBar(), this);
    m_journal = new MainWindowJournal(this, &m_serialThread, database());
    connect(this, &QZelKorWindow::onUseDB_Enabled, m_journal, &MainWindowJournal::databaseOpened);
    connect(m_strip, &ConnectionStrip::started, m_journal, &MainWindowJournal::linkStarted);
    connect(m_database, &DatabaseSession::closed, this, &QZelKorWindow::onDatabaseClosed);
    connect(m_database, &DatabaseSession::settingsLoaded, this,
            &QZelKorWindow::applyDatabaseSettings);

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

QSqlDatabase* QZelKorWindow::database()
{
    return m_database->database();
}

int QZelKorWindow::defaultKeyFormat() const
{
    return m_database->keyFormat();
}

bool QZelKorWindow::isCompacting() const
{
    return m_database->isCompacting();
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
    ui->cbOrderEvents->addAction(ui->actionOrderEvents);
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
        m_serialThread.stop();
    }
}

void QZelKorWindow::finished()
{
    m_strip->workerFinished();
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
    QPanelSettings::exec(this, database(), &m_serialThread);
}

void QZelKorWindow::on_actionExport_triggered()
{
    if (requireLink(ui->actionExport))
        QExport::exec(this, database(), &m_serialThread);
}

void QZelKorWindow::on_actionImport_triggered()
{
    if (requireLink(ui->actionImport) && QImport::exec(this, database(), &m_serialThread))
        refreshData();
}

// Database file

void QZelKorWindow::triggeredNewDB(bool)
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Укажите файл для новой БД"),
        QDir::homePath() + QDir::separator() + QStringLiteral("new.zelkor"), tr("DB (*.zelkor)"));
    if (!fileName.isEmpty() && m_database->create(fileName))
        openDB(fileName);
}

void QZelKorWindow::triggeredOpenDB(bool)
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Выберите файл БД"), QString(), tr("DB (*.zelkor)"));
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
    TreeFill::clearRows(ui->treeView);
    TreeFill::clearRows(ui->treeFind);
    ui->cboxColumn->clear();
    ui->treeView->restoreDefaultColumns();
    // Nothing is open any more: the database actions follow.
    emit onUseDB_Enabled(false);
}

void QZelKorWindow::applyDatabaseSettings(const DatabaseFile::Settings& settings)
{
    TreeFill::clearRows(ui->treeFind);
    ui->cboxColumn->clear();
    ui->treeView->applySettings(settings, ui->cboxColumn);
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
            oldRows, m_database->fileName(), [this](int maximum) { emit setMaximum(maximum); },
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
    QSubscriber::exec(this, database(), ui->treeView, row);
}

void QZelKorWindow::editKey(QTreeWidgetItem* owner, QTreeWidgetItem* row)
{
    QCard::exec(this, database(), defaultKeyFormat(), ui->treeView, owner, row);
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
    const QString error =
        key ? DatabaseFile::deleteKey(*database(), TreeRow::keyCode(row), subscriber)
            : DatabaseFile::deleteSubscriber(*database(), subscriber);
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
    ui->actionGotoOpenRec->setEnabled(selected.size() == 1 && m_database->isOpen());
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
    const QString file = m_database->fileName();
    const Snapshots::Taken snapshot = awaitFuture(QtConcurrent::run(
        workPool(), [file] { return Snapshots::take(file, Snapshots::Operation::Clear); }));
    const QString error =
        snapshot.ok ? DatabaseFile::clearSubscribers(*database()) : snapshot.error;
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
        const QString error = awaitFuture(
            QtConcurrent::run(workPool(), TestData::generateFile, m_database->fileName(),
                              [this](int value) { emit setValue(value); }));
        if (!error.isEmpty())
            QMessageBox::critical(this, ui->actionGeneration->text(), error);
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
