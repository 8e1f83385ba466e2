#pragma once

class QWidget;
namespace Ui {
class QZelKorWindow;
}

// The keyboard of the main window: the usual keys of a desktop program on its actions (which
// keep their texts), Ctrl+F into the search, Return on a row as a double click.
namespace WindowShortcuts {
// central is the window's central widget: the keys rest while a database task disables it.
void install(Ui::QZelKorWindow* ui, QWidget* central);
} // namespace WindowShortcuts
