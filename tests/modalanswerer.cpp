#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

namespace {

constexpr int UnansweredLimitMs = 5000;

// What the answerers share: the modal widgets taken care of (answered, or up before an answerer
// was made and so the test's own) and the answerers alive. Deleted widgets turn null, so a new
// box at a reused address still counts as new.
struct Answerers
{
    QList<QPointer<QWidget>> taken;
    QList<const ModalAnswerer*> alive;
    QPointer<QWidget> unanswered; // the modal widget nobody has taken yet, and since when
    QElapsedTimer since;
};

Answerers& answerers()
{
    static Answerers shared;
    return shared;
}

bool isTaken(const QWidget* widget)
{
    for (const QPointer<QWidget>& taken : qAsConst(answerers().taken))
        if (taken == widget)
            return true;
    return false;
}

QString className(const QWidget* widget)
{
    return QString::fromLatin1(widget->metaObject()->className());
}

// Whether the widget waits for the user: a wait dialog is closed by its task, and without an
// answerer only boxes count, since the dialog under test may be modal too.
bool waitsForAnswer(const QWidget* widget, bool ignored)
{
    if (ignored || className(widget) == QLatin1String("QWaitDialog"))
        return false;
    return !answerers().alive.isEmpty() || qobject_cast<const QMessageBox*>(widget) ||
           qobject_cast<const QFileDialog*>(widget);
}

} // namespace

ModalAnswerer::ModalAnswerer(QObject* parent)
    : QObject(parent)
{
    answerers().taken.removeAll(nullptr);
    // What is already up belongs to the test, not to the boxes it is about to provoke.
    if (QWidget* current = QApplication::activeModalWidget())
        answerers().taken.append(current);
    answerers().alive.append(this);
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

ModalAnswerer::~ModalAnswerer()
{
    answerers().alive.removeOne(this);
}

void ModalAnswerer::watchUnanswered()
{
    Answerers& shared = answerers();
    // Ends with the application, whose event loop it needs.
    auto* watch = new QTimer(QCoreApplication::instance());
    watch->setInterval(50);
    QObject::connect(watch, &QTimer::timeout, [&shared] {
        QWidget* widget = QApplication::activeModalWidget();
        bool ignored = false;
        for (const ModalAnswerer* answerer : qAsConst(shared.alive))
            ignored = ignored || (widget && answerer->m_ignored.contains(className(widget)));
        if (!widget || !widget->isVisible() || isTaken(widget) ||
            !waitsForAnswer(widget, ignored)) {
            shared.unanswered = nullptr;
            return;
        }
        if (shared.unanswered != widget) {
            shared.unanswered = widget;
            shared.since.start();
            return;
        }
        if (shared.since.elapsed() < UnansweredLimitMs)
            return;
        shared.taken.append(widget);
        const auto* box = qobject_cast<QMessageBox*>(widget);
        QTest::qFail(qPrintable(QStringLiteral("%1 \"%2\" is up with no answer for it: %3")
                                    .arg(className(widget), widget->windowTitle(),
                                         box ? box->text() : QString())),
                     __FILE__, __LINE__);
        // The code that showed it goes on, as after Escape, and the test with it.
        if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->reject();
        else
            widget->close();
    });
    watch->start();
}

void ModalAnswerer::press(QMessageBox::StandardButton button)
{
    handle([button](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->button(button))
            box->button(button)->click();
        else if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->reject();
    });
}

void ModalAnswerer::chooseFile(const QString& path)
{
    handle([path](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (!dialog) {
            if (auto* other = qobject_cast<QDialog*>(widget))
                other->reject();
            return;
        }
        // The typed name is what the dialog takes; selectFile() may not replace a proposed name
        // before the directory has been read.
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QFileInfo(path).absoluteFilePath());
        else
            dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
    });
}

void ModalAnswerer::cancelDialog()
{
    handle([](QWidget* widget) {
        if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->reject();
    });
}

void ModalAnswerer::handle(std::function<void(QWidget*)> answer)
{
    m_answers.append(std::move(answer));
}

void ModalAnswerer::ignore(const QString& className)
{
    m_ignored.append(className);
}

bool ModalAnswerer::waitForAnswered(int count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (seen.size() < count && clock.elapsed() < timeoutMs)
        QTest::qWait(5);
    return seen.size() >= count;
}

void ModalAnswerer::poll()
{
    QWidget* widget = QApplication::activeModalWidget();
    if (!widget || !widget->isVisible() || m_answers.isEmpty() ||
        m_ignored.contains(className(widget)) || isTaken(widget))
        return;
    answerers().taken.append(widget);
    Seen record;
    record.className = className(widget);
    record.title = widget->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        record.text = box->text();
        record.icon = box->icon();
    }
    seen.append(record);
    const auto answer = m_answers.takeFirst();
    // Answer from the event loop, not from inside this timer slot of the box's own loop.
    QTimer::singleShot(0, widget, [widget, answer] { answer(widget); });
}
