#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

ModalAnswerer::ModalAnswerer(QObject* parent)
    : QObject(parent)
{
    // What is already up belongs to the test, not to the boxes it is about to provoke.
    if (QWidget* current = QApplication::activeModalWidget())
        m_handled.append(current);
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
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
        m_ignored.contains(QString::fromLatin1(widget->metaObject()->className())))
        return;
    for (const QPointer<QWidget>& handled : qAsConst(m_handled))
        if (handled == widget)
            return;
    m_handled.append(widget);
    Seen record;
    record.className = QString::fromLatin1(widget->metaObject()->className());
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
