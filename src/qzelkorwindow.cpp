#include "qzelkorwindow.h"

#include "application.h"
#include "cardformat.h"
#include "eventrecord.h"
#include "lockstate.h"
#include "portlist.h"
#include "protocol.h"
#include "qabout.h"
#include "qpacket.h"
#include "qpanelversion.h"
#include "ui_qzelkorwindow.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>

#include <algorithm>

namespace {

const char* const WhitePicture = ":/images/circle_white";
const char* const YellowPicture = ":/images/circle_yellow";
const char* const GreenPicture = ":/images/circle_green";
const char* const RedPicture = ":/images/circle_red";

// A push button that stands for an action: same text, icon and enabled state, and a click
// triggers it.
void showAction(QAbstractButton* button, QAction* action)
{
    auto update = [button, action] {
        button->setText(action->text());
        button->setIcon(action->icon());
        button->setToolTip(action->toolTip());
        button->setEnabled(action->isEnabled());
    };
    update();
    QObject::connect(action, &QAction::changed, button, update);
    QObject::connect(button, &QAbstractButton::clicked, action, [action] { action->trigger(); });
}

QString settingsKey(const QObject* object, const char* what)
{
    return QStringLiteral("%1/%2").arg(object->objectName(), QLatin1String(what));
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
    reserveStateLabelWidths();

    setWindowTitle(applicationTitle());
    ui->actionClearDB->setVisible(false);
    ui->actionGeneration->setVisible(false);

    QHeaderView* header = ui->treeView->header();
    m_defaultTreeHeaderGeometry = header->saveGeometry();
    m_defaultTreeHeaderState = header->saveState();
    const QTreeWidgetItem* titles = ui->treeView->headerItem();
    for (int column = 0; column < titles->columnCount(); ++column)
        m_defaultColumnTitles << titles->text(column);

    createMenus();

    ui->treeView->setSortingEnabled(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    ui->treeView->sortByColumn(0, Qt::AscendingOrder);
    ui->treeFind->setSortingEnabled(true);
    ui->treeFind->header()->setSectionsClickable(true);
    ui->treeFind->header()->setSortIndicatorShown(true);

    showAction(ui->pbRefresh, ui->actionRefreshDB);
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
    connect(ui->actionExit, &QAction::triggered, this, &QZelKorWindow::triggeredExit);

    ui->actionRefreshListPort->trigger();
    setChecked_ConnectPort(false);
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

QMenu* QZelKorWindow::popupMenu(const QList<QAction*>& actions)
{
    auto* menu = new QMenu(this);
    for (QAction* action : actions) {
        if (action)
            menu->addAction(action);
        else
            menu->addSeparator();
    }
    return menu;
}

void QZelKorWindow::createMenus()
{
    menuBar()->addAction(tr("О программе"), this, &QZelKorWindow::about);

    m_recentMenu = new QMenu(this);
    ui->actionRecentFiles->setMenu(m_recentMenu);
    m_alignMenu = popupMenu({ui->actionFit, ui->actionAllColumns});
    ui->actionAlign->setMenu(m_alignMenu);
    m_addMenu = popupMenu({ui->actionAddSubscriber, ui->actionAddCard});
    ui->actionAdd->setMenu(m_addMenu);
    ui->tbAdd->setDefaultAction(ui->actionAdd);
    ui->tbAdd->setMenu(m_addMenu);
    ui->tbEdit->setDefaultAction(ui->actionEdit);
    ui->tbDel->setDefaultAction(ui->actionDel);

    m_treeMenu = popupMenu({ui->actionExpandAll, ui->actionCollapseAll, nullptr,
                            ui->actionRefreshDB, nullptr, ui->actionAdd, ui->actionEdit, nullptr,
                            ui->actionDel, nullptr, ui->actionAlign});
    m_findMenu = popupMenu({ui->actionGotoOpenRec, nullptr, ui->actionAlign});
    m_eventsMenu = popupMenu({ui->actionAlign, nullptr, ui->actionClearEvents, ui->actionSaveEvents,
                              nullptr, ui->actionOrderEvents});
    connect(ui->treeView, &QWidget::customContextMenuRequested, this,
            &QZelKorWindow::showContextMenuTree);
    connect(ui->treeFind, &QWidget::customContextMenuRequested, this,
            &QZelKorWindow::showContextMenuFind);
    connect(ui->treeEvents, &QWidget::customContextMenuRequested, this,
            &QZelKorWindow::showContextMenuEvents);
    ui->cbOrderEvents->addAction(ui->actionOrderEvents);
    showAction(ui->pbClearEvents, ui->actionClearEvents);
    showAction(ui->pbSaveEvents, ui->actionSaveEvents);
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
    const QList<QAction*> databaseActions = {ui->actionCloseDB,
                                             ui->actionInfoDB,
                                             ui->actionRefreshDB,
                                             ui->actionAdd,
                                             ui->actionAddCard,
                                             ui->actionAddSubscriber,
                                             ui->actionEdit,
                                             ui->actionDel,
                                             ui->actionSearch,
                                             ui->actionGotoOpenRec,
                                             ui->actionPanelSettings,
                                             ui->actionGeneration,
                                             ui->actionClearDB,
                                             ui->actionImportDB,
                                             ui->actionExportDB,
                                             ui->actionSettingsDB,
                                             ui->actionImport,
                                             ui->actionExport,
                                             ui->menuImportExport->menuAction(),
                                             ui->actionExpandAll,
                                             ui->actionCollapseAll};
    connect(this, &QZelKorWindow::onUseDB_Enabled, this, [databaseActions](bool enabled) {
        for (QAction* action : databaseActions)
            action->setEnabled(enabled);
    });
}

void QZelKorWindow::restoreWindowSettings()
{
    QSettings settings(QString::fromLatin1(Application::Domain), Application::settingsName());
    const auto restore = [&settings](const QString& key, auto apply) {
        if (settings.contains(key))
            apply(settings.value(key));
    };
    restore(settingsKey(this, "Geometry"),
            [this](const QVariant& v) { restoreGeometry(v.toByteArray()); });
    restore(settingsKey(this, "State"),
            [this](const QVariant& v) { restoreState(v.toByteArray(), 0); });
    const QString splitterGeometry = settingsKey(ui->splitter, "Geometry");
    const QString splitterState = settingsKey(ui->splitter, "State");
    if (settings.contains(splitterGeometry) && settings.contains(splitterState)) {
        ui->splitter->restoreGeometry(settings.value(splitterGeometry).toByteArray());
        ui->splitter->restoreState(settings.value(splitterState).toByteArray());
    } else {
        ui->splitter->setSizes({10000, 0});
    }
    QHeaderView* events = ui->treeEvents->header();
    restore(settingsKey(ui->treeEvents, "Geometry"),
            [events](const QVariant& v) { events->restoreGeometry(v.toByteArray()); });
    const QString eventsState = settingsKey(ui->treeEvents, "State");
    if (settings.contains(eventsState)) {
        events->restoreState(settings.value(eventsState).toByteArray());
    } else {
        // Room for a whole time stamp and the longest key text instead of eliding them.
        const QFontMetrics metrics = ui->treeEvents->fontMetrics();
        const int margin = 3 * metrics.averageCharWidth();
        events->resizeSection(
            0, metrics.horizontalAdvance(QStringLiteral("0000.00.00 00:00:00.000")) + margin);
        events->resizeSection(1, metrics.horizontalAdvance(QStringLiteral("0000000000000000")) +
                                     margin);
    }
    restore(ui->actionOrderEvents->objectName(),
            [this](const QVariant& v) { ui->actionOrderEvents->setChecked(v.toBool()); });
    restore(ui->cbListPort->objectName(),
            [this](const QVariant& v) { ui->cbListPort->setCurrentText(v.toString()); });
}

void QZelKorWindow::saveWindowSettings()
{
    QSettings settings(QString::fromLatin1(Application::Domain), Application::settingsName());
    settings.setValue(settingsKey(this, "Geometry"), saveGeometry());
    settings.setValue(settingsKey(this, "State"), saveState(0));
    settings.setValue(settingsKey(ui->splitter, "Geometry"), ui->splitter->saveGeometry());
    settings.setValue(settingsKey(ui->splitter, "State"), ui->splitter->saveState());
    settings.setValue(settingsKey(ui->treeEvents, "Geometry"),
                      ui->treeEvents->header()->saveGeometry());
    settings.setValue(settingsKey(ui->treeEvents, "State"), ui->treeEvents->header()->saveState());
    settings.setValue(ui->actionOrderEvents->objectName(), ui->actionOrderEvents->isChecked());
    settings.setValue(ui->cbListPort->objectName(), ui->cbListPort->currentText());
}

void QZelKorWindow::closeEvent(QCloseEvent* event)
{
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
    close();
}

void QZelKorWindow::triggeredPanelInfo(bool)
{
    QPanelVersion::exec(this, &m_serialThread);
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

void QZelKorWindow::on_treeView_itemDoubleClicked(QTreeWidgetItem*, int)
{
    ui->actionEdit->trigger();
}

void QZelKorWindow::on_treeFind_itemDoubleClicked(QTreeWidgetItem*, int)
{
    ui->actionGotoOpenRec->trigger();
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
                                 tr("Ошибка: %1\r\n%2").arg(location, errorString),
                                 QMessageBox::Ok);
            return;
        }
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
    // Plain items: the time of reception sorts chronologically as text.
    auto* item = new QTreeWidgetItem(QStringList{row.time, row.key, row.description});
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

// Lock and additional device

void QZelKorWindow::reserveStateLabelWidths()
{
    // The state labels change with every status byte; reserving the widest text keeps the
    // strip from jumping around.
    const auto reserve = [](QLabel* label, const QStringList& texts) {
        int width = 0;
        for (const QString& text : texts)
            width = std::max(width, label->fontMetrics().horizontalAdvance(text));
        label->setMinimumWidth(width);
    };
    QStringList lockStates;
    QStringList deviceStates;
    for (quint8 state : {ModeIdle, ModeTimed, ModeHold}) {
        lockStates << lockView(state).state;
        deviceStates << deviceView(quint8(state << 4)).state;
    }
    reserve(ui->lLock, lockStates);
    reserve(ui->lDevice, deviceStates);
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
    // Nobody waits for this answer: the next status byte shows what the panel did.
    emit m_serialThread.sendPacket(
        QPacket::request(Protocol::Control, controlParameter(device, mode)));
}

void QZelKorWindow::showLockState(quint8 status)
{
    const ControlView lock = lockView(status);
    ui->tbLockOpen->setText(lock.timedText);
    ui->tbLockOpen->setChecked(lock.timedChecked);
    ui->tbLockUnblock->setText(lock.holdText);
    ui->tbLockUnblock->setChecked(lock.holdChecked);
    ui->lLock->setText(lock.state);
    const ControlView device = deviceView(status);
    ui->tbDeviceOpen->setText(device.timedText);
    ui->tbDeviceOpen->setChecked(device.timedChecked);
    ui->tbDeviceUnblock->setText(device.holdText);
    ui->tbDeviceUnblock->setChecked(device.holdChecked);
    ui->lDevice->setText(device.state);
}
