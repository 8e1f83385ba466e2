#include "datafolders.h"
#include "heldfiles.h"
#include "panelfixture.h"
#include "qimport.h"
#include "qimporttodb.h"
#include "qzelkorwindow.h"
#include "settingsrecord.h"
#include "snapshots.h"
#include "testsupport.h"

// Snapshots taken before the window's destructive operations, the operation refused when none
// can be written, restoring one through the window and undoing that, and how many are kept;
// on real files, with the snapshots in a temporary folder.
class TestSnapshots : public QObject, PanelFixture
{
    Q_OBJECT

    QTemporaryDir folder;
    QScopedPointer<QZelKorWindow> window;

    // The window on the fixture's database, with an answerer for its boxes.
    void openWindow()
    {
        window.reset(new QZelKorWindow);
        window->show();
        QVERIFY(window->openDB(db->path()));
        answerer = new ModalAnswerer;
        answerer->ignore("QWaitDialog");
    }
    void trigger(const char* action) { childOf<QAction>(window.data(), action)->trigger(); }

    // Runs operation as the user does, answering Yes and then Ok; the last message shown.
    QString run(const QString& operation)
    {
        if (operation == "panel-import") {
            QVariantMap values = SettingsRecord::decode(sim->settings());
            values["talk_time"] = 300;
            sim->setSettings(SettingsRecord::encode(values));
            open<QImport>();
            childOf<QRadioButton>(dialog, "rbSettingsImport")->setChecked(true);
            answerer->press(QMessageBox::Yes);
            answerer->press(QMessageBox::Ok);
            button("pbImport")->click();
            answerer->waitForAnswered(2, 20000);
        } else if (operation == "clear") {
            openWindow();
            answerer->press(QMessageBox::Yes);
            answerer->press(QMessageBox::Ok);
            trigger("actionClearDB");
        } else {
            const QString csv = folder.filePath("tenants.csv");
            QFile file(csv);
            file.open(QIODevice::WriteOnly);
            file.write("5\t50\t500\t\r\n");
            file.close();
            openWindow();
            answerer->handle([csv](QWidget* dialog) {
                static_cast<QImportToDB*>(dialog)->loadFile(csv);
                childOf<QCheckBox>(dialog, "cbClearDB")->setChecked(true);
                childOf<QPushButton>(dialog, "pbImport")->click();
                if (dialog->isVisible())
                    static_cast<QDialog*>(dialog)->reject();
            });
            answerer->press(QMessageBox::Ok);
            trigger("actionImportDB");
        }
        return answerer->seen.isEmpty() ? QString() : answerer->seen.last().text;
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        qputenv("OSTROVEL_SNAPSHOTS", folder.path().toUtf8());
        setUp();
        db->addSubscriber(3, "30", "300");
        db->addSubscriber(8, {}, "800");
        db->addKey(3, 123, 2, "0000123");
        QVERIFY(db->exec("UPDATE system SET field1_name = 'ФИО'"));
    }

    void cleanup()
    {
        window.reset();
        tearDown();
    }

