#include "qwaitdialog.h"

#include "ui_qwaitdialog.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMessageBox>

// A splash-type window with only a title: no close or minimise buttons, since only the
// task's end closes the dialog.
QWaitDialog::QWaitDialog(const QString& text, QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::WindowTitleHint)
    , ui(new Ui::QWaitDialog)
{
    ui->setupUi(this);
    if (!text.isEmpty()) {
        ui->lProgress->setText(text);
        // A long text wraps onto more lines than the usual height holds.
        resize(width(), qMax(height(), layout()->totalHeightForWidth(width())));
    }
}

QWaitDialog::~QWaitDialog()
{
    delete ui;
}

void QWaitDialog::setCancellable(bool cancellable)
{
    ui->pbCancel->setEnabled(cancellable);
    ui->pbCancel->setVisible(cancellable);
}

void QWaitDialog::on_pbCancel_clicked()
{
    reject();
}

void QWaitDialog::setMaximum(int value)
{
    // A maximum of 0 (with the minimum at 0) makes the bar show as busy.
    ui->progressBar->setMaximum(value);
}

void QWaitDialog::setValue(int value)
{
    ui->progressBar->setValue(value);
}

void QWaitDialog::finish()
{
    m_finished = true;
    accept();
}

void QWaitDialog::reject()
{
    // Escape comes here too; once a cancel is requested there is nothing more to ask.
    if (!ui->pbCancel->isEnabled())
        return;
    const auto answer = QMessageBox::question(
        this, windowTitle(), tr("Вы действительно хотите прервать выполнение операции?"),
        QMessageBox::Yes | QMessageBox::No);
    // The task may have ended while the question was up; then there is nothing to cancel.
    if (answer != QMessageBox::Yes || m_finished)
        return;
    ui->pbCancel->setEnabled(false);
    emit cancel();
}

void QWaitDialog::closeEvent(QCloseEvent* event)
{
    // QDialog's own handler would turn a close into reject() and ask the cancel question; the
    // window manager's close is simply refused while the task runs.
    if (m_finished)
        event->accept();
    else
        event->ignore();
}
