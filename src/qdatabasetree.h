#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTreeWidget>

#include <functional>

class QComboBox;
namespace DatabaseFile {
struct Settings;
}

// The database tree of the main window: a top-level row per subscriber with its keys as child
// rows. It loads its rows from a database file, applies the database's column settings and
// returns to the form's columns when the database closes.
//
// Subscribers are the top level and stand on their own: they get an expand mark when they have
// keys and no branch lines, so that a subscriber without keys does not look like a child of the
// row above. Keys keep their connectors.
class QDatabaseTree : public QTreeWidget
{
    Q_OBJECT
public:
    using QTreeWidget::QTreeWidget;

    // Remembers the header as it is now (the form's titles, widths and sort order) for
    // restoreDefaultColumns.
    void keepDefaultColumns();
    void restoreDefaultColumns();

    // Titles and shows or hides the extra-field columns as the database's settings say, and
    // fills searchColumns with the searchable columns: title, and column number as item data.
    void applySettings(const DatabaseFile::Settings& settings, QComboBox* searchColumns);

    // Fills the tree with the rows of databaseFile, read, built and sorted in a pool thread on a
    // connection of its own while the event loop runs. oldRows, taken out of the tree before,
    // are deleted there first, so that two trees are never held at once. Progress goes out
    // through the two callbacks, from the pool thread. Empty, or the database's error text.
    QString load(const QList<QTreeWidgetItem*>& oldRows, const QString& databaseFile,
                 const std::function<void(int)>& setMaximum,
                 const std::function<void(int)>& setValue);

protected:
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;

private:
    QByteArray m_defaultHeaderGeometry;
    QByteArray m_defaultHeaderState;
    QStringList m_defaultTitles;
};
