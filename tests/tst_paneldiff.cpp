#include "exportcontent.h"
#include "guitest.h"
#include "paneldiff.h"
#include "testdatabase.h"

#include <QtTest>

// What an export would change in a panel, compared in the panel's own terms, as a script reads
// it: the panel side is what the export of a database leaves in the panel, the other side the
// same database changed.
class TestPanelDiff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareGuiTest(); }

    void differences_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("expected");
        // Values the panel cannot hold are compared as the export would write them.
        QTest::newRow("code cut to six digits")
            << "UPDATE system SET code_open_lock = '1234567'" << QStringList{};
        QTest::newRow("password beyond 24 bits")
            << "UPDATE system SET pass_prog = 16777216 + 654321" << QStringList{};
        QTest::newRow("apartment cut to eight digits")
            << "UPDATE subscriber SET apartment = '123456789' WHERE id = 3" << QStringList{};
        QTest::newRow("subscriber the panel cannot hold")
            << "INSERT INTO subscriber (id, phone) VALUES (9, '')" << QStringList{};
        QTest::newRow("subscriber known by a key only")
            << "INSERT INTO subscriber (id, phone) VALUES (9, ''); INSERT INTO card (id, "
               "subscriber_id, number) VALUES (119, 9, '')"
            << QStringList{"subscriber\t9\t\t9", "key\t119\t\t9"};
        QTest::newRow("apartment, phone, owner, setting")
            << "UPDATE subscriber SET phone = '7770100', apartment = '5' WHERE id = 3; UPDATE card "
               "SET subscriber_id = 24999 WHERE id = 17; UPDATE system SET talk_time = 0"
            << QStringList{"setting\ttalk_time\t300\t0", "apartment\t3\t12345678\t5",
                           "phone\t3\t5551234\t7770100", "key\t17\t3\t24999"};
        QTest::newRow("phone alone") << "UPDATE subscriber SET phone = '7770100' WHERE id = 3"
                                     << QStringList{"phone\t3\t5551234\t7770100"};
        QTest::newRow("removed") << "DELETE FROM subscriber WHERE id = 24999"
                                 << QStringList{"subscriber\t24999\t24999\t",
                                                "key\t65535\t24999\t"};
    }
    void differences()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, expected);
        TestDatabase db;
        QVERIFY(db.exec("UPDATE system SET talk_time = 300, code_open_lock = '123456', "
                        "pass_prog = 654321"));
        db.addSubscriber(3, "12345678", "5551234");
        db.addSubscriber(24999, {}, "0");
        db.addKey(3, 17, 2, "17");
        db.addKey(24999, 65535, 2, "65535");
        const ExportLoad panel = loadExportContent(db.db());
        for (const QString& statement : change.split("; "))
            QVERIFY(db.exec(statement));
        const ExportLoad database = loadExportContent(db.db());
        QVERIFY(panel.error.isEmpty() && database.error.isEmpty());
        QCOMPARE(PanelDiff::lines(PanelDiff::compare(PanelDiff::exportedImage(panel.content),
                                                     PanelDiff::exportedImage(database.content))),
                 expected);
    }

    void groupsForPeople()
    {
        PanelDiff::Differences differences;
        differences.settings = {{"talk_time", 300, 0}};
        differences.subscribers = {{5, false, true, {}, {{}, 5, "12", ""}},
                                   {6, true, false, {{}, 6, "", "555"}, {}},
                                   {7, true, true, {{}, 7, "1", "2"}, {{}, 7, "1", "3"}}};
        differences.keys = {{17, -1, 5}, {18, 6, -1}, {0x030201, 7, 5}};
        QStringList shown;
        for (const PanelDiff::Group& group : PanelDiff::groups(differences, 0))
            shown << group.title << group.items;
        QCOMPARE(shown,
                 QStringList(
                     {"Изменятся настройки: 1", "Ограничить время разговора, сек.: 300 → 0",
                      "Добавятся абоненты: 1", "Абонент 5: квартира 12, телефон —",
                      "Удалятся абоненты: 1", "Абонент 6: квартира —, телефон 555",
                      "Изменятся абоненты (квартира, телефон): 1", "Абонент 7: телефон 2 → 3",
                      "Добавятся ключи: 1", "Ключ 0000000000000011 абонента 5", "Удалятся ключи: 1",
                      "Ключ 0000000000000012 абонента 6", "Перейдут к другому абоненту ключи: 1",
                      "Ключ 0000000000030201: абонент 7 → 5"}));
    }
};

QTEST_MAIN(TestPanelDiff)
#include "tst_paneldiff.moc"
