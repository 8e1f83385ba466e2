#include "qzelkorwindow.h"
#include "testsupport.h"

#include <QCryptographicHash>

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
        for (const QFileInfo& info : QDir(path).entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile file(info.filePath());
            if (file.open(QIODevice::ReadOnly))
                files[info.fileName()] =
                    QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
        }
        return files;
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void refusedFilesStayUntouched_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("opens");
        QTest::newRow("foreign database") << "DROP TABLE system" << false;
        QTest::newRow("version 2") << "UPDATE system SET version = 2" << false;
        QTest::newRow("empty file") << "empty" << false;
        QTest::newRow("missing file") << "missing" << false;
        QTest::newRow("valid") << "" << true;
    }
    void refusedFilesStayUntouched()
    {
        QFETCH(QString, change);
        QFETCH(bool, opens);
        TestDatabase file;
        // Free pages that a compaction would drop.
        for (const char* statement :
             {"CREATE TABLE filler (b)", "INSERT INTO filler VALUES (zeroblob(65536))",
              "DROP TABLE filler"})
            QVERIFY(file.exec(statement));
        if (change.startsWith("DROP"))
            QVERIFY(file.exec("DROP VIEW view_tree") && file.exec("CREATE TABLE notes (text)"));
        if (change.contains(' '))
            QVERIFY(file.exec(change));
        file.close();
        const QString path = file.path() + (change == "missing" ? ".gone" : "");
        if (change == "empty")
            QVERIFY(QFile(path).open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QString dir = QFileInfo(path).path();
        const QMap<QString, QByteArray> before = folder(dir);
        const qint64 size = QFileInfo(path).size();

        QScopedPointer<QZelKorWindow> window(new QZelKorWindow);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QCOMPARE(window->openDB(path), opens);
        QCOMPARE(answerer.seen.size(), opens ? 0 : 1);
        if (opens)
            childOf<QAction>(window.data(), "actionCloseDB")->trigger();
        window.reset();
        QVERIFY2(opens ? QFileInfo(path).size() < size : folder(dir) == before,
                 "a refused file stays as it was; a good one is compacted on closing");
    }

    void readOnlyFileOpensWithOneWarning()
    {
        if (geteuid() == 0) {
            // Root writes whatever the permission bits say: run again as a user without rights.
            const QString runuser = QStandardPaths::findExecutable("runuser");
            if (runuser.isEmpty() || !getpwnam("nobody"))
                QSKIP("running as root without runuser or the user nobody to run as");
            QCOMPARE(QProcess::execute(runuser, {"-u", "nobody", "--",
                                                 QCoreApplication::applicationFilePath(),
                                                 QTest::currentTestFunction()}),
                     0);
            return;
        }
        TestDatabase file;
        file.close();
        QVERIFY(QFile::setPermissions(file.path(), QFile::ReadOwner | QFile::ReadGroup));
        QZelKorWindow window;
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QVERIFY(window.openDB(file.path()));
        window.refreshData(); // says nothing more
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].title, QString("Предупреждение"));
        QCOMPARE(answerer.seen[0].text,
                 QString("Файл БД открыт только для чтения: изменения не будут сохранены."));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Warning);
    }
};

QTEST_MAIN(TestDatabaseOpening)
#include "tst_databaseopening.moc"
