#include "application.h"
#include "guitest.h"
#include "modalanswerer.h"
#include "qzelkorwindow.h"
#include "testdatabase.h"
#include "testdatagenerator.h"

#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTreeWidget>

// Database files, the tree, search and deletion, clearing, test data and recent files, through
// the main window on real files.
class TestDatabaseWindow : public QObject
{
    Q_OBJECT

    QZelKorWindow* window = nullptr;

    template<typename T>
    T* child(const char* name)
    {
        return childOf<T>(window, name);
    }
    QAction* action(const char* name) { return child<QAction>(name); }
    QTreeWidget* tree() { return child<QTreeWidget>("treeView"); }
    QTreeWidget* found() { return child<QTreeWidget>("treeFind"); }

    QStringList topTexts(int column)
    {
        QStringList texts;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            texts << tree()->topLevelItem(i)->text(column);
        return texts;
    }

    QStringList recentMenu()
    {
        QStringList texts;
        for (QAction* entry : action("actionRecentFiles")->menu()->actions())
            texts << (entry->isSeparator() ? QStringLiteral("---") : entry->text());
        return texts;
    }

    // A database with three subscribers, two of them with keys, closed for the window.
    void fill(TestDatabase& file)
    {
        file.addSubscriber(10, "15", "8123");
        file.addSubscriber(2, "b7");
        file.addSubscriber(3, "A8", "");
        file.addKey(10, 12, 2, "12");
        file.addKey(10, 0xA1B2C3, 0, "0000000000A1B2C3");
        file.addKey(2, 123, 3, "0000000123");
        QVERIFY(file.exec("UPDATE subscriber SET field1 = 'one', field2 = 'two', field3 = 'три' "
                          "WHERE id = 10"));
        QVERIFY(file.exec("UPDATE card SET field2 = 'key two' WHERE id = 12"));
        file.close();
    }

    void openFilled(TestDatabase& file)
    {
        fill(file);
        QVERIFY(window->openDB(file.path()));
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        settingsStore().clear();
        window = new QZelKorWindow;
        window->show();
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
    }

    void createOverAnExistingFile()
    {
        TestDatabase file;
        fill(file);
        ModalAnswerer answerer;
        answerer.chooseFile(file.path());
        answerer.press(QMessageBox::Yes); // the file dialog's question about replacing the file
        action("actionNewDB")->trigger();
        QCOMPARE(answerer.seen.size(), 2);
        QVERIFY(answerer.seen.at(1).text.contains(QFileInfo(file.path()).fileName()));
        QCOMPARE(answerer.seen.first().title, QString("Укажите файл для новой БД"));
        QCOMPARE(window->windowTitle(),
                 QString("Ostrovel: Управление панелью ZEL-KOR (%1)").arg(file.path()));
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QVERIFY(action("actionCloseDB")->isEnabled());
        QVERIFY(action("actionPanelSettings")->isEnabled());
        QVERIFY(window->database()->isOpen());
        QSqlQuery query(*window->database());
        QVERIFY(query.exec("SELECT COUNT(*) FROM subscriber") && query.next());
        QCOMPARE(query.value(0).toInt(), 0);
        // Foreign keys are on for the window's connection.
        QVERIFY(query.exec("PRAGMA foreign_keys") && query.next());
        QCOMPARE(query.value(0).toInt(), 1);
        QCOMPARE(RecentFilesList(), QStringList{file.path()});
    }

