#include "importwriter.h"
#include "qimport.h"
#include "qzelkorwindow.h"
#include "snapshots.h"
#include "taskconnection.h"
#include "testdatagenerator.h"
#include "testsupport.h"

#include <pwd.h>
#include <unistd.h>

// Opening database files: a refused file is left as it was, and a file that cannot be written
// opens with one warning.
class TestDatabaseOpening : public QObject
{
    Q_OBJECT

    // Every file of a folder with its bytes: what opening a file must not change.
    static QMap<QString, QByteArray> folder(const QString& path)
    {
        QMap<QString, QByteArray> files;
        for (const QFileInfo& info : QDir(path).entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile file(info.filePath());
            files[info.fileName()] = file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable";
        }
        return files;
    }

    const QString ReadOnly = "Файл БД открыт только для чтения: изменения не будут сохранены.";

    // Root writes whatever the permission bits say: the running test is run again, as a user
    // without rights, and the caller returns when that has been done.
    static bool ranAsNobody()
    {
        if (geteuid() != 0)
            return false;
        const QString runuser = QStandardPaths::findExecutable("runuser");
        if (runuser.isEmpty() || !getpwnam("nobody")) {
            QTest::qSkip("running as root without runuser or the user nobody to run as", __FILE__,
                         __LINE__);
            return true;
        }
        QString test = QTest::currentTestFunction();
        if (QTest::currentDataTag())
            test += QString(":") + QTest::currentDataTag();
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(runuser, {"-u", "nobody", "--", QCoreApplication::applicationFilePath(), test});
        if (!run.waitForFinished(60000) || run.exitCode() != 0)
            QTest::qFail("failed when run as the user nobody", __FILE__, __LINE__);
        return true;
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void refusedFilesStayUntouched_data()
    {
        QTest::addColumn<QString>("change"); // none for the one file that opens
        QTest::newRow("another program's database") << "DROP TABLE system";
        QTest::newRow("version 2") << "UPDATE system SET version = 2";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("missing file") << "missing";
        QTest::newRow("valid") << "";
    }
    void refusedFilesStayUntouched()
    {
        QFETCH(QString, change);
        const bool opens = change.isEmpty();
        TestDatabase file;
        // Free pages that a compaction would drop.
        QVERIFY(file.exec("CREATE TABLE filler AS SELECT zeroblob(65536)") &&
                file.exec("DROP TABLE filler"));
        if (change.contains(' '))
            QVERIFY(file.exec(change));
        file.close();
        const QString path = file.path() + (change == "missing" ? ".gone" : "");
        if (change == "empty")
            QVERIFY(QFile(path).open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QString dir = QFileInfo(path).path();
        const QMap<QString, QByteArray> before = folder(dir);

        QScopedPointer<QZelKorWindow> window(new QZelKorWindow);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QCOMPARE(window->openDB(path), opens);
        QCOMPARE(answerer.seen.size(), opens ? 0 : 1);
        if (opens)
            childOf<QAction>(window.data(), "actionCloseDB")->trigger();
        window.reset();
        // A refused file stays as it was; a good one is compacted on closing.
        QCOMPARE(folder(dir) == before, !opens);
    }

    void existingFilesOnly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "house.zelkor";
        QTest::newRow("characters of a URI") << "50%41 #2?.zelkor";
        QTest::newRow("Cyrillic") << "Дом №5.zelkor";
    }
    void existingFilesOnly()
    {
        QFETCH(QString, name);
        TestDatabase file(name);
        QVERIFY(file.exec("UPDATE system SET talk_time = 77"));
        file.close();
        const QString path = file.path();
        {
            TaskConnection connection(path);
            QVERIFY2(connection.isOpen(), qPrintable(connection.errorText()));
            QCOMPARE(connection.database().databaseName(), path);
            QSqlQuery query(connection.database());
            QVERIFY(query.exec("SELECT talk_time FROM system") && query.next());
            QCOMPARE(query.value(0).toInt(), 77);
        }
        // Gone by the time it is opened: reported as missing, and not made anew.
        QVERIFY(QFile::remove(path));
        TaskConnection connection(path);
        QVERIFY(!connection.isOpen());
        QCOMPARE(connection.errorText(), "Файл '" + path + "' не существует.");
        QVERIFY(folder(QFileInfo(path).path()).isEmpty());
    }

    void closingCompactsInTheBackground()
    {
        TestDatabase file;
        QVERIFY(file.exec("CREATE TABLE filler AS SELECT zeroblob(65536)") &&
                file.exec("DROP TABLE filler"));
        file.close();
        QZelKorWindow window;
        QVERIFY(window.openDB(file.path()));
        // A reader of the file holds the compaction back for as long as the test wants.
        QVERIFY(file.reopen() && file.exec("BEGIN") &&
                file.value("SELECT COUNT(*) FROM system") == 1);
        bool released = false;
        const auto releaseLater = [&] {
            released = false;
            QTimer::singleShot(900, [&] { released = file.exec("COMMIT"); });
        };
        childOf<QAction>(&window, "actionCloseDB")->trigger();
        QVERIFY(window.isCompacting());
        QCOMPARE(window.windowTitle(), QZelKorWindow::applicationTitle());
        QVERIFY(!childOf<QAction>(&window, "actionCloseDB")->isEnabled());
        // Opening again waits for the compaction, with the wait dialog while it lasts.
        ModalAnswerer answerer;
        answerer.handle([](QWidget*) {});
        releaseLater();
        QVERIFY(window.openDB(file.path()));
        QVERIFY(released);
        QCOMPARE(answerer.seen.value(0).className, QString("QWaitDialog"));
        QSqlQuery pages(*window.database());
        QVERIFY(pages.exec("PRAGMA freelist_count") && pages.next());
        QCOMPARE(pages.value(0).toInt(), 0);
        // Closing the window waits for it too.
        QVERIFY(file.exec("BEGIN") && file.value("SELECT COUNT(*) FROM system") == 1);
        childOf<QAction>(&window, "actionCloseDB")->trigger();
        releaseLater();
        QVERIFY(window.close());
        QVERIFY(released && !window.isCompacting());
    }

    void readOnlyFileOpensWithOneWarning()
    {
        if (ranAsNobody())
            return;
        TestDatabase file;
        QVERIFY(QFile::setPermissions(file.path(), QFile::ReadOwner | QFile::ReadGroup));
        QZelKorWindow window;
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QVERIFY(window.openDB(file.path()));
        window.refreshData(); // says nothing more
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Warning);
        QCOMPARE(answerer.seen[0].title + ": " + answerer.seen[0].text,
                 "Предупреждение: " + ReadOnly);
    }

