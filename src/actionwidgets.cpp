#include "actionwidgets.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>

namespace ActionWidgets {

void mirror(QAbstractButton* button, QAction* action)
{
    auto update = [button, action] {
        button->setText(action->text());
        button->setIcon(action->icon());
        button->setToolTip(action->toolTip());
        button->setEnabled(action->isEnabled());
    };
    update();
    QObject::connect(action, &QAction::changed, button, update);
    QObject::connect(button, &QAbstractButton::clicked, action, [action] { action->trigger(); });
}

QMenu* newMenu(QWidget* parent, const QList<QAction*>& actions)
{
    auto* menu = new QMenu(parent);
    for (QAction* action : actions) {
        if (action)
            menu->addAction(action);
        else
            menu->addSeparator();
    }
    return menu;
}

} // namespace ActionWidgets
