#pragma once

#include "qserialporterror.h"

#include <QDialog>
#include <QVariantMap>

namespace Ui {
class QPanelSettings;
}
class QPacket;
class QSerialPortThread;
class QSqlDatabase;

// Edits the panel settings of the database's system row and saves them to the database, or to
// the database and the panel.
class QPanelSettings : public QDialog
{
    Q_OBJECT
public:
    // Without a thread the caller connects the request signals itself.
    QPanelSettings(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread);
    ~QPanelSettings() override;

    // A dialog whose requests go to the serial worker.
    static QPanelSettings* create(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread);
    // Runs the dialog modally; true when it ended accepted.
    static bool exec(QWidget* parent, QSqlDatabase* db, QSerialPortThread* thread);

    void reject() override;

signals:
    void cancel();
    void sendPacket(QPacket* packet);

public slots:
    void onHandleEvent(QSerialPortError error, QString errorString, QByteArray data);
    void on_pbCancel_clicked();
    void on_pbSave_clicked();
    void on_pbSaveWrite_clicked();
    void on_cbox_type_lock_currentIndexChanged(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using QDialog::exec;

    void load();
    bool saveToDB();
    void onLinkClosed();
    // The widget that shows a column: a check box, combo box, spin box or line edit.
    QWidget* widgetOf(const QString& column) const;
    // Every column's value as the form shows it.
    QVariantMap formValues() const;

    Ui::QPanelSettings* ui;
    QSqlDatabase* db;
    QSerialPortThread* thread;
    bool closeRequested = false;
    bool waiting = false;
};
