#include "cardformat.h"
#include "guitest.h"
#include "modalanswerer.h"
#include "mytreewidgetitem.h"
#include "qcard.h"
#include "testdatabase.h"
#include "treerows.h"

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QToolButton>
#include <QTreeWidget>

namespace {

const QString Incorrect = QStringLiteral("Некорректно указан код ключа.");
const QString OutOfRange =
    QStringLiteral("Некорректно указан код ключа.\n Диапазон: (000-255) - (00000-65535).");
const QString Zero = QStringLiteral("Код ключа не может быть нулевым (0).");

} // namespace

// The key dialog on a real copy of the template database and a tree laid out as the main
// window's: subscribers 1, 2, 5 and 10, with key 123 of subscriber 1 and key 161,45763 of
// subscriber 2.
class TestCard : public QObject
{
    Q_OBJECT

    QScopedPointer<TestDatabase> file;
    QScopedPointer<QTreeWidget> tree;
    QCard* dialog = nullptr;
    QMap<int, QTreeWidgetItem*> owners;
    QTreeWidgetItem* key123 = nullptr;
    QTreeWidgetItem* keyEm = nullptr;

    template<typename T>
    T* child(const char* name)
    {
        T* widget = dialog->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }
    QLineEdit* keyField() { return child<QLineEdit>("vCard"); }
    QComboBox* formats() { return child<QComboBox>("cbType"); }
    QComboBox* subscribers() { return child<QComboBox>("cboxSubscriber"); }

