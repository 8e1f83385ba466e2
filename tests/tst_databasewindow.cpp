#include "qzelkorwindow.h"
#include "testsupport.h"

// Database files, the tree, search, deletion and recent files, through the main
// window on real files.
class TestDatabaseWindow : public QObject
{
    Q_OBJECT

    QScopedPointer<QZelKorWindow> window;
    QScopedPointer<TestDatabase> file;

    template<typename T>
    T* child(const char* name)
    {
        return childOf<T>(window.data(), name);
    }
    QAction* action(const char* name) { return child<QAction>(name); }
    QTreeWidget* tree() { return child<QTreeWidget>("treeView"); }
    QTreeWidget* found() { return child<QTreeWidget>("treeFind"); }

    // The cells of the top-level rows in one column.
    static QStringList column(QTreeWidget* view, int column)
    {
        QStringList texts;
        for (int i = 0; i < view->topLevelItemCount(); ++i)
            texts << view->topLevelItem(i)->text(column);
        return texts;
    }

    // The first seven cells of a row, "|"-separated.
    static QString cells(const QTreeWidgetItem* row, int count = 7)
    {
        QStringList texts;
        for (int column = 0; column < count; ++column)
            texts << row->text(column);
        return texts.join('|');
    }

    int count(const QString& what)
    {
        QSqlQuery query(*window->database());
        return query.exec("SELECT " + what) && query.next() ? query.value(0).toInt() : -1;
    }

    static QStringList recentList() { return settingsStore().value("RecentFIles").toStringList(); }

    // Subscribers 10, 2 and 3, two of them with keys, in the window; with a change first.
    void openFilled(const QString& change = {})
    {
        file->addSubscriber(10, "15", "8123");
        file->addSubscriber(2, "b7");
        file->addSubscriber(3, "A8");
        file->addKey(10, 12, 2, "12", {"", "key two"});
        file->addKey(10, 0xA1B2C3, 0, "0000000000A1B2C3");
        file->addKey(2, 123, 3, "0000000123");
        QVERIFY(file->exec("UPDATE subscriber SET field1 = 'one', field2 = 'two', field3 = 'три' "
                           "WHERE id = 10"));
        if (!change.isEmpty())
            QVERIFY(file->exec(change));
        file->close();
        QVERIFY(window->openDB(file->path()));
    }

    void search(int column, int type, const QString& condition)
    {
        auto* columns = child<QComboBox>("cboxColumn");
        columns->setCurrentIndex(columns->findData(column));
        child<QComboBox>("cboxTypeFind")->setCurrentIndex(type);
        child<QLineEdit>("leCondition")->setText(condition);
        QTest::keyClick(child<QLineEdit>("leCondition"), Qt::Key_Return);
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        settingsStore().clear();
        file.reset(new TestDatabase);
        window.reset(new QZelKorWindow);
        window->show();
    }

    void cleanup()
    {
        window.reset();
        file.reset();
    }

