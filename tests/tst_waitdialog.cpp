#include "backgroundtask.h"
#include "guitest.h"
#include "modalanswerer.h"
#include "qruntimeerror.h"
#include "qwaitdialog.h"

#include <QtTest>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <functional>

namespace {

const char* const CancelQuestion = "Вы действительно хотите прервать выполнение операции?";

// The smallest owner a cancellable task can have, as the CSV dialogs are.
class TaskOwner : public QDialog
{
    Q_OBJECT
public:
    TaskOwner() { setWindowTitle(QStringLiteral("Экспорт данных из БД")); }
    CancelFlag cancelFlag;
    int cancelCalls = 0;

signals:
    void setMaximum(int value);
    void setValue(int value);

public slots:
    void onCancel()
    {
        ++cancelCalls;
        cancelFlag.set();
    }
};

QProgressBar* bar(QWidget* dialog)
{
    return dialog->findChild<QProgressBar*>("progressBar");
}
QPushButton* cancelButton(QWidget* dialog)
{
    return dialog->findChild<QPushButton*>("pbCancel");
}

// Runs check once the task's wait dialog is up, from inside its modal loop.
void whileWaiting(std::function<void(QWaitDialog*)> check)
{
    QTimer::singleShot(0, [check] {
        QWaitDialog* wait = nullptr;
        QTRY_VERIFY((wait = qobject_cast<QWaitDialog*>(QApplication::activeModalWidget())));
        check(wait);
    });
}

// A task that waits for the test to let it go, without hanging the test if that never comes.
bool await(QSemaphore& gate)
{
    return gate.tryAcquire(1, 5000);
}

// Holds the GUI thread as the wait dialog is being shown until the task has ended, so that
// the task's end is certainly queued before the dialog is up.
class HoldShow : public QObject
{
public:
    explicit HoldShow(std::atomic<bool>& taskDone)
        : m_taskDone(taskDone)
    {}
    bool held = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QWaitDialog*>(watched) && !held) {
            held = true;
            QElapsedTimer clock;
            clock.start();
            while (!m_taskDone && clock.elapsed() < 5000)
                QThread::msleep(1);
            // The future reports its end just after the task function returns.
            QThread::msleep(50);
        }
        return false;
    }

private:
    std::atomic<bool>& m_taskDone;
};

} // namespace

class TestWaitDialog : public QObject
{
    Q_OBJECT

    QWaitDialog* dialog = nullptr;

