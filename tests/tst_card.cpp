#include "cardformat.h"
#include "mytreewidgetitem.h"
#include "qcard.h"
#include "testsupport.h"
#include "treerows.h"

// The key dialog on a real copy of the template database and a tree laid out as the main
// window's: subscribers 10, 2, 5 and 1, with key 123 of subscriber 1 and key 161,45763 of
// subscribers 2 and 5.
class TestCard : public QObject
{
    Q_OBJECT

    QScopedPointer<TestDatabase> file;
    QScopedPointer<QTreeWidget> tree;
    QScopedPointer<QCard> dialog;
    QMap<int, QTreeWidgetItem*> owners;

    QLineEdit* keyField() { return childOf<QLineEdit>(dialog.data(), "vCard"); }

    // The stored keys as "subscriber:code:format:number:field2".
    QStringList keys()
    {
        return file->column("SELECT subscriber_id || ':' || id || ':' || type || ':' || number || "
                            "':' || field2 FROM card ORDER BY subscriber_id, id");
    }

    QTreeWidgetItem* addKey(int owner, uint code, int format, const QString& number)
    {
        file->addKey(owner, code, format, number, {"", "f2"});
        return TreeRow::newKey(owners[owner], code, format, number, {"", "f2"});
    }

    void open(int owner, QTreeWidgetItem* keyRow, int format, const QString& typed)
    {
        dialog.reset(
            QCard::create(nullptr, &file->db(), format, tree.data(), owners[owner], keyRow));
        dialog->show();
        keyField()->clear();
        QTest::keyClicks(keyField(), typed);
    }

    // Chooses another owner if asked, presses "Сохранить" and returns the text of the box
    // that raised, answered, or nothing.
    QString save(const QString& owner = {})
    {
        if (!owner.isEmpty()) {
            childOf<QCheckBox>(dialog.data(), "cbSubscriber")->setChecked(true);
            childOf<QComboBox>(dialog.data(), "cboxSubscriber")->setCurrentText(owner);
        }
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        childOf<QPushButton>(dialog.data(), "pbOk")->click();
        return answerer.seen.value(0).text;
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        file.reset(new TestDatabase);
        tree.reset(newDatabaseTree());
        for (const int number : {10, 2, 5, 1}) {
            const QString text = QString::number(number);
            file->addSubscriber(number, text + text, text + text + text);
            owners[number] = TreeRow::newSubscriber(number, text + text, text + text + text, {});
            tree->addTopLevelItem(owners[number]);
        }
        addKey(1, 123, 2, "123");
        addKey(2, 0xA1B2C3, 1, "161,45763");
        addKey(5, 0xA1B2C3, 1, "161,45763");
    }

    void cleanup()
    {
        dialog.reset();
        owners.clear();
        tree.reset();
        file.reset();
    }

