#include "compactionwait.h"

#include "databasecompaction.h"
#include "qwaitdialog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopedPointer>
#include <QTimer>

namespace {

// A shorter wait passes unnoticed; a dialog flashed up for it would only distract.
constexpr int DialogDelayMs = 500;

} // namespace

void waitForCompaction(DatabaseCompaction& compaction, QWidget* parent)
{
    if (!compaction.isRunning())
        return;
    QEventLoop loop;
    QObject::connect(&compaction, &DatabaseCompaction::finished, &loop, &QEventLoop::quit);
    QScopedPointer<QWaitDialog> dialog;
    QTimer delay;
    delay.setSingleShot(true);
    QObject::connect(&delay, &QTimer::timeout, [&dialog, parent] {
        dialog.reset(new QWaitDialog(
            QCoreApplication::translate("QZelKorWindow", "Сжатие файла БД"), parent));
        dialog->setCancellable(false);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->show();
    });
    delay.start(DialogDelayMs);
    // The finished() of a compaction that ends now is still queued, so the loop sees it.
    if (compaction.isRunning())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}