    void createOverAnExistingFile()
    {
        openFilled();
        ModalAnswerer answerer;
        answerer.chooseFile(file->path());
        answerer.press(QMessageBox::Yes); // the file dialog's question about replacing the file
        action("actionNewDB")->trigger();
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(window->windowTitle(),
                 QString("Ostrovel: Управление панелью ZEL-KOR (%1)").arg(file->path()));
        QVERIFY(action("actionCloseDB")->isEnabled());
        QCOMPARE(count("(SELECT COUNT(*) FROM subscriber) + (SELECT COUNT(*) FROM card)"), 0);
        // Foreign keys are on for the window's connection.
        QCOMPARE(count("* FROM pragma_foreign_keys"), 1);
        QCOMPARE(recentList(), QStringList{file->path()});
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        const QString version = "Формат БД '%1' не поддерживается, только формат '1'.";
        const QString unreadable = "Неверный формат БД или файл поврежден.\nОшибка: ";
        QTest::newRow("missing") << "missing"
                                 << "Файл '%1' не существует.";
        QTest::newRow("not a database") << "garbage" << unreadable;
        QTest::newRow("no system table") << "DROP TABLE system" << unreadable + "no such table";
        QTest::newRow("no system row") << "DELETE FROM system"
                                       << "В базе отсутствуют настройки панели.";
        for (const char* number : {"0", "2", "255", "4294967297"})
            QTest::newRow(qPrintable(QString("version %1").arg(number)))
                << QString("UPDATE system SET version = %1").arg(number) << version.arg(number);
    }
    void refusedFiles()
    {
        QFETCH(QString, change);
        QFETCH(QString, message);
        QString path = file->path();
        if (change == "missing")
            path += ".gone";
        else if (change != "garbage")
            QVERIFY(file->exec(change));
        file->close();
        QFile damaged(path);
        if (change == "garbage") {
            QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
            damaged.write(QByteArray(4096, 'z'));
            damaged.close();
        }
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QVERIFY(!window->openDB(path));
        QCOMPARE(answerer.seen.size(), 1);
        const QString expected = message.contains("%1") ? message.arg(path) : message;
        QVERIFY2(answerer.seen[0].text.startsWith(expected), qPrintable(answerer.seen[0].text));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
        // Closed and not remembered; a file that is no database is left as it was.
        QVERIFY(!window->database()->isOpen() && !action("actionCloseDB")->isEnabled());
        QCOMPARE(window->windowTitle(), QString("Ostrovel: Управление панелью ZEL-KOR"));
        QVERIFY(recentList().isEmpty());
        if (change == "garbage") {
            QVERIFY(damaged.open(QIODevice::ReadOnly));
            QCOMPARE(damaged.readAll(), QByteArray(4096, 'z'));
        }
    }

    void treeShape()
    {
        openFilled();
        QCOMPARE(column(tree(), 0), QStringList({"2", "3", "10"}));
        QTreeWidgetItem* ten = tree()->topLevelItem(2);
        QCOMPARE(cells(ten), QString("10||15|8123|one|two|три"));
        QCOMPARE(ten->data(0, Qt::UserRole).toInt(), 10);
        // Keys in the text order of their numbers, repeating the owner's columns in grey.
        QCOMPARE(ten->childCount(), 2);
        QTreeWidgetItem* key = ten->child(0);
        QCOMPARE(cells(key), QString("|0000000000A1B2C3|15|8123|||"));
        QCOMPARE(cells(ten->child(1)), QString("|12|15|8123||key two|"));
        QCOMPARE(key->data(0, Qt::UserRole).toUInt(), 0xA1B2C3u);
        QCOMPARE(key->data(1, Qt::UserRole).toInt(), 0);
        QCOMPARE(key->foreground(3).color(), QColor(Qt::lightGray));
        // Other columns sort as lower-cased text.
        tree()->header()->setSortIndicator(2, Qt::AscendingOrder);
        QCOMPARE(column(tree(), 2), QStringList({"15", "A8", "b7"}));
        // Nothing selected: edit and delete wait for a row.
        QVERIFY(!action("actionEdit")->isEnabled());
        tree()->setCurrentItem(key);
        QVERIFY(action("actionEdit")->isEnabled() && action("actionDel")->isEnabled());
        QVERIFY(window->centralWidget()->isEnabled() && !window->isBusy());
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
        openFilled(QString("UPDATE system SET columns = %1, field2_name = 'Подъезд', "
                           "field4_name = '', card_format_default = 0")
                       .arg(columns));
        auto* offer = child<QComboBox>("cboxColumn");
        QCOMPARE(offer->count(), offered);
        QCOMPARE(tree()->headerItem()->text(5) + tree()->headerItem()->text(7),
                 QString("ПодъездДоп. поле 4"));
        for (int n = 1; n <= 10; ++n)
            QCOMPARE(tree()->isColumnHidden(3 + n), !(columns & (1 << n)));
        QCOMPARE(window->defaultKeyFormat(), 0);
        // Searching a column behind a hidden one searches that column.
        offer->setCurrentIndex(offer->findText("Подъезд"));
        child<QLineEdit>("leCondition")->setText("two");
        action("actionSearch")->trigger();
        QCOMPARE(column(found(), 2), columns ? QStringList({"two", "key two"}) : QStringList());
        // Closing restores the default titles, all columns and key format 2.
        action("actionCloseDB")->trigger();
        QCOMPARE(tree()->headerItem()->text(5), QString("Доп. поле 2"));
        QVERIFY(!tree()->isColumnHidden(6));
        QCOMPARE(offer->count() + tree()->topLevelItemCount(), 0);
        QCOMPARE(window->defaultKeyFormat(), 2);
    }