    // The stored keys as "subscriber:id:type:number:field1:field2", in a fixed order.
    QStringList keys()
    {
        QStringList rows;
        QSqlQuery query(file->db());
        query.exec("SELECT subscriber_id, id, type, number, field1, field2 FROM card "
                   "ORDER BY subscriber_id, id");
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < 6; ++i)
                values << query.value(i).toString();
            rows << values.join(':');
        }
        return rows;
    }

    QTreeWidgetItem* addSubscriber(int number, const QString& apartment, const QString& phone)
    {
        file->addSubscriber(number, apartment, phone);
        QTreeWidgetItem* row = TreeRow::newSubscriber(number, apartment, phone, QStringList());
        tree->addTopLevelItem(row);
        owners.insert(number, row);
        return row;
    }
    QTreeWidgetItem* addKey(int owner, uint code, int format, const QString& number,
                            const QStringList& fields)
    {
        file->addKey(owner, code, format, number, fields);
        return TreeRow::newKey(owners.value(owner), code, format, number, fields);
    }

    void open(int owner, QTreeWidgetItem* keyRow = nullptr, int defaultFormat = 2)
    {
        dialog = QCard::create(nullptr, &file->db(), defaultFormat, tree.data(),
                               owners.value(owner), keyRow);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
    }

    void type(const QString& text)
    {
        keyField()->clear();
        QTest::keyClicks(keyField(), text);
    }

    void chooseSubscriber(const QString& number)
    {
        child<QCheckBox>("cbSubscriber")->setChecked(true);
        QVERIFY(subscribers()->isEnabled());
        const int index = subscribers()->findText(number);
        QVERIFY(index >= 0);
        subscribers()->setCurrentIndex(index);
    }

    // Presses "Сохранить"; answers and returns the box it raised, or an empty record.
    ModalAnswerer::Seen save()
    {
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        child<QPushButton>("pbOk")->click();
        return answerer.seen.value(0);
    }

    void verifyRefused(const ModalAnswerer::Seen& seen, const QString& text)
    {
        QCOMPARE(seen.text, text);
        QCOMPARE(seen.title, dialog->windowTitle());
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->focusWidget(), keyField());
    }

    static QTreeWidgetItem* rowOf(const QTreeWidgetItem* owner, uint code)
    {
        for (int i = 0; i < owner->childCount(); ++i)
            if (TreeRow::keyCode(owner->child(i)) == code)
                return owner->child(i);
        return nullptr;
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        file.reset(new TestDatabase);
        QVERIFY(file->isValid());
        tree.reset(newDatabaseTree());
        tree->headerItem()->setText(TreeRow::FirstField, "Подъезд");

        // Out of order, so that the owner list has to sort them.
        addSubscriber(10, "100", "1000");
        addSubscriber(2, "22", "222");
        addSubscriber(5, "55", "555");
        addSubscriber(1, "11", "111");
        key123 = addKey(1, 123, 2, "123", {"first", "second"});
        keyEm = addKey(2, 0xA1B2C3, 1, "161,45763", {"", "", "third"});
    }

    void cleanup()
    {
        delete dialog;
        dialog = nullptr;
        tree.reset();
        owners.clear();
        file.reset();
    }

    void newKeyForm()
    {
        open(2);
        QCOMPARE(dialog->windowTitle(), QString("Ключ: Новый"));
        QCOMPARE(formats()->count(), 4);
        for (int format = 0; format < 4; ++format)
            QCOMPARE(formats()->itemText(format), CardFormat::name(format));
        QCOMPARE(formats()->currentIndex(), 2);
        QCOMPARE(keyField()->inputMask(), CardFormat::inputMask(2));
        QCOMPARE(child<QLabel>("lPlaceHolderText")->text(), CardFormat::hint(2));
        QCOMPARE(child<QToolButton>("toolButton")->text(), QString("..."));

        QCOMPARE(child<QLineEdit>("vApartment")->text(), QString("22"));
        QCOMPARE(child<QLineEdit>("vPhone")->text(), QString("222"));
        QVERIFY(child<QLineEdit>("vApartment")->isReadOnly());
        QVERIFY(child<QLineEdit>("vPhone")->isReadOnly());
        QVERIFY(!child<QLabel>("label_2")->isEnabled());
        QVERIFY(!child<QLabel>("label_3")->isEnabled());
        QCOMPARE(child<QLabel>("label_4")->text(), QString("Дополнительные поля"));

        QCOMPARE(child<QCheckBox>("cbSubscriber")->text(), QString("Абонент"));
        QVERIFY(!child<QCheckBox>("cbSubscriber")->isChecked());
        QVERIFY(!subscribers()->isEnabled());
        QStringList numbers;
        for (int i = 0; i < subscribers()->count(); ++i)
            numbers << subscribers()->itemText(i);
        QCOMPARE(numbers, QStringList({"1", "2", "5", "10"}));
        QCOMPARE(subscribers()->currentText(), QString("2"));

        QCOMPARE(child<QLabel>("lField1")->text(), QString("Подъезд"));
        QCOMPARE(child<QLabel>("lField10")->text(), QString("Доп. поле 10"));
        QCOMPARE(child<QLineEdit>("vField7")->maxLength(), 255);
        QCOMPARE(child<QPushButton>("pbOk")->text(), QString("Сохранить"));
        QVERIFY(child<QPushButton>("pbOk")->isDefault());
        QCOMPARE(child<QPushButton>("pbCancel")->text(), QString("Отмена"));
        QCOMPARE(dialog->maximumHeight(), 1);
        QVERIFY(dialog->height() < 700);

        // Every format's hint shows in full at the dialog's opening size.
        QLabel* hint = child<QLabel>("lPlaceHolderText");
        for (int format = 0; format < 4; ++format) {
            formats()->setCurrentIndex(format);
            QVERIFY2(hint->height() >= hint->heightForWidth(hint->width()),
                     qPrintable(hint->text()));
        }
    }

    void editForm()
    {
        open(2, keyEm);
        QCOMPARE(dialog->windowTitle(), QString("Ключ: 161,45763"));
        QCOMPARE(formats()->currentIndex(), 1);
        QCOMPARE(keyField()->text(), QString("161,45763"));
        QCOMPARE(keyField()->inputMask(), CardFormat::inputMask(1));
        QCOMPARE(child<QLabel>("lPlaceHolderText")->text(), CardFormat::hint(1));
        QCOMPARE(child<QLineEdit>("vField3")->text(), QString("third"));
        QCOMPARE(child<QLineEdit>("vField1")->text(), QString());

        // A TouchMemory key whose format is the combo box's first entry still gets its mask.
        delete dialog;
        QTreeWidgetItem* touch = addKey(5, 0x0000FF, 0, "AB12000000000000", {});
        // Stored with a different prefix than it renders: the key text is the stored one.
        open(5, touch);
        QCOMPARE(keyField()->text(), QString("AB12000000000000"));
        QCOMPARE(keyField()->inputMask(), CardFormat::inputMask(0));
        QCOMPARE(child<QLabel>("lPlaceHolderText")->text(), CardFormat::hint(0));
    }

    void formatSwitch_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("shown");
        QTest::newRow("code to ten digits") << 2 << "123" << 3 << "0000000123";
        QTest::newRow("code to em-marin") << 2 << "123" << 1 << "000,00123";
        QTest::newRow("code to touch memory") << 2 << "123" << 0 << "000000000000007B";
        QTest::newRow("em-marin to touch memory") << 1 << "16145763" << 0 << "0000000000A1B2C3";
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
        open(1, nullptr, from);
        type(typed);
        formats()->setCurrentIndex(to);
        QCOMPARE(keyField()->text(), shown);
        QCOMPARE(child<QLabel>("lPlaceHolderText")->text(), CardFormat::hint(to));
        QCOMPARE(dialog->focusWidget(), keyField());
    }

    void formatSwitchChain()
    {
        open(1);
        type("123");
        formats()->setCurrentIndex(3);
        QCOMPARE(keyField()->text(), QString("0000000123"));
        formats()->setCurrentIndex(1);
        QCOMPARE(keyField()->text(), QString("000,00123"));
        formats()->setCurrentIndex(2);
        QCOMPARE(keyField()->text(), QString("123"));
    }

    void saveNew_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("number");
        QTest::addColumn<uint>("code");
        QTest::newRow("em-marin max") << 1 << "25565535"
                                      << ""
                                      << "255,65535" << 0xFFFFFFu;
        QTest::newRow("em-marin high part 256") << 1 << "25600000" << OutOfRange << "" << 0u;
        QTest::newRow("em-marin low part 65536") << 1 << "00165536" << OutOfRange << "" << 0u;
        QTest::newRow("em-marin incomplete") << 1 << "161" << Incorrect << "" << 0u;
        QTest::newRow("em-marin zero") << 1 << "00000000" << Zero << "" << 0u;
        QTest::newRow("touch memory upper case") << 0 << "ff01778899a1b2c3"
                                                 << ""
                                                 << "FF01778899A1B2C3" << 0xA1B2C3u;
        QTest::newRow("touch memory zero code") << 0 << "ffffffffff000000" << Zero << "" << 0u;
        QTest::newRow("touch memory short") << 0 << "0000000000A1B2C" << Incorrect << "" << 0u;
        QTest::newRow("code") << 2 << "9999999"
                              << ""
                              << "9999999" << 9999999u;
        QTest::newRow("code zero") << 2 << "0" << Zero << "" << 0u;
        QTest::newRow("code empty") << 2 << "" << Incorrect << "" << 0u;
        QTest::newRow("ten digits") << 3 << "4294967295"
                                    << ""
                                    << "4294967295" << 0xFFFFFFu;
        QTest::newRow("ten digits wrapping to zero") << 3 << "0016777216" << Zero << "" << 0u;
        QTest::newRow("ten digits short") << 3 << "123" << Incorrect << "" << 0u;
    }
    void saveNew()
    {
        QFETCH(int, format);
        QFETCH(QString, typed);
        QFETCH(QString, refusal);
        QFETCH(QString, number);
        QFETCH(uint, code);
        const QStringList before = keys();
        QTreeWidgetItem* owner = owners.value(5);
        open(5, nullptr, format);
        type(typed);
        child<QLineEdit>("vField2")->setText("подъезд 3");
        const ModalAnswerer::Seen seen = save();
        if (!refusal.isEmpty()) {
            verifyRefused(seen, refusal);
            QCOMPARE(keys(), before);
            QCOMPARE(owner->childCount(), 0);
            return;
        }
        QCOMPARE(seen.text, QString());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(!dialog->isVisible());
        QCOMPARE(keys(),
                 before + QStringList(
                              QString("5:%1:%2:%3::подъезд 3").arg(code).arg(format).arg(number)));
        QCOMPARE(owner->childCount(), 1);
        QTreeWidgetItem* row = owner->child(0);
        QVERIFY(dynamic_cast<MyTreeWidgetItem*>(row));
        QCOMPARE(row->text(TreeRow::Subscriber), QString());
        QCOMPARE(row->text(TreeRow::Key), number);
        QCOMPARE(row->text(TreeRow::Apartment), QString("55"));
        QCOMPARE(row->text(TreeRow::Phone), QString("555"));
        QCOMPARE(row->text(TreeRow::FirstField + 1), QString("подъезд 3"));
        QCOMPARE(TreeRow::keyCode(row), code);
        QCOMPARE(TreeRow::keyFormat(row), format);
        QCOMPARE(row->foreground(TreeRow::Apartment).color(), QColor(Qt::lightGray));
        QCOMPARE(row->foreground(TreeRow::Phone).color(), QColor(Qt::lightGray));
        QCOMPARE(tree->currentItem(), row);
    }

    void duplicateUnderOneSubscriber()
    {
        open(1);
        type("123");
        const ModalAnswerer::Seen seen = save();
        QVERIFY2(seen.text.startsWith("У абонента '1' ключ с таким номером '123' уже "
                                      "зарегистрирована.\r\nSqlError: "),
                 qPrintable(seen.text));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY(dialog->isVisible());
        QCOMPARE(owners.value(1)->childCount(), 1);

        // The same code for another subscriber is a key of its own.
        chooseSubscriber("5");
        QCOMPARE(save().text, QString());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(keys(), QStringList({"1:123:2:123:first:second",
                                      "2:10597059:1:161,45763::", "5:123:2:123::"}));
        QCOMPARE(owners.value(1)->childCount(), 1);
        QVERIFY(rowOf(owners.value(5), 123));
        QCOMPARE(tree->currentItem(), rowOf(owners.value(5), 123));
    }

    void editMovesKey()
    {
        tree->setCurrentItem(keyEm);
        open(1, key123);
        QCOMPARE(dialog->windowTitle(), QString("Ключ: 123"));
        chooseSubscriber("10");
        type("124");
        child<QLineEdit>("vField2")->setText("moved");
        QCOMPARE(save().text, QString());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(keys(), QStringList({"2:10597059:1:161,45763::", "10:124:2:124:first:moved"}));
        QCOMPARE(owners.value(1)->childCount(), 0);
        QCOMPARE(key123->parent(), owners.value(10));
        QCOMPARE(key123->text(TreeRow::Key), QString("124"));
        QCOMPARE(key123->text(TreeRow::Apartment), QString("100"));
        QCOMPARE(key123->text(TreeRow::Phone), QString("1000"));
        QCOMPARE(key123->text(TreeRow::FirstField + 1), QString("moved"));
        QCOMPARE(TreeRow::keyCode(key123), 124u);
        QCOMPARE(key123->foreground(TreeRow::Apartment).color(), QColor(Qt::lightGray));
        QCOMPARE(tree->currentItem(), key123);
    }

    void editInPlace()
    {
        tree->setCurrentItem(keyEm);
        open(2, keyEm);
        // A new code replaces the old one in the same row.
        type("16145764");
        child<QLineEdit>("vField1")->setText("f1");
        QCOMPARE(save().text, QString());
        QCOMPARE(keys(), QStringList({"1:123:2:123:first:second", "2:10597060:1:161,45764:f1:"}));
        QCOMPARE(keyEm->parent(), owners.value(2));
        QCOMPARE(keyEm->text(TreeRow::Key), QString("161,45764"));
        QCOMPARE(keyEm->text(TreeRow::FirstField), QString("f1"));
        QCOMPARE(keyEm->text(TreeRow::FirstField + 2), QString("third"));
        QCOMPARE(TreeRow::keyCode(keyEm), 0xA1B2C4u);
        QCOMPARE(TreeRow::keyFormat(keyEm), 1);
        QCOMPARE(tree->currentItem(), keyEm);
    }

    void editIntoDuplicate()
    {
        // Moving key 123 to a subscriber who already has it is refused; nothing moves.
        addKey(5, 123, 2, "123", {});
        open(1, key123);
        chooseSubscriber("5");
        const ModalAnswerer::Seen seen = save();
        QVERIFY2(seen.text.startsWith("У абонента '5' ключ с таким номером '123' уже "
                                      "зарегистрирована.\r\nSqlError: "),
                 qPrintable(seen.text));
        QVERIFY(dialog->isVisible());
        QCOMPARE(key123->parent(), owners.value(1));
        QCOMPARE(keys().first(), QString("1:123:2:123:first:second"));
    }

    void uncheckingRestoresOwner()
    {
        open(1, key123);
        chooseSubscriber("10");
        child<QCheckBox>("cbSubscriber")->setChecked(false);
        QVERIFY(!subscribers()->isEnabled());
        QCOMPARE(subscribers()->currentText(), QString("1"));
        QCOMPARE(save().text, QString());
        QCOMPARE(key123->parent(), owners.value(1));
        QCOMPARE(owners.value(10)->childCount(), 0);
        QCOMPARE(keys().first(), QString("1:123:2:123:first:second"));
    }

    void cancelChangesNothing()
    {
        open(2, keyEm);
        type("00100001");
        chooseSubscriber("5");
        child<QPushButton>("pbCancel")->click();
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QVERIFY(!dialog->isVisible());
        QCOMPARE(keys(), QStringList({"1:123:2:123:first:second", "2:10597059:1:161,45763::"}));
        QCOMPARE(keyEm->parent(), owners.value(2));
        QCOMPARE(keyEm->text(TreeRow::Key), QString("161,45763"));
    }

    void databaseErrorIsShown()
    {
        open(1);
        type("77");
        QVERIFY(file->exec("DROP VIEW view_tree"));
        QVERIFY(file->exec("DROP TABLE card"));
        const ModalAnswerer::Seen seen = save();
        QVERIFY2(seen.text.startsWith("SqlError: "), qPrintable(seen.text));
        QVERIFY(dialog->isVisible());
        QCOMPARE(owners.value(1)->childCount(), 1);
    }

    void keyFromSendCard()
    {
        open(1, nullptr, 0);
        dialog->on_sendCard(0xA1B2C3);
        QCOMPARE(keyField()->text(), QString("0000000000A1B2C3"));
        QCOMPARE(save().text, QString());
        QCOMPARE(rowOf(owners.value(1), 0xA1B2C3)->text(TreeRow::Key), QString("0000000000A1B2C3"));
    }

    void captureNeedsTheMainWindow()
    {
        open(1);
        type("55");
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        child<QToolButton>("toolButton")->click();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().text, QString("Требуется подключение к панели."));
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
        QCOMPARE(keyField()->text(), QString("55"));
    }
};

QTEST_MAIN(TestCard)
#include "tst_card.moc"
