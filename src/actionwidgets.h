#pragma once

#include <QList>

class QAbstractButton;
class QAction;
class QMenu;
class QWidget;

// Widgets built on actions, so that a control and a menu entry never disagree.
namespace ActionWidgets {

// A button that stands for an action: same text, icon, tool tip and enabled state, and a
// click triggers it; for buttons that cannot take a default action.
void mirror(QAbstractButton* button, QAction* action);

// A popup menu of the actions, a null one standing for a separator.
QMenu* newMenu(QWidget* parent, const QList<QAction*>& actions);

} // namespace ActionWidgets