    // Every operation that would write the file says so before it does anything: no snapshot
    // taken for nothing, the file byte for byte as it was.
    void readOnlyFileRefusesWrites_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("title"); // of the dialog that refuses before it opens
        QTest::newRow("csv import dialog") << "actionImportDB"
                                           << "Импорт данных в БД";
        QTest::newRow("panel import dialog") << "QImport"
                                             << "Импорт данных из панели";
        QTest::newRow("restore dialog") << "actionRestoreSnapshot"
                                        << "Восстановить из снимка";
        for (const char* operation : {"csv import tool", "panel import", "restore", "test data"})
            QTest::newRow(operation) << operation << "";
    }
    void readOnlyFileRefusesWrites()
    {
        if (ranAsNobody())
            return;
        QFETCH(QString, operation);
        QFETCH(QString, title);
        QTemporaryDir snapshots;
        qputenv("OSTROVEL_SNAPSHOTS", snapshots.path().toUtf8());
        TestDatabase file;
        file.addSubscriber(1, "2", "3");
        const Snapshots::Taken taken = Snapshots::take(file.path(), Snapshots::Operation::Clear);
        QVERIFY(taken.ok);
        QVERIFY(QFile::setPermissions(file.path(), QFile::ReadOwner | QFile::ReadGroup));
        const QMap<QString, QByteArray> before = folder(QFileInfo(file.path()).path());
        QString message;
        if (!title.isEmpty()) {
            QZelKorWindow window;
            ModalAnswerer answerer;
            answerer.press(QMessageBox::Ok);
            answerer.press(QMessageBox::Ok);
            QVERIFY(window.openDB(file.path()));
            if (operation == "QImport")
                QImport::exec(&window, window.database(), window.serialThread());
            else
                childOf<QAction>(&window, qPrintable(operation))->trigger();
            QCOMPARE(answerer.seen.size(), 2);
            QCOMPARE(answerer.seen[1].icon, QMessageBox::Critical);
            QCOMPARE(answerer.seen[1].title, title);
            message = answerer.seen[1].text;
        } else if (operation == "csv import tool") {
            const QString csv = snapshots.filePath("tenants.csv");
            QVERIFY(makeFile(csv, "5\t50\t500\r\n"));
            QProcess tool;
            tool.start(OSTROVEL_CLI, {"csv", "import", "--clear", file.path(), csv});
            QVERIFY(tool.waitForFinished());
            QCOMPARE(tool.exitCode(), 1);
            message = QString::fromUtf8(tool.readAllStandardError()).trimmed();
        } else if (operation == "panel import") {
            message = ImportWriter::writeFile(
                          file.path(), {}, false, 2, [](int) {}, [] { return false; })
                          .failure.text;
        } else if (operation == "restore") {
            message = Snapshots::restore(file.path(), taken.snapshot).message;
        } else {
            message = TestData::generateFile(file.path(), [](int) {});
        }
        QCOMPARE(message, ReadOnly);
        QCOMPARE(folder(QFileInfo(file.path()).path()), before);
        QCOMPARE(Snapshots::list(file.path()).size(), 1);
    }
};

QTEST_MAIN(TestDatabaseOpening)
#include "tst_databaseopening.moc"
