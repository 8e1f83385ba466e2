#pragma once

#include <QDialog>

namespace Ui {
class QInfoDB;
}
class QSqlDatabase;

// Shows the open database's file, its size and how many subscribers, keys, apartments and
// phones it holds.
class QInfoDB : public QDialog
{
    Q_OBJECT
public:
    explicit QInfoDB(QWidget* parent = nullptr, QSqlDatabase* db = nullptr);
    ~QInfoDB() override;

    // A dialog filled from the open database.
    static QInfoDB* create(QWidget* parent, QSqlDatabase* db);
    // Runs the dialog modally.
    static void exec(QWidget* parent, QSqlDatabase* db);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    using QDialog::exec;

    void fitHeight(int width);

    void load(QSqlDatabase* db);

    Ui::QInfoDB* ui;
};
