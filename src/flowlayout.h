#pragma once

#include <QLayout>
#include <QList>

// Lines its items up left to right and starts a new row where the next item would not fit,
// so that a strip of controls folds when its window is narrow instead of forcing the window
// wider or clipping a control. Every item keeps its preferred size; a row is as high as its
// highest item, and the others are centred on it.
class FlowLayout : public QLayout
{
    Q_OBJECT
public:
    explicit FlowLayout(QWidget* parent = nullptr);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return m_items.size(); }
    QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    // As wide as the widest item, since the others can go onto further rows.
    QSize minimumSize() const override;
    // Every item on one row.
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in rect if asked; returns the height they take.
    int arrange(const QRect& rect, bool place) const;

    QList<QLayoutItem*> m_items;
};
