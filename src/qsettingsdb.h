#pragma once

#include <QDialog>

namespace Ui {
class QSettingsDB;
}
class QCheckBox;
class QLineEdit;
class QSqlDatabase;

// Edits the database's own settings: titles and visibility of the ten extra fields and the
// key format proposed for new keys, all kept in the system row.
class QSettingsDB : public QDialog
{
    Q_OBJECT
public:
    explicit QSettingsDB(QWidget* parent = nullptr, QSqlDatabase* db = nullptr);
    ~QSettingsDB() override;

    // A dialog loaded from the open database.
    static QSettingsDB* create(QWidget* parent, QSqlDatabase* db);
    // Runs the dialog modally; true when the settings were saved.
    static bool exec(QWidget* parent, QSqlDatabase* db);

public slots:
    void on_pbSave_clicked();

private:
    using QDialog::exec;

    static constexpr int FieldCount = 10;

    void load();
    QCheckBox* fieldBox(int n) const;
    QLineEdit* fieldEdit(int n) const;

    Ui::QSettingsDB* ui;
    QSqlDatabase* db;
};
