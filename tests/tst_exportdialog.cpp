#include "datafolders.h"
#include "exportchain.h"
#include "panelfixture.h"
#include "qexport.h"

#include <QtTest>

#include <QCheckBox>
#include <QLabel>
#include <QTreeWidget>

using Fault = PanelSimulator::FaultKind;

// The export dialog's safeguards against the simulated panel: an export broken off by the link
// and resumed, or left; the comparison with the panel before exporting; the panel's copy.
class TestExportDialog : public QObject, PanelFixture
{
    Q_OBJECT

    QTemporaryDir snapshots;
    QByteArray exported; // the panel after a clean export of the database

    void exportWith(const QList<QMessageBox::StandardButton>& answers, int boxes)
    {
        open<QExport>();
        for (QMessageBox::StandardButton answer : answers)
            answerer->press(answer);
        button("pbExport")->click();
        QVERIFY(answerer->waitForAnswered(boxes, 20000));
    }
    QString stopped() { return childOf<QLabel>(dialog, "lStopped")->text(); }

private slots:
    void initTestCase()
    {
        prepareGuiTest();
        qputenv("OSTROVEL_SNAPSHOTS", snapshots.path().toLocal8Bit());
    }

    void init()
    {
        setUp();
        settingsStore().remove("QExport/cbPanelCopy");
        // 20 apartment blocks, 30 phone blocks, 5 key blocks.
        QVERIFY(db->exec("WITH RECURSIVE n(x) AS (SELECT 0 UNION SELECT x + 1 FROM n WHERE x < "
                         "59) INSERT INTO subscriber (id, apartment, phone) SELECT x * 5, x + 1, "
                         "'555' || x FROM n"));
        QVERIFY(db->exec("INSERT INTO card (id, subscriber_id, number) SELECT id + 100, id, '' "
                         "FROM subscriber"));
        // What the export's clearing has to remove.
        sim->setApartmentRecord(24990, QByteArray::fromHex("11111111"));
        sim->setKeyRecord(100, QByteArray::fromHex("0101010101"));
        if (exported.isEmpty())
            exported = cleanlyExported(loadExportContent(db->db()).content);
    }

    void cleanup() { tearDown(); }