    void search_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QStringList>("results"); // subscriber|key|cell
        QTest::newRow("keys containing 12")
            << 1 << 0 << "12" << QStringList({"2|0000000123|0000000123", "10|12|12"});
        QTest::newRow("starts with, any case") << 2 << 1 << "a" << QStringList({"3||A8"});
        QTest::newRow("regular expression, whole cell")
            << 3 << 3 << "8\\d+"
            << QStringList({"10||8123", "10|0000000000A1B2C3|8123", "10|12|8123"});
        QTest::newRow("invalid regular expression") << 1 << 3 << "(12" << QStringList();
    }
    void search()
    {
        QFETCH(int, column);
        QFETCH(int, type);
        QFETCH(QString, condition);
        QFETCH(QStringList, results);
        openFilled();
        search(column, type, condition);
        QCOMPARE(
            found()->headerItem()->text(2),
            QString("Поиск по столбцу '%1'").arg(child<QComboBox>("cboxColumn")->currentText()));
        QStringList texts;
        for (int i = 0; i < found()->topLevelItemCount(); ++i)
            texts << cells(found()->topLevelItem(i), 3);
        QCOMPARE(texts, results);
    }

    void shortcuts_data()
    {
        QTest::addColumn<QStringList>("row"); // keys, focus, action, times triggered
        for (const char* row :
             {"Ctrl+N treeView NewDB 1", "Ctrl+O treeView OpenDB 1", "Ctrl+W treeView CloseDB 1",
              "Ctrl+Q treeView Exit 1", "F5 treeView RefreshDB 1", "Ins treeView AddSubscriber 1",
              "Del treeView Del 1", "Del treeEvents Del 0", "Return treeView Edit 1",
              "Ctrl+F treeView ShowFind 1"})
            QTest::newRow(row) << QString(row).split(' ');
    }
    void shortcuts()
    {
        QFETCH(QStringList, row);
        openFilled();
        tree()->setCurrentItem(tree()->topLevelItem(0));
        child<QTabWidget>("tabWidget")->setCurrentIndex(row[1] == "treeView" ? 0 : 1);
        child<QWidget>(qPrintable(row[1]))->setFocus();
        QSignalSpy triggered(action(qPrintable("action" + row[2])), &QAction::triggered);
        ModalAnswerer answerer;
        answerer.cancelDialog();
        QTest::keySequence(QApplication::focusWidget(), QKeySequence(row[0]));
        QCOMPARE(triggered.count(), row[3].toInt());
    }

    void editorsOpenForTheirRows()
    {
        openFilled();
        QTreeWidgetItem* ten = tree()->topLevelItem(2);
        // The dialog something opens, as "class: title apartment".
        const auto opened = [](const std::function<void()>& provoke) {
            QString shown;
            ModalAnswerer answerer;
            answerer.handle([&shown](QWidget* dialog) {
                shown = QString("%1: %2 %3")
                            .arg(dialog->metaObject()->className(), dialog->windowTitle(),
                                 dialog->findChild<QLineEdit*>("vApartment")->text());
                static_cast<QDialog*>(dialog)->reject();
            });
            provoke();
            return shown;
        };
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
        const QPoint cell = tree()->visualItemRect(ten).center();
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, cell);
        QCOMPARE(opened([&] { QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, cell); }),
                 QString("QSubscriber: Абонент: 10 15"));
        tree()->setCurrentItem(ten->child(1));
        QCOMPARE(opened([&] { action("actionEdit")->trigger(); }), QString("QCard: Ключ: 12 15"));
        // A new key goes to the owner of the selected key.
        QCOMPARE(opened([&] { action("actionAddCard")->trigger(); }),
                 QString("QCard: Ключ: Новый 15"));
        // A search result leads to its row and opens it.
        search(1, 0, "0000000123");
        QVERIFY(!action("actionGotoOpenRec")->isEnabled());
        found()->setCurrentItem(found()->topLevelItem(0));
        QCOMPARE(tree()->currentItem()->text(1), QString("0000000123"));
        QCOMPARE(opened([&] { action("actionGotoOpenRec")->trigger(); }),
                 QString("QCard: Ключ: 0000000123 b7"));
    }

    void deleteKeyAndSubscriber()
    {
        openFilled();
        search(1, 0, "1");
        QCOMPARE(found()->topLevelItemCount(), 3);
        QTreeWidgetItem* ten = tree()->topLevelItem(2);
        const auto remove = [this](QTreeWidgetItem* row, QMessageBox::StandardButton answer) {
            tree()->setCurrentItem(row);
            ModalAnswerer answerer;
            answerer.press(answer);
            action("actionDel")->trigger();
            return answerer.seen.value(0).text;
        };
        // A key: the question names it; No keeps it.
        QCOMPARE(remove(ten->child(1), QMessageBox::No), QString("Удалить ключ '12' ?"));
        QCOMPARE(ten->childCount(), 2);
        remove(ten->child(1), QMessageBox::Yes);
        QCOMPARE(ten->childCount() + found()->topLevelItemCount(), 1 + 2);
        // A subscriber: its keys go with it, in the database and among the results.
        QCOMPARE(remove(ten, QMessageBox::Yes), QString("Удалить абонента '10' ?"));
        QCOMPARE(column(tree(), 0), QStringList({"2", "3"}));
        QCOMPARE(column(found(), 0), QStringList({"2"}));
        QCOMPARE(count("COUNT(*) FROM card"), 1);
    }

    void settingsApplyWithoutReloading()
    {
        openFilled();
        QTreeWidgetItem* first = tree()->topLevelItem(0);
        ModalAnswerer answerer;
        answerer.handle([](QWidget* dialog) {
            dialog->findChild<QCheckBox*>("cbField3")->setChecked(false);
            dialog->findChild<QComboBox*>("cbType")->setCurrentIndex(1);
            dialog->findChild<QPushButton*>("pbSave")->click();
        });
        action("actionSettingsDB")->trigger();
        QVERIFY(tree()->isColumnHidden(6));
        QCOMPARE(window->defaultKeyFormat(), 1);
        QCOMPARE(tree()->topLevelItem(0), first);
    }

    void recentFiles()
    {
        QStringList paths;
        for (int i = 0; i < 21; ++i) {
            paths << file->path() + QString::number(i);
            QFile::copy(file->path(), paths.last());
        }
        // Reopening moves to the top without a duplicate; the 21st drops the oldest.
        for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 5, 20})
            QVERIFY(window->openDB(paths.at(i)));
        QCOMPARE(recentList().size(), 20);
        QCOMPARE(recentList().mid(0, 3), QStringList({paths.at(20), paths.at(5), paths.at(19)}));
        QCOMPARE(recentList().count(paths.at(5)), 1);
        QVERIFY(!recentList().contains(paths.at(0)));
        QMenu* menu = action("actionRecentFiles")->menu();
        QCOMPARE(menu->actions().at(1)->text(), paths.at(5));
        // A deleted file: the message, then the entry is gone from the list and the menu.
        QFile::remove(paths.at(5));
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        menu->actions().at(1)->trigger();
        QCOMPARE(answerer.seen.value(0).text, QString("Файл '%1' не существует.").arg(paths.at(5)));
        QVERIFY(!recentList().contains(paths.at(5)));
        QCOMPARE(menu->actions().size(), 19 + 2);
        // Clearing leaves the separator and "Очистить меню".
        action("actionClearRecentFiles")->trigger();
        QVERIFY(recentList().isEmpty());
        QCOMPARE(menu->actions().size(), 2);
    }
};

QTEST_MAIN(TestDatabaseWindow)
#include "tst_databasewindow.moc"
