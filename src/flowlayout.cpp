#include "flowlayout.h"

#include <QWidget>

#include <algorithm>

FlowLayout::FlowLayout(QWidget* parent)
    : QLayout(parent)
{}

FlowLayout::~FlowLayout()
{
    qDeleteAll(m_items);
}

void FlowLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
}

QLayoutItem* FlowLayout::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

int FlowLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::minimumSize() const
{
    QSize size;
    for (const QLayoutItem* item : m_items)
        if (!item->isEmpty())
            size = size.expandedTo(item->sizeHint());
    const QMargins margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize FlowLayout::sizeHint() const
{
    int width = 0;
    int height = 0;
    for (const QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        width += (width > 0 ? spacing() : 0) + item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
    }
    const QMargins margins = contentsMargins();
    return {width + margins.left() + margins.right(), height + margins.top() + margins.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlowLayout::arrange(const QRect& rect, bool place) const
{
    const QMargins margins = contentsMargins();
    const QRect area = rect.marginsRemoved(margins);
    const int gap = std::max(spacing(), 0);
    QList<QLayoutItem*> shown;
    for (QLayoutItem* item : m_items)
        if (!item->isEmpty())
            shown.append(item);
    int top = area.top();
    for (int first = 0; first < shown.size();) {
        // One row: as many items as fit, at least one.
        int last = first;
        int width = shown.at(first)->sizeHint().width();
        int height = shown.at(first)->sizeHint().height();
        while (last + 1 < shown.size() &&
               width + gap + shown.at(last + 1)->sizeHint().width() <= area.width()) {
            ++last;
            width += gap + shown.at(last)->sizeHint().width();
            height = std::max(height, shown.at(last)->sizeHint().height());
        }
        int left = area.left();
        for (int i = first; place && i <= last; ++i) {
            const QSize size = shown.at(i)->sizeHint();
            shown.at(i)->setGeometry(QRect(QPoint(left, top + (height - size.height()) / 2), size));
            left += size.width() + gap;
        }
        first = last + 1;
        top += height + (first < shown.size() ? gap : 0);
    }
    return top - area.top() + margins.top() + margins.bottom();
}
