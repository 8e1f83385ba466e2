#include "backgroundtask.h"
#include "qruntimeerror.h"
#include "qwaitdialog.h"
#include "testsupport.h"
#include "workpool.h"

#include <QThreadPool>

#include <atomic>

namespace {

// The smallest owner a cancellable task can have, as the CSV dialogs are.
class TaskOwner : public QDialog
{
    Q_OBJECT
public:
    TaskOwner()
    {
        setWindowTitle(QStringLiteral("Экспорт данных из БД"));
        show();
    }
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

// Holds the GUI thread as the wait dialog is being shown until the pool's tasks have ended, so
// that a task's end is certainly queued before the dialog is up.
class HoldShow : public QObject
{
public:
    bool held = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QWaitDialog*>(watched) && !held) {
            held = workPool()->waitForDone(5000);
            // The future reports its end just after the task function returns.
            QThread::msleep(50);
        }
        return false;
    }
};

} // namespace

// A cancellable task run under the wait dialog.
class TestWaitDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareGuiTest(); }

    void taskEndingBeforeTheDialogIsUp()
    {
        TaskOwner owner;
        HoldShow hold;
        qApp->installEventFilter(&hold);
        // A dialog that missed the task's end is ended from outside, and the test fails.
        bool stuck = false;
        QTimer::singleShot(5000, &owner, [&] {
            if (auto* wait = owner.findChild<QWaitDialog*>()) {
                stuck = true;
                wait->show();
                wait->finish();
            }
        });
        const QRuntimeError result = runCancellableTask(
            &owner, owner.cancelFlag, QString(), [] { return QRuntimeError::success("Готово"); },
            false);
        qApp->removeEventFilter(&hold);
        QVERIFY(hold.held && !stuck);
        QCOMPARE(result.message, QString("Готово"));
        QVERIFY(owner.findChildren<QWaitDialog*>().isEmpty());
    }

    void noKeepsTheTaskRunning()
    {
        QWaitDialog wait(QString("Процесс"));
        wait.show();
        QSignalSpy cancelled(&wait, &QWaitDialog::cancel);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::No);
        childOf<QPushButton>(&wait, "pbCancel")->click();
        QCOMPARE(answerer.seen.value(0).title + ": " + answerer.seen.value(0).text,
                 QString("Подождите ...: Вы действительно хотите прервать выполнение операции?"));
        QVERIFY(cancelled.isEmpty() && wait.isVisible());
    }

    // The test helper's promise: a box nobody answers fails the test within ten seconds, by
    // name, with an answerer that has no answer left and with none, each in a run of its own.
    void unansweredBoxFailsTheTest()
    {
        const QByteArray mode = qgetenv("OSTROVEL_UNANSWERED_BOX");
        if (!mode.isEmpty()) {
            QScopedPointer<ModalAnswerer> none(mode == "answerer" ? new ModalAnswerer : nullptr);
            QMessageBox::warning(nullptr, "Без ответа", "Никто не ответит.");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        std::vector<std::unique_ptr<QProcess>> runs;
        for (const char* answerer : {"answerer", "none"}) {
            runs.push_back(std::make_unique<QProcess>());
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("OSTROVEL_UNANSWERED_BOX", answerer);
            runs.back()->setProcessEnvironment(environment);
            runs.back()->start(QCoreApplication::applicationFilePath(),
                               {"unansweredBoxFailsTheTest"});
        }
        for (const auto& run : runs) {
            QVERIFY(run->waitForFinished(20000));
            const QString said = QString::fromUtf8(run->readAllStandardOutput());
            QCOMPARE(run->exitCode(), 1);
            QVERIFY2(said.contains("QMessageBox \"Без ответа\" is up with no answer for it: "
                                   "Никто не ответит."),
                     qPrintable(said));
        }
        QVERIFY(clock.elapsed() < 10000);
    }
};

QTEST_MAIN(TestWaitDialog)
#include "tst_waitdialog.moc"
