#pragma once

#include <QDialog>

namespace Ui {
class QWaitDialog;
}

// The modal face of a cancellable background task: a label, a progress bar fed by the task's
// owner and a cancel button. Only the task's end (finish) closes it; the user can ask for a
// cancel, which the task honours at its next check point.
class QWaitDialog : public QDialog
{
    Q_OBJECT
public:
    // A non-empty text replaces the default process label.
    explicit QWaitDialog(const QString& text, QWidget* parent = nullptr);
    ~QWaitDialog() override;

    bool isFinished() const { return m_finished; }
    // For work that cannot be stopped: no cancel button, and Escape asks nothing.
    void setCancellable(bool cancellable);

    void reject() override;

signals:
    void cancel();

public slots:
    void on_pbCancel_clicked();
    void setMaximum(int value);
    void setValue(int value);
    void finish();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Ui::QWaitDialog* ui;
    bool m_finished = false;
};