    void operationsTakeASnapshotFirst_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("writable");
        for (const char* operation : {"panel-import", "clear", "csv-import"}) {
            QTest::addRow("%s", operation) << operation << true;
            QTest::addRow("%s, no folder for it", operation) << operation << false;
        }
    }
    void operationsTakeASnapshotFirst()
    {
        QFETCH(QString, operation);
        QFETCH(bool, writable);
        QFile blocker(folder.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        // No folder can be made under a file, whoever runs the test.
        if (!writable)
            qputenv("OSTROVEL_SNAPSHOTS", blocker.fileName().toUtf8() + "/snapshots");
        const QStringList before = checkedRows(db->path());

        const QString message = run(operation);
        const QList<Snapshots::Snapshot> taken = Snapshots::list(db->path());
        if (!writable) {
            QVERIFY2(message.startsWith("Не удалось сохранить снимок БД: не удалось создать папку"),
                     qPrintable(message));
            QCOMPARE(checkedRows(db->path()), before);
            return;
        }
        QVERIFY(checkedRows(db->path()) != before);
        QCOMPARE(taken.size(), 1);
        QCOMPARE(taken.at(0).operation, operation);
        QCOMPARE(taken.at(0).subscribers, 2);
        QCOMPARE(taken.at(0).keys, 1);
        QCOMPARE(checkedRows(taken.at(0).file), before);
    }

    void copiesADatabaseInWalMode()
    {
        // The row stays in the write-ahead log while this connection is open.
        QVERIFY(db->exec("PRAGMA journal_mode = WAL"));
        QVERIFY(db->exec("INSERT INTO subscriber (id, phone) VALUES (9, '900')"));
        const Snapshots::Taken taken = Snapshots::take(db->path(), Snapshots::Operation::Clear);
        QVERIFY(taken.ok);
        QCOMPARE(checkedRows(taken.snapshot.file), checkedRows(db->path()));
    }

    void sweepsWhatNoRunHolds()
    {
        // A run still taking a snapshot holds its unfinished copy; a killed one holds nothing.
        const QString folder = DataFolders::snapshotFolder(db->path());
        QVERIFY(QDir().mkpath(folder));
        QString error;
        const auto living = HeldFiles::create(folder + "/.snapshot-XXXXXX.part", &error);
        QFile killed(folder + "/.snapshot-killed.part");
        QVERIFY(living && killed.open(QIODevice::WriteOnly));
        killed.close();
        QVERIFY(Snapshots::take(db->path(), Snapshots::Operation::Clear).ok);
        QVERIFY(QFile::exists(living->fileName()));
        QVERIFY(!killed.exists());
    }

    void restoreAndUndo()
    {
        const QStringList before = checkedRows(db->path());
        QVERIFY(Snapshots::take(db->path(), Snapshots::Operation::Clear).ok);
        QVERIFY(db->exec("DELETE FROM subscriber WHERE id = 3"));
        QVERIFY(db->exec("UPDATE system SET field1_name = 'Имя', talk_time = 90"));
        const QStringList changed = checkedRows(db->path());
        openWindow();
        QStringList listed;
        answerer->handle([&listed](QWidget* dialog) {
            const QTreeWidgetItem* newest =
                childOf<QTreeWidget>(dialog, "twSnapshots")->topLevelItem(0);
            for (int column = 1; column < 4; ++column)
                listed << newest->text(column);
            childOf<QPushButton>(dialog, "pbRestore")->click();
        });
        answerer->press(QMessageBox::Yes);
        answerer->press(QMessageBox::Ok);
        trigger("actionRestoreSnapshot");
        QCOMPARE(listed, QStringList({"Очистка БД", "2", "1"}));
        QCOMPARE(checkedRows(db->path()), before);
        // The window shows what came back, the tree and the field titles.
        auto* tree = childOf<QTreeWidget>(window.data(), "treeView");
        QCOMPARE(tree->topLevelItemCount(), 2);
        QCOMPARE(tree->headerItem()->text(4), QString("ФИО"));

        const QList<Snapshots::Snapshot> all = Snapshots::list(db->path());
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.at(0).operation, QString("restore"));
        QVERIFY(Snapshots::restore(db->path(), all.at(0)).isSuccess());
        QCOMPARE(checkedRows(db->path()), changed);
    }

    void restoresTheOldestOfAllKept()
    {
        // The snapshot of the present state taken first must not push out the one restored.
        const QStringList oldest = checkedRows(db->path());
        QVERIFY(Snapshots::take(db->path(), Snapshots::Operation::Clear).ok);
        QVERIFY(db->exec("DELETE FROM subscriber"));
        for (int i = 1; i < Snapshots::Kept; ++i)
            QVERIFY(Snapshots::take(db->path(), Snapshots::Operation::Clear).ok);
        const QList<Snapshots::Snapshot> kept = Snapshots::list(db->path());
        QCOMPARE(kept.size(), Snapshots::Kept);
        const QRuntimeError restored = Snapshots::restore(db->path(), kept.last());
        QVERIFY2(restored.isSuccess(), qPrintable(restored.message));
        QCOMPARE(checkedRows(db->path()), oldest);
    }

    void keepsTheNewest()
    {
        QStringList taken;
        for (int i = 0; i <= Snapshots::Kept; ++i)
            taken << Snapshots::take(db->path(), Snapshots::Operation::Clear).snapshot.file;
        QList<Snapshots::Snapshot> kept = Snapshots::list(db->path());
        QCOMPARE(kept.size(), Snapshots::Kept);
        QCOMPARE(kept.first().file, taken.last());
        QCOMPARE(kept.last().file, taken.at(1));
        QVERIFY(!QFile::exists(taken.first()));

        // With the clock set back, the snapshot just taken still stays.
        for (const Snapshots::Snapshot& snapshot : kept) {
            QFile description(snapshot.file.chopped(6) + "json");
            QVERIFY(description.open(QIODevice::ReadWrite));
            const QByteArray text = description.readAll();
            description.resize(0);
            description.seek(0);
            description.write(
                QString::fromUtf8(text)
                    .replace(QRegularExpression("\"taken\": \"\\d{4}"), "\"taken\": \"2999")
                    .toUtf8());
        }
        const QString newest =
            Snapshots::take(db->path(), Snapshots::Operation::Clear).snapshot.file;
        kept = Snapshots::list(db->path());
        QCOMPARE(kept.size(), Snapshots::Kept);
        QCOMPARE(kept.last().file, newest);
    }
};

QTEST_MAIN(TestSnapshots)
#include "tst_snapshots.moc"
