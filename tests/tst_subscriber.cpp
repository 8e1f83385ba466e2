#include "guitest.h"
#include "modalanswerer.h"
#include "mytreewidgetitem.h"
#include "qsubscriber.h"
#include "testdatabase.h"
#include "treerows.h"

#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTreeWidget>

// The subscriber dialog on a real copy of the template database and a tree laid out as the
// main window's.
class TestSubscriber : public QObject
{
    Q_OBJECT

    QScopedPointer<TestDatabase> file;
    QScopedPointer<QTreeWidget> tree;
    QSubscriber* dialog = nullptr;

    QLineEdit* edit(const char* name) { return dialog->findChild<QLineEdit*>(name); }
    QPushButton* button(const char* name) { return dialog->findChild<QPushButton*>(name); }

    QSqlDatabase* db() { return &file->db(); }

    // A subscriber in the database and its row in the tree.
    QTreeWidgetItem* addSubscriber(int number, const QString& apartment = QString(),
                                   const QString& phone = QString())
    {
        // No apartment is NULL, no phone ''.
        file->addSubscriber(number, apartment.isEmpty() ? QVariant() : apartment, phone);
        QTreeWidgetItem* row = TreeRow::newSubscriber(number, apartment, phone, QStringList());
        tree->addTopLevelItem(row);
        return row;
    }
    QTreeWidgetItem* addKey(QTreeWidgetItem* owner, uint code)
    {
        const int number = TreeRow::subscriberNumber(owner);
        file->addKey(number, code, 2, QString::number(code));
        return TreeRow::newKey(owner, code, 2, QString::number(code), QStringList());
    }

    void open(QTreeWidgetItem* row = nullptr)
    {
        dialog = QSubscriber::create(nullptr, db(), tree.data(), row);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
    }

    // Presses "Сохранить" and answers the one critical box it is expected to raise.
    ModalAnswerer::Seen saveRefused()
    {
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        button("pbOk")->click();
        if (!answerer.waitForAnswered(1))
            return ModalAnswerer::Seen();
        return answerer.seen.value(0);
    }

    // Presses "Сохранить" where no box is expected; one that comes anyway is answered, so a
    // fault fails the test instead of hanging it.
    void saveAccepted()
    {
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        button("pbOk")->click();
        QVERIFY2(answerer.seen.isEmpty(), qPrintable(answerer.seen.value(0).text));
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        file.reset(new TestDatabase);
        QVERIFY(file->isValid());
        tree.reset(newDatabaseTree());
    }

    void cleanup()
    {
        delete dialog;
        dialog = nullptr;
        tree.reset();
        file.reset();
    }

    void form()
    {
        open();
        QCOMPARE(dialog->windowTitle(), QString("Абонент: Новый"));
        QCOMPARE(dialog->findChild<QLabel*>("label")->text(), QString("Абонент"));
        QCOMPARE(dialog->findChild<QLabel*>("label_2")->text(), QString("Квартира"));
        QCOMPARE(dialog->findChild<QLabel*>("label_3")->text(), QString("Телефон"));
        QCOMPARE(dialog->findChild<QLabel*>("label_4")->text(), QString("Дополнительные поля"));
        QCOMPARE(edit("vId")->placeholderText(), QString("Укажите номер абонента (0 - 24999)"));
        QCOMPARE(edit("vApartment")->placeholderText(),
                 QString("Укажите номер квартиры (не обязательно)"));
        QCOMPARE(edit("vPhone")->placeholderText(),
                 QString("Укажите номер телефона (не обязательно)"));
        QCOMPARE(edit("vId")->maxLength(), 5);
        QCOMPARE(edit("vApartment")->maxLength(), 8);
        QCOMPARE(edit("vPhone")->maxLength(), 12);
        for (int n = 1; n <= 10; ++n)
            QCOMPARE(edit(qPrintable(QString("vField%1").arg(n)))->maxLength(), 255);
        QCOMPARE(button("pbOk")->text(), QString("Сохранить"));
        QVERIFY(button("pbOk")->isDefault());
        QCOMPARE(button("pbCancel")->text(), QString("Отмена"));
        // Opened at the least height its layout allows.
        QCOMPARE(dialog->height(), dialog->minimumHeight());
        // The empty template proposes the first number.
        QCOMPARE(edit("vId")->text(), QString("0"));
    }

