#include "mytreewidgetitem.h"
#include "qsubscriber.h"
#include "testsupport.h"
#include "treerows.h"

// The subscriber dialog on a real copy of the template database and a tree laid out as the
// main window's.
class TestSubscriber : public QObject
{
    Q_OBJECT

    QScopedPointer<TestDatabase> file;
    QScopedPointer<QTreeWidget> tree;
    QScopedPointer<QSubscriber> dialog;

    QLineEdit* edit(const char* name) { return childOf<QLineEdit>(dialog.data(), name); }

    // A subscriber in the database and its row in the tree; no apartment is NULL.
    QTreeWidgetItem* addSubscriber(int number, const QString& apartment = {})
    {
        file->addSubscriber(number, apartment.isEmpty() ? QVariant() : apartment, "100");
        tree->addTopLevelItem(TreeRow::newSubscriber(number, apartment, "100", {}));
        return tree->topLevelItem(tree->topLevelItemCount() - 1);
    }

    void open(QTreeWidgetItem* row = nullptr)
    {
        dialog.reset(QSubscriber::create(nullptr, &file->db(), tree.data(), row));
        dialog->show();
    }

    // Presses "Сохранить" and returns the box it raised, answered, or an empty record.
    ModalAnswerer::Seen save()
    {
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        childOf<QPushButton>(dialog.data(), "pbOk")->click();
        return answerer.seen.value(0);
    }

    QStringList stored()
    {
        return file->column("SELECT id || ':' || ifnull(apartment, 'NULL') || ':' || phone || ':' "
                            "|| field1 || ':' || field10 FROM subscriber ORDER BY id");
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        file.reset(new TestDatabase);
        tree.reset(newDatabaseTree());
    }

    void cleanup()
    {
        dialog.reset();
        tree.reset();
        file.reset();
    }

