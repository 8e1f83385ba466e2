#include "qzelkorwindow.h"
#include "taskconnection.h"
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
        QCOMPARE(connection.errorText(), "Файл '" + path + "' не существет.");
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
        if (geteuid() == 0) {
            // Root writes whatever the permission bits say: run again as a user without rights.
            const QString runuser = QStandardPaths::findExecutable("runuser");
            if (runuser.isEmpty() || !getpwnam("nobody"))
                QSKIP("running as root without runuser or the user nobody to run as");
            QProcess run;
            run.start(runuser, {"-u", "nobody", "--", QCoreApplication::applicationFilePath(),
                                QTest::currentTestFunction()});
            QVERIFY(run.waitForFinished(60000));
            QCOMPARE(run.exitCode(), 0);
            return;
        }
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
                 QString("Предупреждение: Файл БД открыт только для чтения: изменения не будут "
                         "сохранены."));
    }
};

QTEST_MAIN(TestDatabaseOpening)
#include "tst_databaseopening.moc"
