#pragma once

#include "paneldialog.h"
#include "qserialporterror.h"

#include <QVariantMap>

namespace Ui {
class QPanelSettings;
}
class QSqlDatabase;

// Edits the panel settings of the database's system row and saves them to the database, or to
// the database and the panel.
class QPanelSettings : public PanelDialogOf<QPanelSettings>
{
    Q_OBJECT
public:
    // Without a worker the caller connects the request signals itself.
    QPanelSettings(QWidget* parent, QSqlDatabase* db, QSerialPortThread* worker);
    ~QPanelSettings() override;

public slots:
    void onHandleEvent(QSerialPortError error, QString errorString, QByteArray data);
    void on_pbCancel_clicked();
    void on_pbSave_clicked();
    void on_pbSaveWrite_clicked();
    void on_cbox_type_lock_currentIndexChanged(int index);

protected:
    // The settings are on their way to the panel; the dialog closes when they have arrived.
    bool isBusy() const override { return m_waiting; }

private:
    void load();
    bool saveToDB();
    void onLinkClosed();
    // The widget that shows a column: a check box, combo box, spin box or line edit.
    QWidget* widgetOf(const QString& column) const;
    // Every column's value as the form shows it.
    QVariantMap formValues() const;

    Ui::QPanelSettings* ui;
    QSqlDatabase* m_db;
    bool m_waiting = false;
};
