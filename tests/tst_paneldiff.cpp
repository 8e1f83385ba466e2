#include "exportcontent.h"
#include "guitest.h"
#include "paneldiff.h"
#include "testdatabase.h"

#include <QtTest>

// What an export would change in a panel, compared in the panel's own terms: the panel side is
// what the export of a database leaves in the panel, the other side the same database changed.
class TestPanelDiff : public QObject
{
    Q_OBJECT

    static QStringList describe(const PanelDiff::Differences& differences)
    {
        const auto side = [](bool present, const QString& value) {
            return present ? value : QStringLiteral("-");
        };
        QStringList out;
        for (const PanelDiff::Setting& setting : differences.settings)
            out << QString("setting %1 %2/%3")
                       .arg(setting.column, setting.panel.toString(), setting.database.toString());
        for (const PanelDiff::Subscriber& s : differences.subscribers)
            out << QString("subscriber %1 %2/%3")
                       .arg(s.number)
                       .arg(side(s.onPanel, s.panel.apartment + ',' + s.panel.phone),
                            side(s.inDatabase, s.database.apartment + ',' + s.database.phone));
        for (const PanelDiff::Key& key : differences.keys)
            out << QString("key %1 %2/%3")
                       .arg(key.code)
                       .arg(side(key.panelOwner >= 0, QString::number(key.panelOwner)),
                            side(key.databaseOwner >= 0, QString::number(key.databaseOwner)));
        return out;
    }

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
            << QStringList{"subscriber 9 -/,", "key 119 -/9"};
        QTest::newRow("phone, owner, setting")
            << "UPDATE subscriber SET phone = '7770100' WHERE id = 3; UPDATE card SET "
               "subscriber_id = 24999 WHERE id = 17; UPDATE system SET talk_time = 0"
            << QStringList{"setting talk_time 300/0",
                           "subscriber 3 12345678,5551234/12345678,7770100", "key 17 3/24999"};
        QTest::newRow("removed") << "DELETE FROM subscriber WHERE id = 24999"
                                 << QStringList{"subscriber 24999 ,0/-", "key 65535 24999/-"};
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
        QCOMPARE(describe(PanelDiff::compare(PanelDiff::exportedImage(panel.content),
                                             PanelDiff::exportedImage(database.content))),
                 expected);
    }
};

QTEST_MAIN(TestPanelDiff)
#include "tst_paneldiff.moc"
