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
            auto* row = TreeRow::newSubscriber(number, "A" + QString::number(number), {}, {});
            TreeRow::newKey(row, number, 2, QString::number(number * 11), {});
            tree->addTopLevelItem(row);
        }
        tree->setSortingEnabled(true);
        tree->sortByColumn(0, Qt::AscendingOrder);
        // The same rows in the same order as the item views' search, for the four search types.
        for (const int flags : {0x61, 0x62, 0x63, 0x64})
            for (const QString condition : {"", "1", "a1", "2$", "1.", "(1"})
                for (const int column : {0, 1, 2})
                    QCOMPARE(
                        TreeFill::findRows(tree.data(), condition, Qt::MatchFlags(flags), column),
                        tree->findItems(condition, Qt::MatchFlags(flags), column));
        // A row whose text changes moves to its new place, by number and by text.
        tree->topLevelItem(0)->setText(0, "20");
        QCOMPARE(tree->topLevelItem(2)->text(0), QString("20"));
        tree->sortByColumn(2, Qt::AscendingOrder);
        tree->topLevelItem(0)->setText(2, "b");
        QCOMPARE(tree->topLevelItem(2)->text(2), QString("b"));
    }
};

QTEST_MAIN(TestTreeFill)
#include "tst_treefill.moc"
