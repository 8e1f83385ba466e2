#include "windowshortcuts.h"

#include "ui_qzelkorwindow.h"

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QPair>
#include <QShortcut>

void WindowShortcuts::install(Ui::QZelKorWindow* ui, QWidget* central)
{
    const QList<QPair<QAction*, QKeySequence>> keys = {
        {ui->actionNewDB, QKeySequence(Qt::CTRL | Qt::Key_N)},
        {ui->actionOpenDB, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {ui->actionCloseDB, QKeySequence(Qt::CTRL | Qt::Key_W)},
        {ui->actionExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {ui->actionRefreshDB, QKeySequence(Qt::Key_F5)},
        {ui->actionAddSubscriber, QKeySequence(Qt::Key_Insert)},
    };
    for (const auto& key : keys) {
        key.first->setShortcut(key.second);
        // Reachable wherever the focus is in the window, also for actions kept in popups, but
        // not while a database task has the central widget disabled, as the menus are then.
        central->addAction(key.first);
    }
    // Delete acts on the database tree's row: only while its button is in view, not while the
    // events are shown.
    ui->actionDel->setShortcut(QKeySequence(Qt::Key_Delete));

    QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), central),
                     &QShortcut::activated, central, [ui] {
                         if (!ui->actionShowFind->isChecked())
                             ui->actionShowFind->trigger();
                         ui->leCondition->setFocus(Qt::ShortcutFocusReason);
                         ui->leCondition->selectAll();
                     });
    // Return on a row does what a double click does.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        QObject::connect(
            new QShortcut(QKeySequence(key), ui->treeView, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, ui->actionEdit, &QAction::trigger);
        QObject::connect(
            new QShortcut(QKeySequence(key), ui->treeFind, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, ui->actionGotoOpenRec, &QAction::trigger);
    }
}
