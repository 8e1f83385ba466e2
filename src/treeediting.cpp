#include "treeediting.h"

#include "databasefile.h"
#include "databasesession.h"
#include "qcard.h"
#include "qsubscriber.h"
#include "treefill.h"
#include "treerows.h"
#include "ui_qzelkorwindow.h"

#include <QMessageBox>

TreeEditing::TreeEditing(Ui::QZelKorWindow* form, DatabaseSession* database, QWidget* window)
    : QObject(window)
    , ui(form)
    , m_database(database)
    , m_window(window)
{
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
    connect(ui->actionExpandAll, &QAction::triggered, ui->treeView, &QTreeWidget::expandAll);
    connect(ui->actionCollapseAll, &QAction::triggered, ui->treeView, &QTreeWidget::collapseAll);
    ui->tbGotoOpenRec->setDefaultAction(ui->actionGotoOpenRec);
    ui->tbSearch->setDefaultAction(ui->actionSearch);
}

void TreeEditing::reload(const std::function<void(int)>& maximum,
                         const std::function<void(int)>& value)
{
    TreeFill::clearRows(ui->treeFind);
    const QList<QTreeWidgetItem*> oldRows = TreeFill::takeRows(ui->treeView);
    ui->treeView->setUpdatesEnabled(false);
    selectionChanged();
    const QString error = ui->treeView->load(oldRows, m_database->fileName(), maximum, value);
    if (!error.isEmpty())
        QMessageBox::critical(m_window, tr("Загрузка БД"), tr("Ошибка: %1.").arg(error));
    selectionChanged();
    ui->treeView->setUpdatesEnabled(true);
}

void TreeEditing::showSettings(const DatabaseFile::Settings& settings)
{
    TreeFill::clearRows(ui->treeFind);
    ui->cboxColumn->clear();
    ui->treeView->applySettings(settings, ui->cboxColumn);
}

void TreeEditing::showClosed()
{
    TreeFill::clearRows(ui->treeView);
    TreeFill::clearRows(ui->treeFind);
    ui->cboxColumn->clear();
    ui->treeView->restoreDefaultColumns();
}

void TreeEditing::showCleared()
{
    TreeFill::clearRows(ui->treeView);
    TreeFill::clearRows(ui->treeFind);
    selectionChanged();
}

void TreeEditing::selectionChanged()
{
    treeSelectionChanged();
    foundSelectionChanged();
}

QTreeWidgetItem* TreeEditing::selectedRow() const
{
    const QList<QTreeWidgetItem*> selected = ui->treeView->selectedItems();
    return selected.size() == 1 ? selected.first() : nullptr;
}

void TreeEditing::treeSelectionChanged()
{
    const bool one = ui->treeView->selectedItems().size() == 1;
    ui->actionEdit->setEnabled(one);
    ui->actionDel->setEnabled(one);
}

void TreeEditing::foundSelectionChanged()
{
    const QList<QTreeWidgetItem*> selected = ui->treeFind->selectedItems();
    ui->actionGotoOpenRec->setEnabled(selected.size() == 1 && m_database->isOpen());
    if (selected.size() == 1)
        ui->treeView->setCurrentItem(TreeRow::foundRow(selected.first()));
}

void TreeEditing::addSubscriber()
{
    editSubscriber(nullptr);
}

void TreeEditing::addKey()
{
    QTreeWidgetItem* row = selectedRow();
    if (row)
        editKey(TreeRow::isKey(row) ? row->parent() : row, nullptr);
}

void TreeEditing::editSelected()
{
    QTreeWidgetItem* row = selectedRow();
    if (!row)
        return;
    if (TreeRow::isKey(row))
        editKey(row->parent(), row);
    else
        editSubscriber(row);
}

void TreeEditing::editSubscriber(QTreeWidgetItem* row)
{
    QSubscriber::exec(m_window, m_database->database(), ui->treeView, row);
}

void TreeEditing::editKey(QTreeWidgetItem* owner, QTreeWidgetItem* row)
{
    QCard::exec(m_window, m_database->database(), m_database->keyFormat(), ui->treeView, owner,
                row);
}

void TreeEditing::deleteSelected()
{
    QTreeWidgetItem* row = selectedRow();
    if (!row)
        return;
    const bool key = TreeRow::isKey(row);
    const int subscriber = TreeRow::subscriberNumber(row);
    const QString question = key ? tr("Удалить ключ '%1' ?").arg(row->text(TreeRow::Key))
                                 : tr("Удалить абонента '%1' ?").arg(subscriber);
    if (QMessageBox::question(m_window, ui->actionDel->text(), question,
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::NoButton) != QMessageBox::Yes)
        return;
    QSqlDatabase& db = *m_database->database();
    const QString error = key ? DatabaseFile::deleteKey(db, TreeRow::keyCode(row), subscriber)
                              : DatabaseFile::deleteSubscriber(db, subscriber);
    if (!error.isEmpty()) {
        QMessageBox::critical(m_window, ui->actionDel->text(), error);
        return;
    }
    TreeFill::removeFoundRows(ui->treeFind, row);
    delete row;
}

void TreeEditing::search()
{
    TreeFill::showFoundRows(ui->treeFind, ui->treeView, ui->leCondition->text(),
                            TreeFill::searchTypeFlags(ui->cboxTypeFind->currentIndex()),
                            ui->cboxColumn->currentData().toInt());
    foundSelectionChanged();
}

void TreeEditing::showSearchedColumn()
{
    ui->treeFind->headerItem()->setText(
        2, tr("Поиск по столбцу '%1'").arg(ui->cboxColumn->currentText()));
}

void TreeEditing::goToFound()
{
    const QList<QTreeWidgetItem*> selected = ui->treeFind->selectedItems();
    if (selected.size() != 1)
        return;
    ui->treeView->setCurrentItem(TreeRow::foundRow(selected.first()));
    ui->actionEdit->trigger();
}