    void formatSwitch_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("shown");
        QTest::newRow("code to ten digits") << 2 << "123" << 3 << "0000000123";
        QTest::newRow("touch memory to em-marin") << 0 << "ff01778899a1b2c3" << 1 << "161,45763";
        QTest::newRow("ten digits to em-marin") << 3 << "4294967295" << 1 << "255,65535";
        QTest::newRow("unparsed shows as zero") << 3 << "12345" << 2 << "0";
    }
    void formatSwitch()
    {
        QFETCH(int, from);
        QFETCH(QString, typed);
        QFETCH(int, to);
        QFETCH(QString, shown);
        open(1, nullptr, from, typed);
        childOf<QComboBox>(dialog.data(), "cbType")->setCurrentIndex(to);
        QCOMPARE(keyField()->text(), shown);
        QCOMPARE(keyField()->inputMask(), CardFormat::inputMask(to));
        QCOMPARE(childOf<QLabel>(dialog.data(), "lPlaceHolderText")->text(), CardFormat::hint(to));
        QCOMPARE(dialog->focusWidget(), keyField());
    }

    void saveNew_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("result"); // the refusal, or the stored key
        const QString incorrect = "Некорректно указан код ключа.";
        const QString zero = "Код ключа не может быть нулевым (0).";
        QTest::newRow("em-marin max") << 1 << "25565535"
                                      << "10:16777215:1:255,65535:f";
        QTest::newRow("em-marin 256")
            << 1 << "25600000" << incorrect + "\n Диапазон: (000-255) - (00000-65535).";
        QTest::newRow("em-marin incomplete") << 1 << "161" << incorrect;
        QTest::newRow("touch memory") << 0 << "ff01778899a1b2c3"
                                      << "10:10597059:0:FF01778899A1B2C3:f";
        QTest::newRow("touch memory zero code") << 0 << "ffffffffff000000" << zero;
        QTest::newRow("code") << 2 << "9999999"
                              << "10:9999999:2:9999999:f";
        QTest::newRow("ten digits") << 3 << "4294967295"
                                    << "10:16777215:3:4294967295:f";
        QTest::newRow("ten digits wrapping to zero") << 3 << "0016777216" << zero;
    }
    void saveNew()
    {
        QFETCH(int, format);
        QFETCH(QString, typed);
        QFETCH(QString, result);
        const QStringList before = keys();
        open(10, nullptr, format, typed);
        childOf<QLineEdit>(dialog.data(), "vField2")->setText("f");
        const QString refusal = save();
        const bool stored = result.startsWith("10:");
        QCOMPARE(refusal, stored ? QString() : result);
        QCOMPARE(keys(), stored ? before + QStringList(result) : before);
        QCOMPARE(owners[10]->childCount(), stored ? 1 : 0);
        if (!stored) {
            QVERIFY(dialog->isVisible());
            QCOMPARE(dialog->focusWidget(), keyField());
            return;
        }
        // The new row under its owner, with the owner's columns in grey, selected.
        QTreeWidgetItem* row = owners[10]->child(0);
        QVERIFY(dynamic_cast<MyTreeWidgetItem*>(row));
        QCOMPARE(QStringList({row->text(0), row->text(1), row->text(3), row->text(5)}),
                 QStringList({"", result.section(':', 3, 3), "101010", "f"}));
        QCOMPARE(QString("10:%1:%2").arg(TreeRow::keyCode(row)).arg(TreeRow::keyFormat(row)),
                 result.section(':', 0, 2));
        QCOMPARE(row->foreground(TreeRow::Phone).color(), QColor(Qt::lightGray));
        QCOMPARE(tree->currentItem(), row);
    }

    void duplicatesAndMoves()
    {
        // One subscriber cannot hold a key twice; another one can.
        open(1, nullptr, 2, "123");
        QVERIFY(save().startsWith("У абонента '1' ключ с таким номером '123' уже "
                                  "зарегистрирована.\r\nSqlError: "));
        QCOMPARE(save("10"), QString());
        QCOMPARE(keys().filter(":123:").size(), 2);
        // Subscriber 5 holds the same key: editing subscriber 2's leaves it alone.
        QTreeWidgetItem* key = owners[2]->child(0);
        open(2, key, 2, "16145764");
        QCOMPARE(save(), QString());
        QCOMPARE(keys().filter("161,"),
                 QStringList({"2:10597060:1:161,45764:f2", "5:10597059:1:161,45763:f2"}));
        QCOMPARE(key->text(TreeRow::Key), QString("161,45764"));
        // Moved onto a subscriber who holds it already: refused.
        open(2, key, 2, "16145763");
        QVERIFY(save("5").startsWith("У абонента '5' ключ с таким номером '161,45763' уже"));
        QCOMPARE(key->parent(), owners[2]);
        // Moved to another subscriber, in the database and in the tree.
        QCOMPARE(save("1"), QString());
        QCOMPARE(keys().filter("161,"),
                 QStringList({"1:10597059:1:161,45763:f2", "5:10597059:1:161,45763:f2"}));
        QCOMPARE(key->parent(), owners[1]);
        QCOMPARE(key->text(TreeRow::Phone), QString("111"));
        QCOMPARE(tree->currentItem(), key);
        // Another subscriber picked, then "Абонент" unticked: the key stays with its own.
        open(1, key, 2, "16145763");
        childOf<QCheckBox>(dialog.data(), "cbSubscriber")->setChecked(true);
        childOf<QComboBox>(dialog.data(), "cboxSubscriber")->setCurrentText("10");
        childOf<QCheckBox>(dialog.data(), "cbSubscriber")->setChecked(false);
        QCOMPARE(save(), QString());
        QCOMPARE(key->parent(), owners[1]);
    }
};

QTEST_MAIN(TestCard)
#include "tst_card.moc"
