#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

namespace Ui {
class QSubscriber;
}
class QLineEdit;
class QSqlDatabase;
class QTreeWidget;
class QTreeWidgetItem;

// Adds a subscriber to the open database or edits one, keeping the database tree in step.
class QSubscriber : public QDialog
{
    Q_OBJECT
public:
    // subscriberRow null: a new subscriber, proposed the lowest free number.
    QSubscriber(QWidget* parent, QSqlDatabase* db, QTreeWidget* tree,
                QTreeWidgetItem* subscriberRow);
    ~QSubscriber() override;

    static QSubscriber* create(QWidget* parent, QSqlDatabase* db, QTreeWidget* tree,
                               QTreeWidgetItem* subscriberRow);
    // Runs the dialog modally; true when the subscriber was saved.
    static bool exec(QWidget* parent, QSqlDatabase* db, QTreeWidget* tree,
                     QTreeWidgetItem* subscriberRow);

public slots:
    void on_pbCancel_clicked();
    void on_pbOk_clicked();

private:
    using QDialog::exec;

    QList<QLineEdit*> fieldEdits() const;
    QStringList fieldTexts() const;
    // The number in vId, or -1 when it holds none; reports what is wrong with it.
    int checkedNumber();
    bool save(int number);
    void updateTree(int number);

    Ui::QSubscriber* ui;
    QSqlDatabase* db;
    QTreeWidget* tree;
    QTreeWidgetItem* subscriberRow;
};