    void inputRules_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        // A group separator would make the text unreadable as a number.
        QTest::newRow("no group separator") << "vId" << QString::fromUtf8("1\u00a0234") << "1234";
        // The panel stores 0-9 only; other scripts' digits must not slip in.
        QTest::newRow("apartment, arabic-indic digits")
            << "vApartment" << QString::fromUtf8("1\u06612") << "12";
        QTest::newRow("phone of 13 digits") << "vPhone"
                                            << "+1234567890123"
                                            << "123456789012";
    }
    void inputRules()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        open();
        QLineEdit* line = edit(qPrintable(field));
        line->clear();
        // insert() goes through the validator character by character as typing does.
        for (const QChar c : typed)
            line->insert(QString(c));
        QCOMPARE(line->text(), kept);
    }

    void proposesLowestFreeNumber()
    {
        for (int id : {0, 1, 3})
            addSubscriber(id);
        open();
        QCOMPARE(edit("vId")->text(), QString("2"));
        // All numbers taken: said so, and the dialog opens without a number.
        QVERIFY(file->exec("WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < 24999) INSERT INTO subscriber (id) SELECT i FROM n "
                           "WHERE i <> 3"));
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        open();
        QCOMPARE(answerer.seen.value(0).title, QString("Абонент: Новый"));
        QCOMPARE(answerer.seen.value(0).text, QString("Лимит абонентов исчерпан (25000)."));
        QCOMPARE(edit("vId")->text(), QString());
    }

    void refused_data()
    {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("apartment");
        QTest::addColumn<QString>("pattern");
        const QString taken = "^Абонент с таким номером '4' уже зарегистрирован\\.\\r\\nSqlError: "
                              ".*subscriber\\.id.*\\.$";
        const QString flatTaken =
            "^Абонент с таким номером квартиры '15' уже зарегистрирован\\.\\r\\nSqlError: "
            ".*subscriber\\.apartment.*\\.$";
        const auto row = [](const char* name, bool editing, const char* number,
                            const char* apartment, const QString& pattern) {
            QTest::newRow(name) << editing << QString(number) << QString(apartment) << pattern;
        };
        row("no number", false, "", "16", "^Необходимо указать номер абонента\\.$");
        row("25000", false, "25000", "16",
            "^Номер абонента должен находиться в пределах 0-24999\\.$");
        row("new, number taken", false, "4", "16", taken);
        row("new, apartment taken", false, "5", "15", flatTaken);
        row("renumbered onto a taken number", true, "4", "20", taken);
        row("edited onto a taken apartment", true, "9", "15", flatTaken);
        // A refusal that names neither column is not reported as one that does.
        row("refused otherwise", false, "5", "", "^SqlError: refused.*\\.$");
    }
    void refused()
    {
        QFETCH(bool, editing);
        QFETCH(QString, number);
        QFETCH(QString, apartment);
        QFETCH(QString, pattern);
        addSubscriber(4, "15");
        QTreeWidgetItem* edited = addSubscriber(9, "20");
        QVERIFY(file->exec("CREATE TRIGGER refuse BEFORE INSERT ON subscriber WHEN NEW.id = 5 "
                           "AND NEW.apartment IS NULL BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        open(editing ? edited : nullptr);
        edit("vId")->setText(number);
        edit("vApartment")->setText(apartment);
        edit("vPhone")->setFocus();
        const ModalAnswerer::Seen seen = save();
        QCOMPARE(seen.title, dialog->windowTitle());
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY2(QRegularExpression(pattern).match(seen.text).hasMatch(), qPrintable(seen.text));
        // The dialog stays with the input as typed; a wrong number has the focus.
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->focusWidget() == edit("vId"), !pattern.contains("SqlError"));
        QCOMPARE(stored(), QStringList({"4:15:100::", "9:20:100::"}));
        QCOMPARE(edited->text(0) + edited->text(2), QString("920"));
    }

    void newSubscribers()
    {
        // Without apartment and phone, twice: NULL apartments do not collide, no phone is ''.
        for (int n = 0; n < 2; ++n) {
            open();
            QCOMPARE(save().text, QString());
        }
        open();
        edit("vId")->setText("012");
        edit("vApartment")->setText("34");
        edit("vPhone")->setText("5551234");
        edit("vField1")->setText("Иванов");
        edit("vField10")->setText("last");
        QCOMPARE(save().text, QString());
        // The number is stored and shown as the number it is.
        QCOMPARE(stored(), QStringList({"0:NULL:::", "1:NULL:::", "12:34:5551234:Иванов:last"}));
        QTreeWidgetItem* row = tree->currentItem();
        QVERIFY(dynamic_cast<MyTreeWidgetItem*>(row));
        QCOMPARE(row->data(0, Qt::UserRole).toInt(), 12);
        QCOMPARE(
            QStringList({row->text(0), row->text(2), row->text(3), row->text(4), row->text(13)}),
            QStringList({"12", "34", "5551234", "Иванов", "last"}));
    }

    void renumberMovesKeys()
    {
        QTreeWidgetItem* row = addSubscriber(5, "10");
        for (uint code : {1001u, 1002u}) {
            file->addKey(5, code, 2, QString::number(code));
            TreeRow::newKey(row, code, 2, QString::number(code), {});
        }
        row->setText(TreeRow::FirstField + 9, "f10");
        tree->headerItem()->setText(TreeRow::FirstField + 9, "Этаж");
        open(row);
        QCOMPARE(dialog->windowTitle(), QString("Абонент: 5"));
        QCOMPARE(childOf<QLabel>(dialog.data(), "lField10")->text(), QString("Этаж"));
        QCOMPARE(edit("vPhone")->text() + edit("vField10")->text(), QString("100f10"));
        edit("vId")->setText("7");
        edit("vApartment")->clear();
        edit("vPhone")->setText("222");
        QCOMPARE(save().text, QString());
        // The keys followed their subscriber through the cascade, and show its new columns.
        QCOMPARE(file->column("SELECT subscriber_id || ':' || id FROM card ORDER BY id"),
                 QStringList({"7:1001", "7:1002"}));
        QCOMPARE(stored(), QStringList({"7:NULL:222::f10"}));
        QCOMPARE(row->text(0) + "|" + row->text(2) + "|" + row->text(3), QString("7||222"));
        QCOMPARE(TreeRow::subscriberNumber(row->child(1)), 7);
        QCOMPARE(row->child(1)->text(2) + "|" + row->child(1)->text(3), QString("|222"));
    }
};

QTEST_MAIN(TestSubscriber)
#include "tst_subscriber.moc"
