#pragma once

#include <QObject>

#include <functional>

namespace Ui {
class QZelKorWindow;
}
namespace DatabaseFile {
struct Settings;
}
class DatabaseSession;
class QTreeWidgetItem;

// What the window does with the database tree and the search results: adding, editing and
// deleting subscribers and keys through their dialogs, searching, and going from a result to
// its row. Edit, delete and "go to" follow the selection.
class TreeEditing : public QObject
{
    Q_OBJECT
public:
    TreeEditing(Ui::QZelKorWindow* ui, DatabaseSession* database, QWidget* window);

    // Reads the open file into the tree again (in a pool thread); says why not in a box.
    void reload(const std::function<void(int)>& maximum, const std::function<void(int)>& value);
    // The open file's column titles and shown fields; the results go.
    void showSettings(const DatabaseFile::Settings& settings);
    // No file open: both lists empty, the tree's own columns back.
    void showClosed();
    // The file was emptied: both lists empty.
    void showCleared();

    // The actions after the tree's or the results' selection changed.
    void treeSelectionChanged();
    void foundSelectionChanged();

    void addSubscriber();
    // A new key for the selected subscriber, or for the owner of the selected key.
    void addKey();
    void editSelected();
    // Deletes the selected subscriber or key after asking.
    void deleteSelected();

    void search();
    // The results' column title names the column searched.
    void showSearchedColumn();
    // Selects the chosen result's row in the tree and edits it.
    void goToFound();

private:
    void selectionChanged();
    QTreeWidgetItem* selectedRow() const;
    void editSubscriber(QTreeWidgetItem* row);
    void editKey(QTreeWidgetItem* owner, QTreeWidgetItem* row);

    Ui::QZelKorWindow* ui;
    DatabaseSession* m_database;
    QWidget* m_window;
};