    void inputRules_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("number") << "vId"
                                << "24999"
                                << "24999";
        QTest::newRow("no minus sign") << "vId"
                                       << "-1"
                                       << "1";
        QTest::newRow("no letters in number") << "vId"
                                              << "1a"
                                              << "1";
        // A group separator would make the text unreadable as a number.
        QTest::newRow("no group separator") << "vId"
                                            << "1,234"
                                            << "1234";
        QTest::newRow("no russian group separator")
            << "vId" << QString::fromUtf8("1\u00a0234") << "1234";
        QTest::newRow("number too long") << "vId"
                                         << "123456"
                                         << "12345";
        QTest::newRow("apartment") << "vApartment"
                                   << "12345678"
                                   << "12345678";
        QTest::newRow("apartment of 9 digits") << "vApartment"
                                               << "123456789"
                                               << "12345678";
        QTest::newRow("apartment letter") << "vApartment"
                                          << "15a"
                                          << "15";
        // The panel stores 0-9 only; other scripts' digits must not slip in.
        QTest::newRow("apartment arabic-indic digits")
            << "vApartment" << QString::fromUtf8("\u0661\u0662") << "";
        QTest::newRow("phone") << "vPhone"
                               << "123456789012"
                               << "123456789012";
        QTest::newRow("phone of 13 digits") << "vPhone"
                                            << "1234567890123"
                                            << "123456789012";
        QTest::newRow("phone plus") << "vPhone"
                                    << "+7123"
                                    << "7123";
        QTest::newRow("phone fullwidth digits")
            << "vPhone" << QString::fromUtf8("\uff11\uff12") << "";
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
        addSubscriber(0);
        addSubscriber(1);
        addSubscriber(3);
        open();
        QCOMPARE(edit("vId")->text(), QString("2"));
    }

    void limitOfSubscribers()
    {
        QVERIFY(db()->transaction());
        QSqlQuery query(*db());
        QVERIFY(query.prepare("INSERT INTO subscriber (id) VALUES (?)"));
        for (int id = 0; id < 25000; ++id) {
            query.bindValue(0, id);
            QVERIFY(query.exec());
        }
        QVERIFY(db()->commit());

        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        dialog = QSubscriber::create(nullptr, db(), tree.data(), nullptr);
        QVERIFY(answerer.waitForAnswered(1));
        QCOMPARE(answerer.seen[0].title, QString("Абонент: Новый"));
        QCOMPARE(answerer.seen[0].text, QString("Лимит абонентов исчерпан (25000)."));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
        // The dialog still opens, without a number.
        dialog->show();
        QCOMPARE(edit("vId")->text(), QString());
    }

    void numberChecked_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << ""
                               << "Необходимо указать номер абонента.";
        QTest::newRow("lone sign") << "+"
                                   << "Необходимо указать номер абонента.";
        QTest::newRow("25000") << "25000"
                               << "Номер абонента должен находиться в пределах 0-24999.";
        QTest::newRow("99999") << "99999"
                               << "Номер абонента должен находиться в пределах 0-24999.";
    }
    void numberChecked()
    {
        QFETCH(QString, number);
        QFETCH(QString, message);
        open();
        edit("vId")->setText(number);
        edit("vPhone")->setFocus();
        const ModalAnswerer::Seen seen = saveRefused();
        QCOMPARE(seen.title, QString("Абонент: Новый"));
        QCOMPARE(seen.text, message);
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(dialog->focusWidget(), edit("vId"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(file->value("SELECT count(*) FROM subscriber").toInt(), 0);
        QCOMPARE(tree->topLevelItemCount(), 0);
    }

    void refusedByDatabase_data()
    {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("apartment");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("new, number taken")
            << false << "4"
            << "16"
            << "^Абонент с таким номером '4' уже зарегистрирован\\.\\r\\nSqlError: "
               ".*UNIQUE constraint failed: subscriber\\.id.*\\.$";
        QTest::newRow("new, apartment taken")
            << false << "5"
            << "15"
            << "^Абонент с таким номером квартиры '15' уже зарегистрирован\\.\\r\\nSqlError: "
               ".*UNIQUE constraint failed: subscriber\\.apartment.*\\.$";
        QTest::newRow("renumbered onto a taken number")
            << true << "4"
            << "20"
            << "^Абонент с таким номером '4' уже зарегистрирован\\.\\r\\nSqlError: "
               ".*subscriber\\.id.*\\.$";
        QTest::newRow("edited onto a taken apartment")
            << true << "9"
            << "15"
            << "^Абонент с таким номером квартиры '15' уже зарегистрирован\\.\\r\\nSqlError: "
               ".*subscriber\\.apartment.*\\.$";
    }
    void refusedByDatabase()
    {
        QFETCH(bool, editing);
        QFETCH(QString, number);
        QFETCH(QString, apartment);
        QFETCH(QString, pattern);
        addSubscriber(4, "15", "100");
        QTreeWidgetItem* edited = addSubscriber(9, "20", "200");
        open(editing ? edited : nullptr);
        const QString title = dialog->windowTitle();
        edit("vId")->setText(number);
        edit("vApartment")->setText(apartment);
        const ModalAnswerer::Seen seen = saveRefused();
        QCOMPARE(seen.title, title);
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY2(QRegularExpression(pattern).match(seen.text).hasMatch(), qPrintable(seen.text));
        // The dialog stays with the input as typed; nothing changed.
        QVERIFY(dialog->isVisible());
        QCOMPARE(edit("vId")->text(), number);
        QCOMPARE(edit("vApartment")->text(), apartment);
        QCOMPARE(file->column("SELECT id || ':' || apartment FROM subscriber ORDER BY id"),
                 QStringList({"4:15", "9:20"}));
        QCOMPARE(tree->topLevelItemCount(), 2);
        QCOMPARE(edited->text(0), QString("9"));
        QCOMPARE(edited->text(2), QString("20"));
    }

    void otherDatabaseErrorHasNoDetail()
    {
        // A refusal that names neither column must not be reported as one that does.
        QVERIFY(file->exec("CREATE TRIGGER refuse BEFORE INSERT ON subscriber "
                           "BEGIN SELECT RAISE(ABORT, 'refused by trigger'); END"));
        open();
        const ModalAnswerer::Seen seen = saveRefused();
        QVERIFY2(
            QRegularExpression("^SqlError: refused by trigger.*\\.$").match(seen.text).hasMatch(),
            qPrintable(seen.text));
        QVERIFY(dialog->isVisible());
        QCOMPARE(tree->topLevelItemCount(), 0);
    }

    void newSubscribersWithoutApartmentOrPhone()
    {
        for (int n = 0; n < 2; ++n) {
            open();
            QCOMPARE(edit("vId")->text(), QString::number(n));
            QVERIFY(edit("vApartment")->text().isEmpty());
            QVERIFY(edit("vPhone")->text().isEmpty());
            saveAccepted();
            delete dialog;
            dialog = nullptr;
        }
        // Both stored: NULL apartments do not collide in the unique index; no phone is ''.
        QCOMPARE(file->column("SELECT apartment FROM subscriber ORDER BY id"),
                 QStringList({"NULL", "NULL"}));
        QCOMPARE(file->column("SELECT phone FROM subscriber ORDER BY id"), QStringList({"", ""}));
        QCOMPARE(
            file->value("SELECT count(*) FROM subscriber WHERE field1 IS NULL OR field10 IS NULL")
                .toInt(),
            0);
        // A second subscriber with the same apartment is refused.
        open();
        edit("vApartment")->setText("15");
        saveAccepted();
        delete dialog;
        dialog = nullptr;
        open();
        edit("vApartment")->setText("15");
        QVERIFY(saveRefused().text.startsWith(
            "Абонент с таким номером квартиры '15' уже зарегистрирован.\r\nSqlError: "));
    }

    void newSubscriberSavedAndShown()
    {
        addSubscriber(0);
        open();
        edit("vId")->setText("12");
        edit("vApartment")->setText("34");
        edit("vPhone")->setText("5551234");
        edit("vField1")->setText("Иванов");
        edit("vField10")->setText("last");
        saveAccepted();
        QVERIFY(!dialog->isVisible());

        QSqlQuery query(*db());
        QVERIFY(query.exec("SELECT apartment, phone, field1, field2, field10 FROM subscriber "
                           "WHERE id = 12"));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QString("34"));
        QCOMPARE(query.value(1).toString(), QString("5551234"));
        QCOMPARE(query.value(2).toString(), QString("Иванов"));
        QVERIFY(!query.isNull(3));
        QCOMPARE(query.value(4).toString(), QString("last"));

        QCOMPARE(tree->topLevelItemCount(), 2);
        QTreeWidgetItem* row = tree->currentItem();
        QVERIFY(row);
        QVERIFY(dynamic_cast<MyTreeWidgetItem*>(row));
        QVERIFY(!row->parent());
        QCOMPARE(row->data(0, Qt::UserRole).toInt(), 12);
        QCOMPARE(row->text(0), QString("12"));
        QCOMPARE(row->text(1), QString());
        QCOMPARE(row->text(2), QString("34"));
        QCOMPARE(row->text(3), QString("5551234"));
        QCOMPARE(row->text(4), QString("Иванов"));
        QCOMPARE(row->text(13), QString("last"));
    }

    void numberWithLeadingZeros()
    {
        // Stored and shown as the number it is, so the tree and the database agree.
        open();
        edit("vId")->setText("007");
        saveAccepted();
        QCOMPARE(file->column("SELECT typeof(id) || ':' || id FROM subscriber"),
                 QStringList({"integer:7"}));
        QCOMPARE(tree->topLevelItem(0)->text(0), QString("7"));
        QCOMPARE(tree->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 7);
    }

    void editShowsRow()
    {
        QTreeWidgetItem* row = addSubscriber(12, "44", "89001234567");
        for (int n = 0; n < TreeRow::FieldCount; ++n)
            row->setText(TreeRow::FirstField + n, QString("f%1").arg(n + 1));
        open(row);
        QCOMPARE(dialog->windowTitle(), QString("Абонент: 12"));
        QCOMPARE(edit("vId")->text(), QString("12"));
        QCOMPARE(edit("vApartment")->text(), QString("44"));
        QCOMPARE(edit("vPhone")->text(), QString("89001234567"));
        QCOMPARE(edit("vField1")->text(), QString("f1"));
        QCOMPARE(edit("vField10")->text(), QString("f10"));
    }

    void renumberMovesKeys()
    {
        addSubscriber(3, "1");
        QTreeWidgetItem* row = addSubscriber(5, "10", "111");
        QTreeWidgetItem* key1 = addKey(row, 1001);
        QTreeWidgetItem* key2 = addKey(row, 1002);
        open(row);
        QCOMPARE(dialog->windowTitle(), QString("Абонент: 5"));
        edit("vId")->setText("7");
        edit("vApartment")->clear();
        edit("vPhone")->setText("222");
        edit("vField2")->setText("second");
        saveAccepted();

        // The keys followed their subscriber through the cascade.
        QCOMPARE(file->column("SELECT subscriber_id || ':' || id FROM card ORDER BY id"),
                 QStringList({"7:1001", "7:1002"}));
        QCOMPARE(file->column("SELECT id FROM subscriber ORDER BY id"), QStringList({"3", "7"}));
        QCOMPARE(file->value("SELECT apartment IS NULL FROM subscriber WHERE id = 7").toInt(), 1);
        QCOMPARE(file->value("SELECT phone FROM subscriber WHERE id = 7").toString(),
                 QString("222"));
        QCOMPARE(file->value("SELECT field2 FROM subscriber WHERE id = 7").toString(),
                 QString("second"));

        QCOMPARE(row->text(0), QString("7"));
        QCOMPARE(row->data(0, Qt::UserRole).toInt(), 7);
        QCOMPARE(row->text(2), QString());
        QCOMPARE(row->text(3), QString("222"));
        QCOMPARE(row->text(5), QString("second"));
        QCOMPARE(row->childCount(), 2);
        for (QTreeWidgetItem* key : {key1, key2}) {
            QCOMPARE(key->text(2), QString());
            QCOMPARE(key->text(3), QString("222"));
            QCOMPARE(key->text(0), QString());
        }
        QCOMPARE(TreeRow::keyCode(key1), 1001u);
        QCOMPARE(TreeRow::subscriberNumber(key2), 7);
        QCOMPARE(tree->topLevelItemCount(), 2);
    }

    void cancelChangesNothing_data()
    {
        QTest::addColumn<bool>("editing");
        QTest::newRow("new") << false;
        QTest::newRow("edit") << true;
    }
    void cancelChangesNothing()
    {
        QFETCH(bool, editing);
        QTreeWidgetItem* row = addSubscriber(5, "10", "111");
        addKey(row, 1001);
        open(editing ? row : nullptr);
        edit("vId")->setText("8");
        edit("vApartment")->setText("99");
        edit("vPhone")->setText("333");
        edit("vField1")->setText("changed");
        button("pbCancel")->click();
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QVERIFY(!dialog->isVisible());
        QCOMPARE(file->column("SELECT id || ':' || apartment || ':' || phone || ':' || field1 "
                              "FROM subscriber"),
                 QStringList({"5:10:111:"}));
        QCOMPARE(file->column("SELECT subscriber_id FROM card"), QStringList({"5"}));
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(row->text(0), QString("5"));
        QCOMPARE(row->text(2), QString("10"));
        QCOMPARE(row->text(4), QString());
        QCOMPARE(row->child(0)->text(3), QString("111"));
    }

    void execReportsResult()
    {
        QTreeWidgetItem* row = addSubscriber(5);
        // Answer the modal dialog from inside exec().
        ModalAnswerer answerer;
        answerer.handle([](QWidget* widget) {
            widget->findChild<QLineEdit*>("vPhone")->setText("42");
            widget->findChild<QPushButton*>("pbOk")->click();
        });
        QVERIFY(QSubscriber::exec(nullptr, db(), tree.data(), row));
        QCOMPARE(answerer.seen.value(0).title, QString("Абонент: 5"));
        QCOMPARE(row->text(3), QString("42"));

        answerer.cancelDialog();
        QVERIFY(!QSubscriber::exec(nullptr, db(), tree.data(), row));
        QVERIFY(answerer.waitForAnswered(2));
    }

    void fieldLabelsFollowTree()
    {
        for (int n = 0; n < TreeRow::FieldCount; ++n)
            tree->headerItem()->setText(TreeRow::FirstField + n, QString("Поле №%1").arg(n + 1));
        tree->setColumnHidden(TreeRow::FirstField + 1, true);
        tree->setColumnHidden(TreeRow::FirstField + 9, true);
        open();
        for (int n = 1; n <= TreeRow::FieldCount; ++n) {
            const auto* label = dialog->findChild<QLabel*>(QString("lField%1").arg(n));
            QVERIFY(label);
            QCOMPARE(label->text(), QString("Поле №%1").arg(n));
            QVERIFY(label->isVisible());
            QVERIFY(edit(qPrintable(QString("vField%1").arg(n)))->isVisible());
        }
    }
};

QTEST_MAIN(TestSubscriber)
#include "tst_subscriber.moc"