    void cancelledDialogKeepsTheOpenFile()
    {
        TestDatabase file;
        openFilled(file);
        ModalAnswerer answerer;
        answerer.cancelDialog();
        action("actionOpenDB")->trigger();
        QCOMPARE(answerer.seen.first().title, QString("Выберите файл БД"));
        QVERIFY(window->database()->isOpen());
        QCOMPARE(tree()->topLevelItemCount(), 3);
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "missing"
                                 << "Файл '%1' не существет.";
        QTest::newRow("not a database") << "garbage"
                                        << "Неверный формат БД или файл поврежден.\nОшибка: %2.";
        QTest::newRow("foreign database") << "foreign"
                                          << "Неверный формат БД или файл поврежден.\nОшибка: %2.";
        QTest::newRow("no system row") << "norow"
                                       << "В базе отсутствуют настройки панели.";
        QTest::newRow("version 2") << "version"
                                   << "Формат БД '2' не поддерживается, только формат '1'.";
    }
    void refusedFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        TestDatabase file;
        QString path = file.path();
        if (kind == "missing") {
            path = file.path() + ".gone";
        } else if (kind == "garbage") {
            file.close();
            QFile damaged(path);
            QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
            damaged.write(QByteArray(4096, 'z'));
        } else if (kind == "foreign") {
            QVERIFY(file.exec("DROP VIEW view_tree"));
            QVERIFY(file.exec("DROP TABLE system"));
        } else if (kind == "norow") {
            QVERIFY(file.exec("DELETE FROM system"));
        } else {
            QVERIFY(file.exec("UPDATE system SET version = 2"));
        }
        file.close();
        const QByteArray before = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();

        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QVERIFY(!window->openDB(path));
        QCOMPARE(answerer.seen.size(), 1);
        const QString expected = message.contains("%1") ? message.arg(path) : message;
        if (message.contains("%2")) {
            QVERIFY2(answerer.seen.first().text.startsWith(message.section("%2", 0, 0)),
                     qPrintable(answerer.seen.first().text));
        } else {
            QCOMPARE(answerer.seen.first().text, expected);
        }
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
        QVERIFY(!window->database()->isOpen());
        QCOMPARE(window->windowTitle(), QString("Ostrovel: Управление панелью ZEL-KOR"));
        QVERIFY(!action("actionCloseDB")->isEnabled());
        QVERIFY(RecentFilesList().isEmpty());
        if (kind == "garbage") {
            // A file that is not a database is left as it was.
            QFile after(path);
            QVERIFY(after.open(QIODevice::ReadOnly));
            QCOMPARE(after.readAll(), before);
        }
    }

    void treeShape()
    {
        TestDatabase file;
        openFilled(file);
        QCOMPARE(tree()->topLevelItemCount(), 3);
        QCOMPARE(topTexts(0), QStringList({"2", "3", "10"}));
        QTreeWidgetItem* ten = tree()->topLevelItem(2);
        QCOMPARE(ten->data(0, Qt::UserRole).toInt(), 10);
        QCOMPARE(ten->text(2), QString("15"));
        QCOMPARE(ten->text(3), QString("8123"));
        QCOMPARE(ten->text(4), QString("one"));
        QCOMPARE(ten->text(6), QString("три"));
        QCOMPARE(ten->childCount(), 2);
        // Keys in the text order of their numbers, repeating the owner's columns in grey.
        QTreeWidgetItem* key = ten->child(0);
        QCOMPARE(key->text(0), QString());
        QCOMPARE(key->text(1), QString("0000000000A1B2C3"));
        QCOMPARE(key->data(0, Qt::UserRole).toUInt(), 0xA1B2C3u);
        QCOMPARE(key->data(1, Qt::UserRole).toInt(), 0);
        QCOMPARE(key->text(2), QString("15"));
        QCOMPARE(key->text(3), QString("8123"));
        QCOMPARE(key->foreground(2).color(), QColor(Qt::lightGray));
        QCOMPARE(key->foreground(3).color(), QColor(Qt::lightGray));
        QCOMPARE(ten->child(1)->text(1), QString("12"));
        QCOMPARE(ten->child(1)->text(5), QString("key two"));
        QCOMPARE(tree()->topLevelItem(1)->text(2), QString("A8"));
        QCOMPARE(tree()->topLevelItem(1)->childCount(), 0);
        // Nothing selected: edit and delete wait for a row.
        QVERIFY(!action("actionEdit")->isEnabled());
        tree()->setCurrentItem(key);
        QVERIFY(action("actionEdit")->isEnabled());
        QVERIFY(action("actionDel")->isEnabled());
        // The status bar task is gone and the window is enabled again.
        QVERIFY(window->centralWidget()->isEnabled());
        QVERIFY(!window->isBusy());
        QVERIFY(window->statusBar()->findChildren<QProgressBar*>().isEmpty());
    }

    void sorting()
    {
        TestDatabase file;
        openFilled(file);
        QHeaderView* header = tree()->header();
        QCOMPARE(topTexts(0), QStringList({"2", "3", "10"}));
        header->setSortIndicator(0, Qt::DescendingOrder);
        QCOMPARE(topTexts(0), QStringList({"10", "3", "2"}));
        // Apartments sort as lower-cased text.
        header->setSortIndicator(2, Qt::AscendingOrder);
        QCOMPARE(topTexts(2), QStringList({"15", "A8", "b7"}));
        header->setSortIndicator(2, Qt::DescendingOrder);
        QCOMPARE(topTexts(2), QStringList({"b7", "A8", "15"}));
        // Clicking the same header again reverses the order.
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        const QStringList once = topTexts(0);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        QStringList reversed = topTexts(0);
        std::reverse(reversed.begin(), reversed.end());
        QCOMPARE(once, reversed);
    }

    void columnsFollowTheDatabaseSettings_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("offered");
        QTest::newRow("all") << 65535 << 14;
        QTest::newRow("none") << 0 << 4;
        QTest::newRow("field 3 hidden") << 2038 << 13;
    }
    void columnsFollowTheDatabaseSettings()
    {
        QFETCH(int, columns);
        QFETCH(int, offered);
        TestDatabase file;
        QVERIFY(file.exec(QString("UPDATE system SET columns = %1, field2_name = 'Подъезд', "
                                  "field4_name = '', card_format_default = 0")
                              .arg(columns)));
        openFilled(file);
        QComboBox* search = child<QComboBox>("cboxColumn");
        QCOMPARE(search->count(), offered);
        QCOMPARE(search->itemText(0), QString("Абонент"));
        QCOMPARE(search->itemData(3).toInt(), 3);
        QCOMPARE(tree()->headerItem()->text(5), QString("Подъезд"));
        QCOMPARE(tree()->headerItem()->text(7), QString("Доп. поле 4"));
        for (int n = 1; n <= 10; ++n)
            QCOMPARE(tree()->isColumnHidden(3 + n), !(columns & (1 << n)));
        QCOMPARE(window->defaultKeyFormat(), 0);
        if (columns == 2038) {
            QCOMPARE(search->findData(6), -1);
            QCOMPARE(search->itemData(5).toInt(), 5);
            QCOMPARE(search->itemData(6).toInt(), 7);
        }

        // Closing restores the default titles, all columns and key format 2.
        action("actionCloseDB")->trigger();
        QCOMPARE(tree()->headerItem()->text(5), QString("Доп. поле 2"));
        QVERIFY(!tree()->isColumnHidden(6));
        QCOMPARE(search->count(), 0);
        QCOMPARE(window->defaultKeyFormat(), 2);
        QVERIFY(!action("actionCloseDB")->isEnabled());
        QCOMPARE(tree()->topLevelItemCount(), 0);
        // Reopened, the subscribers come in ascending order again.
        QVERIFY(window->openDB(file.path()));
        QCOMPARE(topTexts(0), QStringList({"2", "3", "10"}));
    }

    void search_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QStringList>("results"); // subscriber|key|cell
        QTest::newRow("keys containing 12")
            << 1 << 0 << "12" << QStringList({"2|0000000123|0000000123", "10|12|12"});
        QTest::newRow("subscribers only") << 0 << 0 << "1" << QStringList({"10||10"});
        QTest::newRow("starts with, case-insensitive") << 2 << 1 << "a" << QStringList({"3||A8"});
        QTest::newRow("ends with")
            << 1 << 2 << "c3" << QStringList({"10|0000000000A1B2C3|0000000000A1B2C3"});
        QTest::newRow("regular expression, whole cell")
            << 3 << 3 << "8\\d+"
            << QStringList({"10||8123", "10|0000000000A1B2C3|8123", "10|12|8123"});
        QTest::newRow("regular expression, part of the cell") << 3 << 3 << "12" << QStringList();
        QTest::newRow("invalid regular expression") << 1 << 3 << "(12" << QStringList();
        QTest::newRow("extra field")
            << 5 << 0 << "two" << QStringList({"10||two", "10|12|key two"});
    }
    void search()
    {
        QFETCH(int, column);
        QFETCH(int, type);
        QFETCH(QString, condition);
        QFETCH(QStringList, results);
        TestDatabase file;
        openFilled(file);
        QComboBox* columns = child<QComboBox>("cboxColumn");
        columns->setCurrentIndex(columns->findData(column));
        QCOMPARE(found()->headerItem()->text(2),
                 QString("Поиск по столбцу '%1'").arg(columns->currentText()));
        child<QComboBox>("cboxTypeFind")->setCurrentIndex(type);
        child<QLineEdit>("leCondition")->setText(condition);
        QTest::keyClick(child<QLineEdit>("leCondition"), Qt::Key_Return);
        QStringList texts;
        for (int i = 0; i < found()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = found()->topLevelItem(i);
            texts << QStringList{row->text(0), row->text(1), row->text(2)}.join('|');
        }
        texts.sort();
        results.sort();
        QCOMPARE(texts, results);
    }

    void searchWithHiddenColumn()
    {
        TestDatabase file;
        QVERIFY(file.exec("UPDATE system SET columns = 2044")); // field 1 hidden
        openFilled(file);
        QComboBox* columns = child<QComboBox>("cboxColumn");
        columns->setCurrentIndex(columns->findText("Доп. поле 2"));
        child<QLineEdit>("leCondition")->setText("two");
        action("actionSearch")->trigger();
        QCOMPARE(found()->topLevelItemCount(), 2);
        QCOMPARE(found()->topLevelItem(0)->text(2).endsWith("two"), true);
    }

    void resultsLeadToTheirRows()
    {
        TestDatabase file;
        openFilled(file);
        QComboBox* columns = child<QComboBox>("cboxColumn");
        columns->setCurrentIndex(1);
        child<QLineEdit>("leCondition")->setText("0000000123");
        action("actionSearch")->trigger();
        QCOMPARE(found()->topLevelItemCount(), 1);
        QVERIFY(!action("actionGotoOpenRec")->isEnabled());
        found()->setCurrentItem(found()->topLevelItem(0));
        QVERIFY(action("actionGotoOpenRec")->isEnabled());
        QCOMPARE(tree()->currentItem()->text(1), QString("0000000123"));
    }

    void deleteKeyAndSubscriber()
    {
        TestDatabase file;
        openFilled(file);
        QComboBox* columns = child<QComboBox>("cboxColumn");
        columns->setCurrentIndex(1);
        child<QLineEdit>("leCondition")->setText("1");
        action("actionSearch")->trigger();
        QCOMPARE(found()->topLevelItemCount(), 3);

        // A key: the question names it; No keeps it.
        QTreeWidgetItem* ten = tree()->topLevelItem(2);
        tree()->setCurrentItem(ten->child(1));
        {
            ModalAnswerer answerer;
            answerer.press(QMessageBox::No);
            action("actionDel")->trigger();
            QCOMPARE(answerer.seen.first().title, QString("Удалить"));
            QCOMPARE(answerer.seen.first().text, QString("Удалить ключ '12' ?"));
        }
        QCOMPARE(ten->childCount(), 2);
        {
            ModalAnswerer answerer;
            answerer.press(QMessageBox::Yes);
            action("actionDel")->trigger();
        }
        QCOMPARE(ten->childCount(), 1);
        QCOMPARE(found()->topLevelItemCount(), 2);

        // A subscriber: its keys go with it, in the database and among the results.
        tree()->setCurrentItem(ten);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Yes);
        action("actionDel")->trigger();
        QCOMPARE(answerer.seen.first().text, QString("Удалить абонента '10' ?"));
        QCOMPARE(topTexts(0), QStringList({"2", "3"}));
        QCOMPARE(found()->topLevelItemCount(), 1);
        QCOMPARE(found()->topLevelItem(0)->text(0), QString("2"));
        QSqlQuery query(*window->database());
        QVERIFY(query.exec("SELECT COUNT(*) FROM card") && query.next());
        QCOMPARE(query.value(0).toInt(), 1);
    }

    void refusedDeleteChangesNothing()
    {
        TestDatabase file;
        QVERIFY(file.exec("CREATE TRIGGER keep BEFORE DELETE ON subscriber "
                          "BEGIN SELECT RAISE(ABORT, 'kept by a trigger'); END"));
        openFilled(file);
        tree()->setCurrentItem(tree()->topLevelItem(0));
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Yes);
        answerer.press(QMessageBox::Ok);
        action("actionDel")->trigger();
        QVERIFY(answerer.waitForAnswered(2));
        QCOMPARE(answerer.seen.at(1).title, QString("Удалить"));
        QCOMPARE(answerer.seen.at(1).icon, QMessageBox::Critical);
        QVERIFY(answerer.seen.at(1).text.contains("kept by a trigger"));
        QCOMPARE(tree()->topLevelItemCount(), 3);
    }

    void lockedFileGivesADatabaseError()
    {
        TestDatabase file;
        fill(file);
        QSqlDatabase lock = QSqlDatabase::addDatabase("QSQLITE", "lock");
        {
            lock.setDatabaseName(file.path());
            QVERIFY(lock.open());
            QSqlQuery exclusive(lock);
            QVERIFY(exclusive.exec("BEGIN EXCLUSIVE"));
            ModalAnswerer answerer;
            answerer.press(QMessageBox::Ok);
            QVERIFY(!window->openDB(file.path()));
            QVERIFY(answerer.seen.first().text.contains("locked"));
            QVERIFY(exclusive.exec("ROLLBACK"));
            lock.close();
        }
        lock = QSqlDatabase();
        QSqlDatabase::removeDatabase("lock");
        // Released, it opens with its data intact.
        QVERIFY(window->openDB(file.path()));
        QCOMPARE(tree()->topLevelItemCount(), 3);
    }

    void editorsOpenForTheirRows()
    {
        TestDatabase file;
        openFilled(file);
        QTreeWidgetItem* ten = tree()->topLevelItem(2);
        const auto openedBy = [&](const std::function<void()>& provoke) {
            ModalAnswerer answerer;
            answerer.cancelDialog();
            provoke();
            return answerer.seen.value(0).className + ": " + answerer.seen.value(0).title;
        };
        // Double-clicking a row, Edit, and a search result's "Открыть" open its editor.
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QPoint cell = tree()->visualItemRect(ten).center();
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, cell);
        QCOMPARE(tree()->currentItem(), ten);
        QCOMPARE(
            openedBy([&] { QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, cell); }),
            QString("QSubscriber: Абонент: 10"));
        tree()->setCurrentItem(ten->child(1));
        QCOMPARE(openedBy([&] { action("actionEdit")->trigger(); }), QString("QCard: Ключ: 12"));

        child<QComboBox>("cboxColumn")->setCurrentIndex(1);
        child<QLineEdit>("leCondition")->setText("0000000123");
        action("actionSearch")->trigger();
        found()->setCurrentItem(found()->topLevelItem(0));
        QCOMPARE(openedBy([&] { action("actionGotoOpenRec")->trigger(); }),
                 QString("QCard: Ключ: 0000000123"));

        // A new key goes to the selected subscriber, or to the owner of the selected key.
        QString apartment;
        {
            ModalAnswerer answerer;
            answerer.handle([&apartment](QWidget* dialog) {
                apartment = dialog->findChild<QLineEdit*>("vApartment")->text();
                static_cast<QDialog*>(dialog)->reject();
            });
            tree()->setCurrentItem(ten->child(0));
            action("actionAddCard")->trigger();
            QCOMPARE(answerer.seen.value(0).title, QString("Ключ: Новый"));
        }
        QCOMPARE(apartment, QString("15"));
        QCOMPARE(openedBy([&] { action("actionAddSubscriber")->trigger(); }),
                 QString("QSubscriber: Абонент: Новый"));

        // Without a selected row there is no owner for a new key.
        tree()->clearSelection();
        ModalAnswerer answerer;
        answerer.cancelDialog();
        action("actionAddCard")->trigger();
        QTest::qWait(50);
        QVERIFY(answerer.seen.isEmpty());
    }

    void settingsApplyWithoutReloading()
    {
        TestDatabase file;
        openFilled(file);
        QTreeWidgetItem* first = tree()->topLevelItem(0);
        ModalAnswerer answerer;
        answerer.handle([](QWidget* dialog) {
            dialog->findChild<QCheckBox*>("cbField3")->setChecked(false);
            dialog->findChild<QLineEdit*>("leField1")->setText("ФИО");
            dialog->findChild<QLineEdit*>("leField2")->setText("");
            dialog->findChild<QComboBox*>("cbType")->setCurrentIndex(1);
            dialog->findChild<QPushButton*>("pbSave")->click();
        });
        action("actionSettingsDB")->trigger();
        QCOMPARE(answerer.seen.value(0).title, QString("Настройка БД"));
        QVERIFY(tree()->isColumnHidden(6));
        QVERIFY(!tree()->isColumnHidden(5));
        QCOMPARE(child<QComboBox>("cboxColumn")->findData(6), -1);
        QCOMPARE(tree()->headerItem()->text(4), QString("ФИО"));
        QCOMPARE(tree()->headerItem()->text(5), QString("Доп. поле 2"));
        QCOMPARE(window->defaultKeyFormat(), 1);
        // The rows were kept, not reloaded.
        QCOMPARE(tree()->topLevelItem(0), first);
        QSqlQuery query(*window->database());
        QVERIFY(query.exec("SELECT columns FROM system") && query.next());
        QCOMPARE(query.value(0).toInt(), 2038);
    }

    void information()
    {
        TestDatabase file;
        openFilled(file);
        QStringList counts;
        ModalAnswerer answerer;
        answerer.handle([&counts](QWidget* dialog) {
            for (const char* name : {"lSubscriber", "lCard", "lApartment", "lPhone"})
                counts << dialog->findChild<QLabel*>(name)->text();
            static_cast<QDialog*>(dialog)->reject();
        });
        action("actionInfoDB")->trigger();
        QCOMPARE(answerer.seen.value(0).title, QString("Информация о БД"));
        QCOMPARE(counts, QStringList({"3", "3", "3", "1"}));
    }

    void noClearingWhileTheTreeLoads()
    {
        TestDatabase file;
        {
            const QString error = TestData::generate(file.db(), [](int) {});
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
        file.close();
        bool busyMeanwhile = false;
        bool cleared = true;
        QTimer::singleShot(0, window, [&] {
            busyMeanwhile = window->isBusy();
            cleared = window->clearDB();
        });
        QVERIFY(window->openDB(file.path()));
        QVERIFY(busyMeanwhile);
        QVERIFY(!cleared);
        QCOMPARE(tree()->topLevelItemCount(), TestData::Subscribers);
        QVERIFY(!window->isBusy());
    }

    void clearing()
    {
        TestDatabase file;
        openFilled(file);
        QVERIFY(action("actionClearDB")->isEnabled());
        {
            ModalAnswerer answerer;
            answerer.press(QMessageBox::No);
            action("actionClearDB")->trigger();
            QCOMPARE(answerer.seen.first().title, QString("Очистить БД"));
            QCOMPARE(answerer.seen.first().text, QString("Вы действительно хотите очистить БД?"));
        }
        QCOMPARE(tree()->topLevelItemCount(), 3);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Yes);
        action("actionClearDB")->trigger();
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QSqlQuery query(*window->database());
        QVERIFY(
            query.exec("SELECT (SELECT COUNT(*) FROM subscriber) + (SELECT COUNT(*) FROM card)"));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 0);
    }

    void generation()
    {
        TestDatabase file;
        openFilled(file);
        action("actionGeneration")->trigger();
        QCOMPARE(tree()->topLevelItemCount(), 24999);
        QTreeWidgetItem* first = tree()->topLevelItem(0);
        QCOMPARE(first->text(0), QString("0"));
        QCOMPARE(first->text(2), QString("0"));
        QCOMPARE(first->text(3), QString("891600000000"));
        QVERIFY(first->text(4).startsWith("Случайное число: "));
        QCOMPARE(first->childCount(), 1);
        QCOMPARE(first->child(0)->text(1), QString("0000000000000001"));
        QCOMPARE(first->child(0)->data(0, Qt::UserRole).toUInt(), 1u);
        QTreeWidgetItem* last = tree()->topLevelItem(24998);
        QCOMPARE(last->text(0), QString("24998"));
        QCOMPARE(last->child(0)->text(1), QString("00000000000061A7"));
        QVERIFY(!window->isBusy());
    }

    void failedGenerationLeavesNothingHalfDone()
    {
        TestDatabase file;
        QVERIFY(file.exec("CREATE TRIGGER refuse BEFORE INSERT ON card WHEN NEW.id = 500 "
                          "BEGIN SELECT RAISE(ABORT, 'no key 500'); END"));
        openFilled(file);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        action("actionGeneration")->trigger();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("Генерация БД"));
        QVERIFY2(answerer.seen.first().text.startsWith(
                     "Ошибка при добавлении ключа '500' для обонента '499'.\r\nSqlError: "),
                 qPrintable(answerer.seen.first().text));
        // The inserts before the failure were rolled back; the database was cleared first.
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QSqlQuery query(*window->database());
        QVERIFY(query.exec("SELECT COUNT(*) FROM subscriber") && query.next());
        QCOMPARE(query.value(0).toInt(), 0);
        QVERIFY(!window->isBusy());
        QVERIFY(window->centralWidget()->isEnabled());
    }

    void recentFiles()
    {
        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i < 21; ++i) {
            paths << dir.filePath(QString("db%1.zelkor").arg(i));
            QFile::copy(":/db/template.zelkor", paths.last());
            QFile::setPermissions(paths.last(), QFile::ReadOwner | QFile::WriteOwner);
        }
        QCOMPARE(recentMenu(), QStringList({"---", "Очистить меню"}));
        for (int i = 0; i < 20; ++i)
            QVERIFY(window->openDB(paths.at(i)));
        QCOMPARE(RecentFilesList().size(), 20);
        QCOMPARE(RecentFilesList().first(), paths.at(19));
        // Reopening moves to the top without a duplicate; the 21st drops the oldest.
        QVERIFY(window->openDB(paths.at(5)));
        QCOMPARE(RecentFilesList().first(), paths.at(5));
        QCOMPARE(RecentFilesList().count(paths.at(5)), 1);
        QVERIFY(window->openDB(paths.at(20)));
        QCOMPARE(RecentFilesList().size(), 20);
        QVERIFY(!RecentFilesList().contains(paths.at(0)));
        QCOMPARE(recentMenu().mid(0, 2), QStringList({paths.at(20), paths.at(5)}));
        QCOMPARE(recentMenu().size(), 22);

        // A deleted file: the message, then the entry is gone from list and menu.
        QFile::remove(paths.at(5));
        QAction* entry = action("actionRecentFiles")->menu()->actions().at(1);
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        entry->trigger();
        QCOMPARE(answerer.seen.first().text, QString("Файл '%1' не существет.").arg(paths.at(5)));
        QVERIFY(!RecentFilesList().contains(paths.at(5)));
        QVERIFY(!recentMenu().contains(paths.at(5)));

        // Choosing an entry opens it.
        action("actionRecentFiles")->menu()->actions().at(1)->trigger();
        QCOMPARE(window->database()->databaseName(), RecentFilesList().first());

        action("actionClearRecentFiles")->trigger();
        QVERIFY(RecentFilesList().isEmpty());
        QVERIFY(!settingsStore().contains("RecentFIles") ||
                settingsStore().value("RecentFIles").toStringList().isEmpty());
        QCOMPARE(recentMenu(), QStringList({"---", "Очистить меню"}));
    }

private:
    static QStringList RecentFilesList()
    {
        return settingsStore().value("RecentFIles").toStringList();
    }
};

QTEST_MAIN(TestDatabaseWindow)
#include "tst_databasewindow.moc"
