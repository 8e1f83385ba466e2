#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the modal boxes and dialogs a test provokes. It polls the active modal widget every
// few milliseconds until a new one appears, records its title and text, and applies the next
// queued answer; a single timer shot could race and answer the wrong box. A modal widget that
// is already up when the answerer is made is left alone.
//
// No test hangs on a box: one that stays up unanswered for five seconds fails the running test,
// named by its title and text, and is rejected. That is every new modal widget while an
// answerer lives (it has no answer left for it), and a message box or file dialog while none
// does; a wait dialog, which its task closes, is left to its task.
class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    struct Seen
    {
        QString className;
        QString title;
        QString text; // the message of a message box; empty for other dialogs
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };

    explicit ModalAnswerer(QObject* parent = nullptr);
    ~ModalAnswerer() override;

    // Starts failing the boxes nobody answers; prepareGuiTest() does it for every widget test.
    static void watchUnanswered();

    // Queued answers, used in order for the boxes that appear.
    void press(QMessageBox::StandardButton button);
    void chooseFile(const QString& path); // a file dialog: select path and accept
    void cancelDialog();                  // any dialog: reject it
    void handle(std::function<void(QWidget*)> answer);
    // Modal widgets of this class are neither recorded nor answered (a wait dialog that a quick
    // task may or may not show).
    void ignore(const QString& className);

    // Waits until count boxes in all have been answered.
    bool waitForAnswered(int count, int timeoutMs = 5000);
    int pending() const { return m_answers.size(); }

    QList<Seen> seen;

private:
    void poll();

    QTimer m_timer;
    QList<std::function<void(QWidget*)>> m_answers;
    QStringList m_ignored;
};