    void open(const QString& text = QString())
    {
        dialog = new QWaitDialog(text);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void cleanup()
    {
        delete dialog;
        dialog = nullptr;
    }

    void form_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("default") << QString() << "Процесс";
        QTest::newRow("own text") << "Процесс экспорта данных из БД"
                                  << "Процесс экспорта данных из БД";
        const QString longText = "Процесс сохранения событий в файл "
                                 "/home/user/Документы/Подъезд 3/журнал событий панели.csv";
        QTest::newRow("long text") << longText << longText;
    }
    void form()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        dialog = new QWaitDialog(text);
        QCOMPARE(dialog->objectName(), QString("QWaitDialog"));
        // Qt adds the system-menu hint to a title hint; what matters is that no close,
        // minimise or maximise button is asked for.
        const Qt::WindowFlags flags = dialog->windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::SplashScreen);
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
        QCOMPARE(dialog->windowTitle(), QString("Подождите ..."));
        const bool longText = shown.size() > 60;
        if (!longText)
            QCOMPARE(dialog->size(), QSize(400, 99));
        auto* label = dialog->findChild<QLabel*>("lProgress");
        QCOMPARE(label->text(), shown);
        QVERIFY(label->wordWrap());
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QCOMPARE(bar(dialog)->value(), 0);
        QCOMPARE(bar(dialog)->alignment(), Qt::AlignCenter);
        QCOMPARE(cancelButton(dialog)->text(), QString("Отмена"));
        QVERIFY(cancelButton(dialog)->isEnabled());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        if (!longText)
            QCOMPARE(dialog->size(), QSize(400, 99));
        // Every line of the text is shown.
        QVERIFY(label->height() >= label->heightForWidth(label->width()));
        // The button sits in the middle of its row.
        const int middle = cancelButton(dialog)->geometry().center().x();
        QVERIFY(qAbs(middle - dialog->width() / 2) <= 2);
    }

    void cancelQuestion_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::addColumn<int>("answer");
        QTest::newRow("button, no") << false << int(QMessageBox::No);
        QTest::newRow("button, yes") << false << int(QMessageBox::Yes);
        QTest::newRow("escape, no") << true << int(QMessageBox::No);
        QTest::newRow("escape, yes") << true << int(QMessageBox::Yes);
    }
    void cancelQuestion()
    {
        QFETCH(bool, escape);
        QFETCH(int, answer);
        open();
        QSignalSpy cancelled(dialog, &QWaitDialog::cancel);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::StandardButton(answer));
        if (escape)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(cancelButton(dialog), Qt::LeftButton);
        QVERIFY(answerer.waitForAnswered(1));
        QCOMPARE(answerer.seen.first().className, QString("QMessageBox"));
        QCOMPARE(answerer.seen.first().title, QString("Подождите ..."));
        QCOMPARE(answerer.seen.first().text, QString(CancelQuestion));
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Question);
        const bool yes = answer == QMessageBox::Yes;
        QCOMPARE(cancelled.count(), yes ? 1 : 0);
        QCOMPARE(cancelButton(dialog)->isEnabled(), !yes);
        // The dialog waits for the task in either case.
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->isFinished());
    }

    void nothingMoreAskedAfterCancel()
    {
        open();
        QSignalSpy cancelled(dialog, &QWaitDialog::cancel);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Yes);
        cancelButton(dialog)->click();
        QVERIFY(answerer.waitForAnswered(1));
        // Any further question would be asked, and answered, within these calls.
        answerer.press(QMessageBox::Yes);
        QTest::keyClick(dialog, Qt::Key_Escape);
        dialog->reject();
        dialog->on_pbCancel_clicked();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.pending(), 1);
        QCOMPARE(cancelled.count(), 1);
        QVERIFY(dialog->isVisible());
    }

    void taskEndsWhileQuestionIsUp()
    {
        open();
        QSignalSpy cancelled(dialog, &QWaitDialog::cancel);
        ModalAnswerer answerer;
        QWaitDialog* wait = dialog;
        answerer.handle([wait](QWidget* box) {
            wait->finish();
            static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
        });
        cancelButton(dialog)->click();
        QVERIFY(answerer.waitForAnswered(1));
        // There is nothing left to cancel: the owner is not told.
        QCOMPARE(cancelled.count(), 0);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
    }

    void closeRefusedUntilFinished()
    {
        open();
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Yes);
        QSignalSpy cancelled(dialog, &QWaitDialog::cancel);
        QVERIFY(!dialog->close());
        QVERIFY(dialog->isVisible());
        // A refused close neither asks nor cancels.
        QCOMPARE(answerer.pending(), 1);
        QCOMPARE(cancelled.count(), 0);
        dialog->finish();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        dialog->show();
        QVERIFY(dialog->close());
        QCOMPARE(answerer.pending(), 1);
    }

    void progress()
    {
        open();
        QProgressBar* progress = bar(dialog);
        dialog->setMaximum(0);
        // Minimum and maximum both 0: the bar shows as busy.
        QCOMPARE(progress->minimum(), 0);
        QCOMPARE(progress->maximum(), 0);
        dialog->setMaximum(250);
        dialog->setValue(125);
        QCOMPARE(progress->maximum(), 250);
        QCOMPARE(progress->value(), 125);
        QCOMPARE(progress->text(), QString("50%"));
    }

    void runtimeErrorIsAMetaType()
    {
        registerRuntimeErrorType();
        QVERIFY(QMetaType::type("QRuntimeError") != QMetaType::UnknownType);
        const QRuntimeError cancelled = QRuntimeError::cancelled();
        const QVariant value = QVariant::fromValue(cancelled);
        QCOMPARE(value.value<QRuntimeError>().code, -1);
        QCOMPARE(value.value<QRuntimeError>().message, QString("Операция прервана пользователем."));
        QCOMPARE(QRuntimeError().code, 0);
        QVERIFY(QRuntimeError().message.isEmpty());
    }

    // --- the whole run through runCancellableTask ---

    void instantTaskReturnsAtOnce_data()
    {
        QTest::addColumn<bool>("endsBeforeShown");
        QTest::newRow("ends before the dialog is shown") << true;
        QTest::newRow("ends any time") << false;
    }
    void instantTaskReturnsAtOnce()
    {
        QFETCH(bool, endsBeforeShown);
        TaskOwner owner;
        owner.show();
        std::atomic<bool> taskDone{false};
        HoldShow hold(taskDone);
        if (endsBeforeShown)
            qApp->installEventFilter(&hold);
        bool stuck = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, &owner, [&] {
            if (auto* wait = owner.findChild<QWaitDialog*>()) {
                stuck = true;
                // Shown again, so that hiding it ends whatever loop waits for it.
                wait->show();
                wait->finish();
            }
        });
        watchdog.start(5000);
        const QRuntimeError result = runCancellableTask(
            &owner, owner.cancelFlag, QString(),
            [&] {
                taskDone = true;
                return QRuntimeError::success("Готово");
            },
            false);
        qApp->removeEventFilter(&hold);
        QVERIFY(!stuck);
        QCOMPARE(hold.held, endsBeforeShown);
        QCOMPARE(result.code, 0);
        QCOMPARE(result.message, QString("Готово"));
        // The wait dialog is gone with the run.
        QVERIFY(owner.findChildren<QWaitDialog*>().isEmpty());
    }

    void progressFromThePool()
    {
        TaskOwner owner;
        owner.show();
        QSemaphore gate;
        QThread* taskThread = nullptr;
        whileWaiting([&](QWaitDialog* wait) {
            QCOMPARE(wait->parent(), &owner);
            QCOMPARE(wait->findChild<QLabel*>("lProgress")->text(), QString("Процесс сохранения"));
            QTRY_COMPARE(bar(wait)->maximum(), 0);
            gate.release();
            QTRY_COMPARE(bar(wait)->value(), 7);
            QCOMPARE(bar(wait)->maximum(), 10);
            gate.release();
        });
        const QRuntimeError result = runCancellableTask(
            &owner, owner.cancelFlag, QStringLiteral("Процесс сохранения"),
            [&] {
                taskThread = QThread::currentThread();
                emit owner.setMaximum(0);
                if (!await(gate))
                    return QRuntimeError::failure("gate");
                emit owner.setMaximum(10);
                emit owner.setValue(7);
                if (!await(gate))
                    return QRuntimeError::failure("gate");
                return QRuntimeError::success("ok");
            },
            false);
        QCOMPARE(result.message, QString("ok"));
        QVERIFY(taskThread && taskThread != QThread::currentThread());
    }

    void cancelThroughTheDialog_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        QTest::newRow("yes stops the task")
            << int(QMessageBox::Yes) << -1 << "Операция прервана пользователем."
            << int(QMessageBox::Critical);
        QTest::newRow("no lets it run") << int(QMessageBox::No) << 0 << "Обработано строк: 1000."
                                        << int(QMessageBox::Information);
    }
    void cancelThroughTheDialog()
    {
        QFETCH(int, answer);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(int, icon);
        TaskOwner owner;
        owner.show();
        std::atomic<bool> release{false};
        std::atomic<int> rows{0};
        ModalAnswerer* answerer = nullptr;
        bool buttonEnabled = false;
        whileWaiting([&](QWaitDialog* wait) {
            answerer = new ModalAnswerer(&owner);
            answerer->press(QMessageBox::StandardButton(answer));
            answerer->press(QMessageBox::Ok);
            QTRY_VERIFY(rows > 0);
            cancelButton(wait)->click();
            buttonEnabled = cancelButton(wait)->isEnabled();
            release = true;
        });
        const QRuntimeError result = runCancellableTask(&owner, owner.cancelFlag, QString(), [&] {
            emit owner.setMaximum(1000);
            // Without a cancel the task runs until the question has been answered.
            while (!release || rows < 1000) {
                if (owner.cancelFlag.isSet())
                    return QRuntimeError::cancelled();
                if (rows < 1000)
                    emit owner.setValue(++rows);
                QThread::msleep(1);
            }
            return QRuntimeError::success(QString("Обработано строк: %1.").arg(int(rows)));
        });
        QVERIFY(answerer);
        QCOMPARE(result.code, code);
        QCOMPARE(result.message, message);
        QCOMPARE(buttonEnabled, answer == QMessageBox::No);
        QCOMPARE(owner.cancelCalls, answer == QMessageBox::Yes ? 1 : 0);
        QCOMPARE(answerer->seen.size(), 2);
        QCOMPARE(answerer->seen.at(0).text, QString(CancelQuestion));
        QCOMPARE(answerer->seen.at(1).title, QString("Экспорт данных из БД"));
        QCOMPARE(answerer->seen.at(1).text, message);
        QCOMPARE(int(answerer->seen.at(1).icon), icon);
    }

    void cancelDoesNotCarryOverToTheNextRun()
    {
        TaskOwner owner;
        owner.show();
        owner.onCancel(); // left over from an earlier, cancelled run
        const QRuntimeError result = runCancellableTask(
            &owner, owner.cancelFlag, QString(),
            [&] {
                return owner.cancelFlag.isSet() ? QRuntimeError::cancelled()
                                                : QRuntimeError::success("Готово");
            },
            false);
        QCOMPARE(result.code, 0);
    }

    void resultBox_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("show");
        QTest::addColumn<int>("icon");
        QTest::newRow("success") << 0 << true << int(QMessageBox::Information);
        QTest::newRow("failure") << -1 << true << int(QMessageBox::Critical);
        QTest::newRow("not shown") << -1 << false << int(QMessageBox::NoIcon);
    }
    void resultBox()
    {
        QFETCH(int, code);
        QFETCH(bool, show);
        QFETCH(int, icon);
        TaskOwner owner;
        owner.setWindowTitle("Импорт данных в БД");
        owner.show();
        const QString message = "Ошибка создания файла: x.csv.\r\nОшибка: Permission denied.";
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        const QRuntimeError result = runCancellableTask(
            &owner, owner.cancelFlag, QString(),
            [&] {
                return QRuntimeError{code, message};
            },
            show);
        QCOMPARE(result.code, code);
        if (!show) {
            QCOMPARE(answerer.pending(), 1);
            return;
        }
        QVERIFY(answerer.waitForAnswered(1));
        QCOMPARE(answerer.seen.first().title, QString("Импорт данных в БД"));
        QCOMPARE(answerer.seen.first().text, message);
        QCOMPARE(int(answerer.seen.first().icon), icon);
    }
};

QTEST_MAIN(TestWaitDialog)
#include "tst_waitdialog.moc"