    void resumeWritesTheRest_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("block"); // from 1, as the dialog counts
        QTest::addColumn<int>("blocks");
        QTest::addColumn<QString>("stage");
        QTest::addColumn<int>("requests"); // of the resume: the writes and one read back
        // Read back before resuming: the settings record, the block before in the stage, the
        // last block of the stage before; the settings stage clears again instead.
        QTest::newRow("settings") << 0x24 << 1 << 1 << "Процесс очистки и экспорта настроек"
                                  << 1 + 1 + 20 + 30 + 5;
        QTest::newRow("first apartment block")
            << 0x26 << 1 << 20 << "Процесс экспорта квартир" << 1 + 20 + 30 + 5;
        QTest::newRow("phones") << 0x27 << 12 << 30 << "Процесс экспорта телефонов" << 1 + 19 + 5;
        QTest::newRow("first key block") << 0x25 << 1 << 5 << "Процесс экспорта ключей" << 1 + 5;
    }
    void resumeWritesTheRest()
    {
        QFETCH(int, command);
        QFETCH(int, block);
        QFETCH(int, blocks);
        QFETCH(QString, stage);
        QFETCH(int, requests);
        if (block > 1)
            sim->injectFault(command, Fault::Delay, 0, block - 1);
        sim->injectFault(command, Fault::Silence, 0, 3);
        exportWith({QMessageBox::Yes, QMessageBox::Ok}, 2);
        QCOMPARE(answerer->seen.at(1).title, stage);
        QTRY_VERIFY(button("pbResume")->isVisible());
        QCOMPARE(button("pbResume")->text(), QString("Продолжить с блока %1").arg(block));
        QCOMPARE(stopped(), QString("Панель заполнена не полностью.\nЭкспорт прерван на этапе "
                                    "«%1», блок %2 из %3.")
                                .arg(stage)
                                .arg(block)
                                .arg(blocks));
        QVERIFY(link->polling);
        sim->clearLog();
        answerer->press(QMessageBox::Ok);
        button("pbResume")->click();
        QVERIFY(answerer->waitForAnswered(3, 20000));
        QCOMPARE(answerer->seen.at(2).text, QString("Экспорт данных в панель выполнен успешно."));
        QCOMPARE(panelMemory(*sim), exported);
        // Only the failed block and those after it went out.
        QCOMPARE(sim->requestCount(command), blocks - block + 1);
        QCOMPARE(sim->requestCount(), requests);
    }

    void stopsThatCannotGoOn_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("then"); // close, change the panel, or nothing
        QTest::addColumn<QString>("message");
        const QString keys = "Панель заполнена не полностью.\r\nЭкспорт прерван на этапе «Процесс "
                             "экспорта ключей», блок 2 из 5.\r\nДанные нужно экспортировать в "
                             "панель заново.";
        QTest::newRow("closed instead") << 0x25 << int(Fault::BadDataCrc) << "close" << keys;
        QTest::newRow("panel changed meanwhile")
            << 0x25 << int(Fault::Silence) << "change"
            << "Панель не вернула записанные ранее данные: возможно, подключена другая панель "
               "или её память изменилась.\r\nПродолжить экспорт нельзя.";
        QTest::newRow("refused by the panel") << 0x25 << int(Fault::ResultCode) << "" << keys;
        QTest::newRow("clearing unanswered")
            << 0x01 << int(Fault::Silence) << ""
            << "Память панели могла быть очищена.\r\nЭкспорт прерван на этапе «Очистка памяти "
               "панели».\r\nДанные нужно экспортировать в панель заново.";
    }
    void stopsThatCannotGoOn()
    {
        QFETCH(int, command);
        QFETCH(int, fault);
        QFETCH(QString, then);
        QFETCH(QString, message);
        if (command == 0x25)
            sim->injectFault(command, Fault::Delay, 0, 1);
        sim->injectFault(command, Fault(fault), 8, 3);
        exportWith({QMessageBox::Yes, QMessageBox::Ok, QMessageBox::Ok}, 2);
        QTRY_VERIFY(button("pbExport")->isEnabled());
        sim->clearLog();
        if (then == "close") {
            button("pbClose")->click();
            QVERIFY(answerer->waitForAnswered(3));
            QCOMPARE(answerer->seen.at(2).title, QString("Предупреждение"));
            QCOMPARE(answerer->seen.at(2).text, message);
            QTRY_VERIFY(!dialog->isVisible());
        } else if (then == "change") {
            // The last confirmed block no longer holds what was written.
            sim->setKeyRecord(0, QByteArray::fromHex("0202020202"));
            button("pbResume")->click();
            QVERIFY(answerer->waitForAnswered(3));
            QCOMPARE(answerer->seen.at(2).text, message);
            QCOMPARE(sim->requestCount(), 1);
            QVERIFY(stopped().endsWith("Данные нужно экспортировать в панель заново."));
        } else {
            QCOMPARE(stopped(), QString(message).replace("\r\n", "\n"));
        }
        QVERIFY(!button("pbResume")->isVisible());
        QCOMPARE(sim->requestCount(0x25), 0);
    }

    void compareGroupsTheDifferences_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("none") << "" << QStringList{"Нет различий"};
        QTest::newRow("each way")
            << "UPDATE system SET talk_time = 7; DELETE FROM subscriber WHERE id IN (5, 25); "
               "UPDATE subscriber SET phone = '1' WHERE id IN (10, 15); INSERT INTO subscriber "
               "(id, apartment) VALUES (7, '70'); INSERT INTO card (id, subscriber_id, number) "
               "VALUES (1, 7, ''); UPDATE card SET subscriber_id = 0 WHERE id = 120"
            << QStringList{"Экспорт изменит в панели:",
                           "Изменятся настройки: 1",
                           "Добавятся абоненты: 1",
                           "Удалятся абоненты: 2",
                           "Изменятся абоненты (квартира, телефон): 2",
                           "Добавятся ключи: 1",
                           "Удалятся ключи: 2",
                           "Перейдут к другому абоненту ключи: 1"};
    }
    void compareGroupsTheDifferences()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, shown);
        exportWith({QMessageBox::Yes, QMessageBox::Ok}, 2);
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        for (const QString& statement : change.split("; ", Qt::SkipEmptyParts))
            QVERIFY(db->exec(statement));
        sim->clearLog();
        open<QExport>();
        button("pbCompare")->click();
        QTRY_VERIFY_WITH_TIMEOUT(button("pbCompare")->isEnabled(), 20000);
        QStringList seen{childOf<QLabel>(dialog, "lDiff")->text()};
        auto* tree = childOf<QTreeWidget>(dialog, "twDiff");
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            seen << tree->topLevelItem(i)->text(0);
        QCOMPARE(seen, shown);
        QCOMPARE(tree->isVisible(), shown.size() > 1);
        // The dialog stays within a small screen, its buttons in view; the list scrolls.
        QVERIFY2(dialog->height() <= 600 - 40, qPrintable(QString::number(dialog->height())));
        QVERIFY(button("pbClose")->geometry().bottom() < dialog->height());
        // Comparing reads the whole panel and writes nothing.
        QCOMPARE(sim->requestCount(), 6252);
        QVERIFY(link->polling);
        QVERIFY(answerer->seen.isEmpty());
    }

    void panelCopiesOfKilledRunsSwept()
    {
        // A copy being made is held by its run; what a killed run left goes with the next copy.
        const PanelCopy::Result living = PanelCopy::prepare(db->path());
        QVERIFY2(living.error.isEmpty(), qPrintable(living.error));
        const QString killed =
            QFileInfo(living.file).path() + "/panel-20000101-000000-000.zelkor.part";
        for (const QString& left : {killed, killed + "-journal"})
            QVERIFY(QFile(left).open(QIODevice::WriteOnly));
        const PanelCopy::Result next = PanelCopy::prepare(db->path());
        QVERIFY2(next.error.isEmpty(), qPrintable(next.error));
        QVERIFY(QFile::exists(living.file));
        QVERIFY(!QFile::exists(killed) && !QFile::exists(killed + "-journal"));
        PanelCopy::discard(living.file);
        PanelCopy::discard(next.file);
        QVERIFY(!QFile::exists(living.file) && !QFile::exists(next.file));
    }

    void panelCopyBeforeClearing_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("written") << true;
        QTest::newRow("cannot be written") << false;
    }
    void panelCopyBeforeClearing()
    {
        QFETCH(bool, writable);
        sim->setApartmentRecord(0, QByteArray::fromHex("21000000"));
        sim->setPhoneRecord(16, QByteArray::fromHex("77a7a10a0000"));
        sim->setKeyRecord(0, QByteArray::fromHex("0102030500"));
        const QByteArray before = panelMemory(*sim);
        // A long way to the copy, as a home folder deep in a network share has.
        const QString root = snapshots.filePath(QString(150, 'k'));
        qputenv("OSTROVEL_SNAPSHOTS", root.toLocal8Bit());
        const QString folder = DataFolders::snapshotFolder(db->path());
        QVERIFY(QDir().mkpath(folder));
        // Older copies beyond the number kept, and a file that is not a copy.
        for (int i = 0; i < 11; ++i)
            QFile(folder + QString("/panel-20000101-000000-%1.zelkor").arg(i, 3, 10, QChar('0')))
                .open(QIODevice::WriteOnly);
        QFile(folder + "/snapshot.zelkor").open(QIODevice::WriteOnly);
        open<QExport>();
        childOf<QCheckBox>(dialog, "cbPanelCopy")->setChecked(true);
        qputenv("OSTROVEL_SNAPSHOTS", (writable ? root : db->path()).toLocal8Bit());
        exportWith({QMessageBox::Yes, QMessageBox::Ok}, 2);
        qputenv("OSTROVEL_SNAPSHOTS", snapshots.path().toLocal8Bit());
        QStringList files = QDir(folder).entryList(QDir::Files);
        const QString message = answerer->seen.at(1).text;
        if (!writable) {
            QVERIFY2(message.startsWith("Ошибка создания файла: ") &&
                         message.endsWith("Экспорт остановлен до очистки панели: панель не "
                                          "изменена."),
                     qPrintable(message));
            // Found before the panel was read, let alone cleared.
            QVERIFY(sim->frames().isEmpty());
            QCOMPARE(panelMemory(*sim), before);
            QCOMPARE(files.size(), 12);
            return;
        }
        QTRY_COMPARE(dialog->result(), int(QDialog::Accepted));
        const QString copy = folder + '/' + files.at(files.size() - 2);
        QCOMPARE(message,
                 "Экспорт данных в панель выполнен успешно.\r\nКопия панели до экспорта: " + copy);
        QCOMPARE(files.size(), 11);
        // The copy's path does not widen the dialog; its tip has it whole.
        QCOMPARE(childOf<QLabel>(dialog, "lPanelCopy")->toolTip(),
                 "Копия панели до экспорта: " + copy);
        QVERIFY2(dialog->width() <= 700, qPrintable(QString::number(dialog->width())));
        QCOMPARE(files.filter("panel-2000").size(), 9);
        QVERIFY(files.contains("snapshot.zelkor") &&
                !files.contains("panel-20000101-000000-001.zelkor"));
        TestDatabase opened;
        QVERIFY(opened.reopen(copy, true));
        QCOMPARE(opened.column("SELECT id || ':' || IFNULL(apartment, '') || ':' || phone FROM "
                               "subscriber UNION ALL SELECT subscriber_id || ':' || number FROM "
                               "card"),
                 QStringList({"0:12:", "5::", "16::7770100", "257::", "24990:11111111:", "5:197121",
                              "257:65793"}));
        // The choice is remembered.
        open<QExport>();
        QVERIFY(childOf<QCheckBox>(dialog, "cbPanelCopy")->isChecked());
    }
};

QTEST_MAIN(TestExportDialog)
#include "tst_exportdialog.moc"
