#include "mytreewidgetitem.h"
#include "testsupport.h"
#include "treefill.h"
#include "treerows.h"

// The big lists' own search and sorting, against the item views' search and the tree's order.
class TestTreeFill : public QObject
{
    Q_OBJECT

private slots:
    void searchAndOrderFollowTheRows()
    {
        QScopedPointer<QTreeWidget> tree(newDatabaseTree());
        for (int number : {10, 2, 3}) {
            const QString letter = number == 3 ? "Я" : "A";
            auto* row = TreeRow::newSubscriber(number, letter + QString::number(number), {}, {});
            TreeRow::newKey(row, number, 2, QString::number(number * 11), {});
            tree->addTopLevelItem(row);
        }
        tree->setSortingEnabled(true);
        tree->sortByColumn(0, Qt::AscendingOrder);
        // The same rows in the same order as the item views' search, for the three text types.
        for (const int flags : {0x61, 0x62, 0x63})
            for (const QString condition : {"", "1", "a1", "я3", "2$"})
                for (const int column : {0, 1, 2})
                    QCOMPARE(
                        TreeFill::findRows(tree.data(), condition, Qt::MatchFlags(flags), column),
                        tree->findItems(condition, Qt::MatchFlags(flags), column));
        // Regular expressions as Qt 5's item views took them: the whole text, any case, Unicode
        // classes; an invalid one finds nothing. Subscriber and key rows show the apartment.
        const QList<QPair<QString, QStringList>> expressions = {
            {"a\\d", {"A2", "A2"}},
            {"я\\d", {"Я3", "Я3"}},
            {"\\w3", {"Я3", "Я3"}},
            {"A1", {}},
            {"(1", {}},
            {".*0|[^0-9]3", {"Я3", "Я3", "A10", "A10"}}};
        for (const auto& [pattern, apartments] : expressions) {
            QStringList found;
            for (const QTreeWidgetItem* row :
                 TreeFill::findRows(tree.data(), pattern, Qt::MatchFlags(0x64), 2))
                found << row->text(2);
            QCOMPARE(found, apartments);
        }
        // A row whose text changes moves to its new place, by number and by text.
        tree->topLevelItem(0)->setText(0, "20");
        QCOMPARE(tree->topLevelItem(2)->text(0), QString("20"));
        tree->sortByColumn(2, Qt::AscendingOrder);
        tree->topLevelItem(0)->setText(2, "яя");
        QCOMPARE(tree->topLevelItem(2)->text(2), QString("яя"));
    }
};

QTEST_MAIN(TestTreeFill)
#include "tst_treefill.moc"
