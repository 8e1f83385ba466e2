#include "treefill.h"

#include "mytreewidgetitem.h"
#include "treerows.h"
#include "workpool.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QRegularExpression>
#include <QThreadPool>
#include <QTreeWidget>

#include <algorithm>

namespace TreeFill {

namespace {

void sortList(QList<QTreeWidgetItem*>* rows, int column, Qt::SortOrder order)
{
    // Stable, as the tree's own sort, so that equal rows keep the order they came in.
    if (order == Qt::AscendingOrder)
        std::stable_sort(rows->begin(), rows->end(),
                         [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                             return MyTreeWidgetItem::lessThan(*a, *b, column);
                         });
    else
        std::stable_sort(rows->begin(), rows->end(),
                         [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                             return MyTreeWidgetItem::lessThan(*b, *a, column);
                         });
}

class Matcher
{
public:
    Matcher(const QString& condition, Qt::MatchFlags flags)
        : m_condition(condition)
        , m_type(flags & 0x0F)
        , m_case(flags & Qt::MatchCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive)
        , m_regExp(wholeText(condition, m_case))
        , m_valid(m_regExp.isValid())
    {}

    bool matches(const QString& text)
    {
        switch (m_type) {
        case RegExpMatch:
            return m_valid && m_regExp.match(text).hasMatch();
        case Qt::MatchStartsWith:
            return text.startsWith(m_condition, m_case);
        case Qt::MatchEndsWith:
            return text.endsWith(m_condition, m_case);
        default:
            return text.contains(m_condition, m_case);
        }
    }

private:
    // Qt::MatchRegExp of Qt 5, spelt out because Qt 6 has no such name.
    static constexpr uint RegExpMatch = 4;

    // The pattern as the item views of Qt 5 took it (QRegExp): matching the whole text, "."
    // matching any character, \w, \d and \s those of Unicode.
    static QRegularExpression wholeText(const QString& pattern, Qt::CaseSensitivity cs)
    {
        QRegularExpression::PatternOptions options =
            QRegularExpression::DotMatchesEverythingOption |
            QRegularExpression::UseUnicodePropertiesOption;
        if (cs == Qt::CaseInsensitive)
            options |= QRegularExpression::CaseInsensitiveOption;
        return QRegularExpression(QRegularExpression::anchoredPattern(pattern), options);
    }

    QString m_condition;
    uint m_type;
    Qt::CaseSensitivity m_case;
    QRegularExpression m_regExp;
    bool m_valid;
};

void collect(const QTreeWidgetItem* parent, int column, bool recursive, Matcher* matcher,
             QList<QTreeWidgetItem*>* found)
{
    for (int i = 0; i < parent->childCount(); ++i) {
        QTreeWidgetItem* row = parent->child(i);
        if (matcher->matches(row->text(column)))
            found->append(row);
        if (recursive)
            collect(row, column, recursive, matcher, found);
    }
}

} // namespace

void sortRows(QList<QTreeWidgetItem*>* rows, int column, Qt::SortOrder order)
{
    sortList(rows, column, order);
    for (QTreeWidgetItem* row : qAsConst(*rows)) {
        if (row->childCount() < 2)
            continue;
        QList<QTreeWidgetItem*> children = row->takeChildren();
        sortList(&children, column, order);
        row->addChildren(children);
    }
}

void addRows(QTreeWidget* tree, const QList<QTreeWidgetItem*>& rows, Events events)
{
    const bool sorting = tree->isSortingEnabled();
    tree->setSortingEnabled(false);
    tree->addTopLevelItems(rows);
    if (events == Events::BetweenSteps)
        QCoreApplication::processEvents();
    // Switching sorting back on sorts by the header's column and order, which it kept.
    tree->setSortingEnabled(sorting);
    if (events == Events::BetweenSteps)
        QCoreApplication::processEvents();
}

QList<QTreeWidgetItem*> takeRows(QTreeWidget* tree)
{
    return tree->invisibleRootItem()->takeChildren();
}

void clearRows(QTreeWidget* tree)
{
    const QList<QTreeWidgetItem*> rows = takeRows(tree);
    if (rows.isEmpty())
        return;
    // Taken rows belong to no tree any more: nothing else refers to them.
    workPool()->start([rows] { qDeleteAll(rows); });
}

QList<QTreeWidgetItem*> findRows(const QTreeWidget* tree, const QString& condition,
                                 Qt::MatchFlags flags, int column)
{
    QList<QTreeWidgetItem*> found;
    Matcher matcher(condition, flags);
    collect(tree->invisibleRootItem(), column, flags & Qt::MatchRecursive, &matcher, &found);
    return found;
}

Qt::MatchFlags searchTypeFlags(int type)
{
    static const int flags[] = {0x61, 0x62, 0x63, 0x64};
    return Qt::MatchFlags(flags[type >= 0 && type < 4 ? type : 0]);
}

void showFoundRows(QTreeWidget* results, const QTreeWidget* tree, const QString& condition,
                   Qt::MatchFlags flags, int column)
{
    clearRows(results);
    results->setUpdatesEnabled(false);
    const QList<QTreeWidgetItem*> found = findRows(tree, condition, flags, column);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(found.size());
    for (QTreeWidgetItem* row : found)
        rows.append(TreeRow::newFoundRow(row, column));
    addRows(results, rows);
    results->setUpdatesEnabled(true);
}

void removeFoundRows(QTreeWidget* results, const QTreeWidgetItem* row)
{
    for (int i = results->topLevelItemCount() - 1; i >= 0; --i) {
        const QTreeWidgetItem* found = TreeRow::foundRow(results->topLevelItem(i));
        if (found == row || found->parent() == row)
            delete results->topLevelItem(i);
    }
}

} // namespace TreeFill
