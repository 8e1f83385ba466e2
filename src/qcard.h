#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class QCard;
}
class QSqlDatabase;
class QTreeWidget;
class QTreeWidgetItem;

// Adds a key to a subscriber or edits one, and keeps the database tree in step without
// reloading it.
class QCard : public QDialog
{
    Q_OBJECT
public:
    // keyRow is null for a new key of ownerRow.
    QCard(QSqlDatabase* db, int defaultFormat, QTreeWidget* tree, QTreeWidgetItem* ownerRow,
          QTreeWidgetItem* keyRow, QWidget* parent = nullptr);
    ~QCard() override;

    static QCard* create(QWidget* parent, QSqlDatabase* db, int defaultFormat, QTreeWidget* tree,
                         QTreeWidgetItem* ownerRow, QTreeWidgetItem* keyRow);
    // Runs the dialog modally; parent is the main window, whose event stream key capture uses.
    static void exec(QWidget* parent, QSqlDatabase* db, int defaultFormat, QTreeWidget* tree,
                     QTreeWidgetItem* ownerRow, QTreeWidgetItem* keyRow);

public slots:
    void on_sendCard(uint card);
    void on_cbType_currentIndexChanged(int index);
    void on_vCard_textChanged(QString arg1);
    void on_pbOk_clicked();
    void on_pbCancel_clicked();
    void on_cbSubscriber_toggled(bool checked);
    void on_toolButton_clicked();

private:
    using QDialog::exec;

    void reserveHintHeight();
    void fillSubscribers();
    void selectSubscriber(const QTreeWidgetItem* row);
    void selectFormat(int format);
    QTreeWidgetItem* selectedOwner() const;
    QStringList fields() const;
    void setFields(const QStringList& fields);
    // Checks the key text of the selected format; false after telling the user why.
    bool checkKey();
    void refuse(const QString& message);
    void updateTree(QTreeWidgetItem* owner);

    Ui::QCard* ui;
    QSqlDatabase* m_db;
    QTreeWidget* m_tree;
    QTreeWidgetItem* m_owner;
    QTreeWidgetItem* m_keyRow;
    uint m_card = 0;
};
