#include "databasefile.h"
#include "qzelkorwindow.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

// Opening database files: a refused file is left as it was, and a file that cannot be written
// opens with one warning.
class TestDatabaseOpening : public QObject
{
    Q_OBJECT

    // Every file of a folder with a hash of its bytes: what opening a file must not change.
    static QMap<QString, QByteArray> folder(const QString& path)
    {
        QMap<QString, QByteArray> files;
        const QDir dir(path);
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                files.insert(name,
                             QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
        }
        return files;
    }

    // The test function run again as an unprivileged user: root writes whatever the
    // permission bits say.
    static void rerunAsUnprivilegedUser()
    {
        const QString runuser = QStandardPaths::findExecutable("runuser");
        if (runuser.isEmpty() || !getpwnam("nobody"))
            QSKIP("running as root without runuser or the user nobody: no file is read-only "
                  "for root");
        QTemporaryDir home;
        QVERIFY(QFile::setPermissions(home.path(), QFile::Permissions(0x7777)));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home.path());
        environment.remove("XDG_RUNTIME_DIR");
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(runuser, {"-m", "-u", "nobody", "--", QCoreApplication::applicationFilePath(),
                              QTest::currentTestFunction()});
        QVERIFY(child.waitForFinished(120000));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 child.readAll().constData());
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void refusedFilesStayUntouched_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("opens");
        QTest::newRow("foreign database") << "foreign" << false;
        QTest::newRow("version 2") << "UPDATE system SET version = 2" << false;
        QTest::newRow("no system row") << "DELETE FROM system" << false;
        QTest::newRow("empty file") << "empty" << false;
        QTest::newRow("missing file") << "missing" << false;
        QTest::newRow("valid") << "" << true;
    }
    void refusedFilesStayUntouched()
    {
        QFETCH(QString, kind);
        QFETCH(bool, opens);
        TestDatabase file;
        // Free pages that a compaction would drop.
        QVERIFY(file.exec("CREATE TABLE filler (b)"));
        QVERIFY(file.exec("INSERT INTO filler VALUES (zeroblob(65536))"));
        QVERIFY(file.exec("DROP TABLE filler"));
        QString path = file.path();
        if (kind == "foreign") {
            for (const char* statement :
                 {"DROP VIEW view_tree", "DROP TABLE card", "DROP TABLE subscriber",
                  "DROP TABLE system", "CREATE TABLE notes (text)",
                  "INSERT INTO notes VALUES ('kept')"})
                QVERIFY(file.exec(statement));
        } else if (kind == "missing") {
            path += ".gone";
        } else if (kind != "empty" && !kind.isEmpty()) {
            QVERIFY(file.exec(kind));
        }
        file.close();
        if (kind == "empty")
            QVERIFY(QFile(path).open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QString dir = QFileInfo(path).path();
        const QMap<QString, QByteArray> before = folder(dir);
        const qint64 size = QFileInfo(path).size();

        QScopedPointer<QZelKorWindow> window(new QZelKorWindow);
        window->show();
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QCOMPARE(window->openDB(path), opens);
        QCOMPARE(answerer.seen.size(), opens ? 0 : 1);
        if (opens) {
            childOf<QAction>(window.data(), "actionCloseDB")->trigger();
            QVERIFY2(QFileInfo(path).size() < size, "a normal close compacts the file");
        } else {
            window.reset();
            QCOMPARE(folder(dir), before);
        }
    }

    void readOnlyCheckLeavesTheFileAsItWas_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("writable") << false;
        QTest::newRow("opened read-only") << true;
    }
    void readOnlyCheckLeavesTheFileAsItWas()
    {
        QFETCH(bool, readOnly);
        TestDatabase file;
        const QMap<QString, QByteArray> before = folder(QFileInfo(file.path()).path());
        QVERIFY(file.reopen({}, readOnly));
        QCOMPARE(DatabaseFile::isReadOnly(file.db()), readOnly);
        file.close();
        QCOMPARE(folder(QFileInfo(file.path()).path()), before);
    }

    void readOnlyFileOpensWithOneWarning()
    {
        if (geteuid() == 0) {
            rerunAsUnprivilegedUser();
            return;
        }
        TestDatabase file;
        file.addSubscriber(7, "12");
        file.close();
        QVERIFY(QFile::setPermissions(file.path(), QFile::ReadOwner | QFile::ReadGroup));
        QZelKorWindow window;
        window.show();
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QVERIFY(window.openDB(file.path()));
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].title, QString("Предупреждение"));
        QCOMPARE(answerer.seen[0].text,
                 QString("Файл БД открыт только для чтения: изменения не будут сохранены."));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Warning);
        auto* tree = childOf<QTreeWidget>(&window, "treeView");
        QCOMPARE(tree->topLevelItemCount(), 1);
        // Once: reloading the tree says nothing more.
        window.refreshData();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(answerer.seen.size(), 1);
    }
};

QTEST_MAIN(TestDatabaseOpening)
#include "tst_databaseopening.moc"
