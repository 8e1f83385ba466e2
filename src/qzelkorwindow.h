#pragma once

#include "databasesession.h"
#include "qserialporterror.h"
#include "qserialportthread.h"

#include <QByteArray>
#include <QDateTime>
#include <QMainWindow>
#include <QPoint>
#include <QSqlDatabase>

namespace Ui {
class QZelKorWindow;
}
class ConnectionStrip;
class EventsList;
class ExportBreakNotice;
class MainWindowJournal;
class QMenu;
class QTreeWidgetItem;
class RecentFilesMenu;
class TreeEditing;
class WindowLayout;

// The main window: owns the serial worker and the database connection for the whole run,
// carries the menus from which every dialog is reached, and switches the controls by the
// state of the database and of the link to the panel. It only wires: the connection strip
// (ConnectionStrip), the database file's life (DatabaseSession), the journal
// (MainWindowJournal) and the dialogs do the work.
class QZelKorWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit QZelKorWindow(QWidget* parent = nullptr);
    ~QZelKorWindow() override;

    QSerialPortThread* serialThread() { return &m_serialThread; }
    // The key format the events list and new keys use.
    int defaultKeyFormat() const { return m_database->keyFormat(); }
    QSqlDatabase* database() { return m_database->database(); }
    // True while a background database task of the window runs.
    bool isBusy() const { return m_busy; }
    // True while the file closed last is being compacted in the background.
    bool isCompacting() const { return m_database->isCompacting(); }
    static QString applicationTitle();
    // Selects the listed port with this name or device path and connects to it, as the user
    // would; true when the worker runs.
    bool connectPort(const QString& port);

signals:
    void onConnectEnabled(bool enabled);
    void onConnectDisabled(bool enabled);
    void onUseDB_Enabled(bool enabled);
    void setMaximum(int maximum);
    void setValue(int value);
    void sendCard(uint card);

public slots:
    void about();
    void setChecked_ConnectPort(bool checked);
    void triggeredNewDB(bool checked = false);
    void triggeredOpenDB(bool checked = false);
    void triggeredCloseDB(bool checked = false);
    void triggeredExit(bool checked = false);
    void triggeredPanelInfo(bool checked = false);
    void finished();
    void onEvent(QByteArray data, QDateTime datetime);
    void onError(QSerialPortError error, QString errorString);
    void refreshData(bool checked);
    void refreshData();
    void showFind(bool checked);
    void showFind();
    void firmwareDownload(bool checked);
    void firmwareDownload();
    void firmwareUpload(bool checked);
    void firmwareUpload();
    void showContextMenuTree(QPoint pos);
    void showContextMenuFind(QPoint pos);
    void showContextMenuEvents(QPoint pos);
    void on_actionAddSubscriber_triggered(bool checked);
    void on_actionEdit_triggered();
    void on_treeView_itemDoubleClicked(QTreeWidgetItem* item, int column);
    void on_treeView_itemSelectionChanged();
    void on_actionDel_triggered();
    void on_actionAddCard_triggered();
    void on_actionSearch_triggered();
    void on_cboxColumn_currentIndexChanged(int index);
    void on_treeFind_itemDoubleClicked(QTreeWidgetItem* item, int column);
    void on_treeFind_itemSelectionChanged();
    void on_actionGotoOpenRec_triggered();
    void on_leCondition_returnPressed();
    void on_actionFit_triggered();
    void on_actionAllColumns_triggered();
    void on_actionOrderEvents_triggered(bool checked);
    void on_actionClearEvents_triggered();
    void on_actionSaveEvents_triggered();
    void on_actionRefreshListPort_triggered();
    void on_tbLockOpen_clicked(bool checked);
    void on_tbLockUnblock_clicked();
    void on_tbDeviceOpen_clicked();
    void on_tbDeviceUnblock_clicked();
    void on_actionInfoDB_triggered();
    void on_actionSettingsDB_triggered();
    void on_actionPanelSettings_triggered();
    void on_actionExport_triggered();
    void on_actionImport_triggered();
    void on_actionGeneration_triggered();
    void on_actionClearDB_triggered();
    void on_actionImportDB_triggered();
    void on_actionExportDB_triggered();
    void on_actionRestoreSnapshot_triggered();
    bool clearDB();
    bool openDB(QString fileName);
    void removeRecentFile(QString fileName);
    void on_actionClearRecentFiles_triggered();
    void closeDB();
    // Opens database when it is not open and the export into its panel, to go on with it.
    void resumeExport(const QString& database);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createMenus();
    void wireEnabling();
    void onDatabaseClosed();
    WindowLayout storedLayout();

    Ui::QZelKorWindow* ui;
    bool m_busy = false;
    QSerialPortThread m_serialThread;
    DatabaseSession* m_database;
    QMenu* m_addMenu = nullptr;
    QMenu* m_treeMenu = nullptr;
    QMenu* m_findMenu = nullptr;
    QMenu* m_eventsMenu = nullptr;
    QMenu* m_alignMenu = nullptr;
    RecentFilesMenu* m_recent = nullptr;
    ConnectionStrip* m_strip = nullptr;
    MainWindowJournal* m_journal = nullptr;
    TreeEditing* m_tree = nullptr;
    EventsList* m_events = nullptr;
    ExportBreakNotice* m_breaks = nullptr;
    bool m_closing = false;
};
