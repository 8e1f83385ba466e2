#include "backgroundtask.h"

#include "qwaitdialog.h"
#include "workpool.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QPointer>
#include <QThreadPool>
#include <QWidget>
#include <QtConcurrent>

QRuntimeError runCancellableTask(QWidget* owner, CancelFlag& cancelFlag, const QString& processText,
                                 std::function<QRuntimeError()> task, bool showResult)
{
    Q_ASSERT(owner && task);
    registerRuntimeErrorType();
    cancelFlag.clear();

    QPointer<QWidget> guard(owner);
    QFutureWatcher<QRuntimeError> watcher;
    QPointer<QWaitDialog> wait = new QWaitDialog(processText, owner);
    // The owner's signals are emitted from the pool thread, hence queued.
    const bool wired = QObject::connect(owner, SIGNAL(setMaximum(int)), wait, SLOT(setMaximum(int)),
                                        Qt::QueuedConnection) &&
                       QObject::connect(owner, SIGNAL(setValue(int)), wait, SLOT(setValue(int)),
                                        Qt::QueuedConnection) &&
                       QObject::connect(wait, SIGNAL(cancel()), owner, SLOT(onCancel()));
    Q_ASSERT_X(wired, "runCancellableTask",
               "the owner needs the signals setMaximum(int) and setValue(int) and the slot "
               "onCancel()");
    QObject::connect(&watcher, &QFutureWatcher<QRuntimeError>::finished, wait,
                     &QWaitDialog::finish);

    // A task that ends before the dialog is up is still seen: the watcher delivers its
    // finished() through the event queue, which is served from the show() below on.
    watcher.setFuture(QtConcurrent::run(workPool(), std::move(task)));
    // Shown modally and waited for with a loop of our own rather than exec(): a splash-type
    // window may serve the event queue while it is being shown, and a finish() delivered then,
    // before exec() had entered its loop, would leave exec() waiting for ever.
    wait->setWindowModality(Qt::ApplicationModal);
    wait->show();
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QFutureWatcher<QRuntimeError>::finished, &loop,
                         &QEventLoop::quit);
        loop.exec();
    }
    delete wait;
    const QRuntimeError result = watcher.future().result();

    if (showResult && guard) {
        if (result.isSuccess())
            QMessageBox::information(owner, owner->windowTitle(), result.message, QMessageBox::Ok);
        else
            QMessageBox::critical(owner, owner->windowTitle(), result.message, QMessageBox::Ok);
    }
    return result;
}
