#pragma once

#include "qserialporterror.h"

#include <QDialog>
#include <QScopedPointer>

#include <functional>

class PanelChain;
class QLabel;
class QPacket;
class QSerialPortThread;

// A dialog that talks to the panel. Its requests leave through its own signals: to the serial
// worker it was made for, directly (see requesterwiring.h), or to whoever connects them when it
// was made without one. The chains it runs pass their requests on through it. A close asked for
// while something is under way waits for that to end. While the link is down and its port is
// being opened again, the dialog says so itself: the window behind it is blocked.
class PanelDialog : public QDialog
{
    Q_OBJECT
public:
    // Escape follows the rule of the close box.
    void reject() override;
    // Says over parent, before the dialog is shown, why it cannot do its work (refusal());
    // true then.
    bool refusesToOpen(QWidget* parent);

signals:
    void startEvents(const bool& value);
    void cancel();
    void sendPacket(QPacket* packet);

protected:
    PanelDialog(QWidget* parent, QSerialPortThread* worker);

    // Why the dialog cannot do its work at all, said before it opens; empty when it can.
    virtual QString refusal() const { return {}; }

    // The worker the dialog was made for; nullptr when the caller wires the signals itself.
    QSerialPortThread* worker() const { return m_worker; }
    // True unless the dialog's worker has stopped.
    bool hasLink() const;
    // Says "Требуется подключение к панели." (or, while the port is being opened again, why
    // the link is down) when the worker has stopped; true when it runs.
    bool requireLink();
    // Runs then as soon as the panel answers: at once when it does, else, while the port is
    // kept open, when it answers again, meanwhile saying "Ожидание связи с панелью…". False,
    // after requireLink()'s message, when nothing can be waited for.
    bool whenLinkAnswers(std::function<void()> then);
    bool isAwaitingLink() const { return bool(m_awaited); }
    // Stops waiting for the link; then is not run.
    void stopAwaitingLink();
    // Passes chain's requests on through this dialog and tells it when the worker stops.
    void attach(PanelChain* chain);

    // True while a request or a task is under way, when a close has to wait.
    virtual bool isBusy() const = 0;
    // A close asked for while busy; the dialog closes when what runs has ended (leaveIfAsked).
    virtual void requestClose() {}
    // Ends the dialog when nothing is under way.
    virtual void leave();
    // Ends the dialog when a close was asked for while it was busy; true when it did.
    bool leaveIfAsked();
    bool closeRequested() const { return m_closeRequested; }
    // A new operation starts: an earlier close request no longer counts.
    void forgetCloseRequest() { m_closeRequested = false; }

    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void askToClose();
    void showLinkNote();
    void onLinkAnswer(QSerialPortError error);

    QSerialPortThread* m_worker;
    QLabel* m_linkNote = nullptr;
    std::function<void()> m_awaited;
    bool m_closeRequested = false;
};

// The openers every panel dialog has: made on a worker, or run modally on it.
template<typename Dialog>
class PanelDialogOf : public PanelDialog
{
public:
    // A dialog whose requests go to the serial worker among args.
    template<typename... Args>
    static Dialog* create(QWidget* parent, Args... args)
    {
        return new Dialog(parent, args...);
    }
    // Runs the dialog modally; true when it ended accepted.
    template<typename... Args>
    static bool exec(QWidget* parent, Args... args)
    {
        QScopedPointer<Dialog> dialog(create(parent, args...));
        if (dialog->refusesToOpen(parent))
            return false;
        return dialog->QDialog::exec() == QDialog::Accepted;
    }

protected:
    using PanelDialog::PanelDialog;

private:
    // Only the static opener runs a panel dialog.
    using QDialog::exec;
};
