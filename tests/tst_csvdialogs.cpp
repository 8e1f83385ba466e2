#include "guitest.h"
#include "modalanswerer.h"
#include "qexportfromdb.h"
#include "qimporttodb.h"
#include "qsaveevents.h"
#include "qwaitdialog.h"
#include "qzelkorwindow.h"
#include "testdatabase.h"

#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTextCodec>
#include <QTreeWidget>

// The three CSV dialogs on real files: the import's preview, the tasks run from the main
// window, refusals and a cancel.
class TestCsvDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString writeFile(const QString& name, const QString& text)
    {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(QTextCodec::codecForName("windows-1251")->fromUnicode(text));
        return file.fileName();
    }

    QString read(const QString& fileName)
    {
        QFile file(fileName);
        file.open(QIODevice::ReadOnly);
        return QTextCodec::codecForName("windows-1251")->toUnicode(file.readAll());
    }

    // The preview's texts, with "!" after a red cell and "~" after a grey one.
    static QStringList cells(QImportToDB* dialog)
    {
        const QAbstractItemModel* model = childOf<QTableView>(dialog, "tableData")->model();
        QStringList rows;
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList texts;
            for (int column = 0; column < model->columnCount(); ++column) {
                const QModelIndex index = model->index(row, column);
                const QColor colour = index.data(Qt::BackgroundRole).value<QColor>();
                texts << index.data().toString() + (colour == Qt::red         ? "!"
                                                    : colour == Qt::lightGray ? "~"
                                                                              : "");
            }
            rows << texts.join('|');
        }
        return rows;
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void preview()
    {
        TestDatabase file;
        QImportToDB dialog(nullptr, &file.db());
        dialog.show();
        childOf<QComboBox>(&dialog, "cboxSeparator")->setCurrentIndex(1);
        childOf<QComboBox>(&dialog, "cbType")->setCurrentIndex(2);
        childOf<QCheckBox>(&dialog, "cbIgnore")->setChecked(true);
        const auto header = [&dialog](int column) {
            return childOf<QTableView>(&dialog, "tableData")
                ->model()
                ->headerData(column, Qt::Horizontal)
                .toString();
        };
        QVERIFY(dialog.loadFile(writeFile("preview.csv",
                                          "Абонент;Квартира;Телефон;Ключ\r\n1;5;123;0000123\r\n"
                                          "x;6;;12345678;extra\r\n3;-7;456\r\n")));
        QCOMPARE(cells(&dialog),
                 QStringList({"1|5|123|0000123", "x!|6~|~|12345678!", "3~|-7!|456~|~", "|||"}));
        QCOMPARE(childOf<QLabel>(&dialog, "lErrorCells")->text(), QString("Всего ошибок: 3"));
        QCOMPARE(childOf<QLabel>(&dialog, "lErrorRows")->text(), QString("Строк с ошибками: 2"));
        QCOMPARE(header(0), QString("Абонент\r\n(Абонент)"));
        QCOMPARE(header(3), QString("Ключ\r\n(Ключ)"));

        // Another codec decodes the same bytes again at once.
        auto* codecs = childOf<QComboBox>(&dialog, "cboxCodecs");
        codecs->setCurrentText("KOI8-R");
        QCOMPARE(header(3), QString("Ключ\r\n(йКЧВ)"));
        codecs->setCurrentText("windows-1251");
        // A file that cannot be read leaves the lines as they were.
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QVERIFY(!dialog.loadFile(dir.filePath("missing.csv")));
        QCOMPARE(answerer.seen.value(0).title, QString("Ошибка открытия файла"));

        // A changed setting marks the preview stale until it is refreshed.
        auto* refresh = childOf<QPushButton>(&dialog, "pbRefresh");
        QVERIFY(!refresh->isVisible());
        childOf<QCheckBox>(&dialog, "cbPhone")->setChecked(false);
        QVERIFY(refresh->isVisible());
        QTRY_VERIFY(refresh->isFlat());
        QTRY_VERIFY(!refresh->isFlat());
        QCOMPARE(cells(&dialog).first(), QString("1|5|123|0000123"));
        refresh->click();
        QVERIFY(!refresh->isVisible() && !refresh->isFlat());
        QCOMPARE(cells(&dialog).first(), QString("1|5|123"));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<bool>("bind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        const QString separator = "Необходимо указать разделитель.";
        QTest::newRow("import, binding")
            << "import" << true << "Необходимо указать абонента для привязки."
            << "cboxListSubscriber";
        QTest::newRow("import, separator") << "import" << false << separator << "cboxSeparator";
        QTest::newRow("export, separator") << "export" << false << separator << "cboxSeparator";
        QTest::newRow("events, separator") << "events" << false << separator << "cboxSeparator";
    }
    void refusals()
    {
        QFETCH(QString, dialog);
        QFETCH(bool, bind);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        TestDatabase file;
        QTreeWidget events;
        QScopedPointer<QDialog> shown;
        if (dialog == "import") {
            auto* importer = new QImportToDB(nullptr, &file.db());
            shown.reset(importer);
            importer->loadFile(writeFile("refused.csv", "1;2"));
        } else if (dialog == "export")
            shown.reset(new QExportFromDB(nullptr, &file.db()));
        else
            shown.reset(new QSaveEvents(nullptr, &events));
        shown->show();
        if (bind)
            childOf<QComboBox>(shown.data(), "cboxSubscriber")->setCurrentIndex(2);
        childOf<QComboBox>(shown.data(), "cboxSeparator")->setCurrentIndex(3);
        childOf<QLineEdit>(shown.data(), "leSeparator")->setText(bind ? ";" : "");
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        childOf<QPushButton>(shown.data(), dialog == "export"   ? "pbExport"
                                           : dialog == "import" ? "pbImport"
                                                                : "pbSave")
            ->click();
        QVERIFY(answerer.waitForAnswered(1));
        QCOMPARE(answerer.seen.first().text, message);
        QCOMPARE(answerer.seen.first().title, shown->windowTitle());
        const QWidget* target = childOf<QWidget>(shown.data(), qPrintable(focus));
        QVERIFY(shown->focusWidget() == target || target->isAncestorOf(shown->focusWidget()));
        QCOMPARE(answerer.pending(), 0); // nothing more was asked, no file either
    }

    // The window's actions: export, import (the tree reloaded), saving the events.
    void throughTheWindow()
    {
        TestDatabase file;
        file.addSubscriber(3, "30", "300");
        file.addKey(3, 123, 2, "123");
        file.close();
        settingsStore().clear();
        QZelKorWindow window;
        window.show();
        QVERIFY(window.openDB(file.path()));

        const QString exported = dir.filePath("exported.csv");
        ModalAnswerer answerer;
        answerer.ignore("QWaitDialog");
        answerer.handle([](QWidget* dialog) {
            childOf<QPushButton>(dialog, "pbExport")->click();
            static_cast<QDialog*>(dialog)->reject();
        });
        answerer.chooseFile(exported);
        answerer.press(QMessageBox::Ok);
        childOf<QAction>(&window, "actionExportDB")->trigger();
        QCOMPARE(read(exported), QString("3\t30\t300\t\r\n3\t30\t300\t123\r\n"));

        // The key of the events saved below: its owner's tip stays out of the file.
        const QString input = writeFile("input.csv", "7\t70\t700\t12345\r\n");
        answerer.handle([input](QWidget* dialog) {
            static_cast<QImportToDB*>(dialog)->loadFile(input);
            childOf<QCheckBox>(dialog, "cbClearDB")->setChecked(true);
            childOf<QPushButton>(dialog, "pbImport")->click();
        });
        answerer.press(QMessageBox::Ok);
        childOf<QAction>(&window, "actionImportDB")->trigger();
        QCOMPARE(answerer.seen.at(4).text.section("\r\n", 1), QString("Добавлено абонентов: 1.\r\n"
                                                                      "Добавлено ключей: 1."));
        QCOMPARE(childOf<QTreeWidget>(&window, "treeView")->topLevelItem(0)->text(0), QString("7"));
        QCOMPARE(childOf<QTreeWidget>(&window, "treeView")->topLevelItemCount(), 1);

        // An event that arrives while the list is being saved is not saved.
        const QByteArray record = QByteArray::fromHex("393000000011");
        window.onEvent(record, QDateTime(QDate(2024, 5, 1), QTime(10, 0)));
        const QString saved = dir.filePath("events.csv");
        answerer.handle([&](QWidget* dialog) {
            connect(static_cast<QSaveEvents*>(dialog), &QSaveEvents::setMaximum, &window,
                    [&] { window.onEvent(record, QDateTime::currentDateTime()); });
            childOf<QCheckBox>(dialog, "cbHeader")->setChecked(true);
            childOf<QPushButton>(dialog, "pbSave")->click();
            static_cast<QDialog*>(dialog)->reject();
        });
        answerer.chooseFile(saved);
        answerer.press(QMessageBox::Ok);
        childOf<QPushButton>(&window, "pbSaveEvents")->click();
        QCOMPARE(answerer.seen.at(7).text,
                 QString("Сохранение событий выполнено успешно.\r\nВсего строк: 2."));
        QCOMPARE(read(saved), QString("Дата и время\tКлюч\tСобытие\r\n2024.05.01 "
                                      "10:00:00.000\t12345\tПроход по ключу\r\n"));
        QCOMPARE(childOf<QTreeWidget>(&window, "treeEvents")->topLevelItemCount(), 2);
    }

    // A task held by a lock on the database is cancelled from the wait dialog.
    void cancel_data()
    {
        QTest::addColumn<bool>("import");
        QTest::newRow("import") << true;
        QTest::newRow("export") << false;
    }
    void cancel()
    {
        QFETCH(bool, import);
        TestDatabase file;
        file.addSubscriber(1, "10", "100");
        QScopedPointer<QDialog> dialog;
        if (import) {
            auto* importer = new QImportToDB(nullptr, &file.db());
            dialog.reset(importer);
            importer->loadFile(writeFile("cancel.csv", "2\t20\t200\t5\r\n"));
        } else {
            dialog.reset(new QExportFromDB(nullptr, &file.db()));
        }
        dialog->show();
        QVERIFY(file.exec(import ? "BEGIN IMMEDIATE" : "BEGIN EXCLUSIVE"));
        ModalAnswerer answerer;
        if (!import)
            answerer.chooseFile(dir.filePath("cancelled.csv"));
        answerer.handle([&](QWidget* wait) {
            // Once the task is told, the lock goes and the task reaches its next check.
            connect(static_cast<QWaitDialog*>(wait), &QWaitDialog::cancel,
                    [&] { file.exec("ROLLBACK"); });
            QTimer::singleShot(0, [wait] { childOf<QPushButton>(wait, "pbCancel")->click(); });
        });
        answerer.press(QMessageBox::Yes);
        answerer.press(QMessageBox::Ok);
        childOf<QPushButton>(dialog.data(), import ? "pbImport" : "pbExport")->click();
        QCOMPARE(answerer.seen.size(), import ? 3 : 4);
        QCOMPARE(answerer.seen.last().text, QString("Операция прервана пользователем."));
        QCOMPARE(file.column("SELECT id FROM subscriber"), QStringList{"1"});
        QVERIFY(dialog->isVisible());
    }
};

QTEST_MAIN(TestCsvDialogs)
#include "tst_csvdialogs.moc"
