#include "cardformat.h"
#include "guitest.h"
#include "modalanswerer.h"
#include "qinfodb.h"
#include "qsettingsdb.h"
#include "testdatabase.h"

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// The database settings and information dialogs on a real copy of the template database.
class TestSettingsDB : public QObject
{
    Q_OBJECT

    QScopedPointer<TestDatabase> file;

    QSqlDatabase* db() { return &file->db(); }
    QString path() const { return file->path(); }

    QVariant systemValue(const QString& column)
    {
        return file->value(QStringLiteral("SELECT %1 FROM system WHERE id = 1").arg(column));
    }

    static QCheckBox* box(QWidget* dialog, int n)
    {
        return dialog->findChild<QCheckBox*>(QStringLiteral("cbField%1").arg(n));
    }
    static QLineEdit* edit(QWidget* dialog, int n)
    {
        return dialog->findChild<QLineEdit*>(QStringLiteral("leField%1").arg(n));
    }
    static QComboBox* type(QWidget* dialog) { return dialog->findChild<QComboBox*>("cbType"); }
    static QPushButton* button(QWidget* dialog, const char* name)
    {
        return dialog->findChild<QPushButton*>(name);
    }
    static QString label(QWidget* dialog, const char* name)
    {
        return dialog->findChild<QLabel*>(name)->text();
    }
    static int checkedMask(QWidget* dialog)
    {
        int mask = 0;
        for (int n = 1; n <= 10; ++n)
            if (box(dialog, n)->isChecked())
                mask |= 1 << n;
        return mask;
    }

private slots:
    void initTestCase() { prepareGuiTest(); }

    void init()
    {
        file.reset(new TestDatabase);
        QVERIFY(file->isValid());
    }

    void cleanup() { file.reset(); }

    void settingsForm()
    {
        QScopedPointer<QSettingsDB> dialog(QSettingsDB::create(nullptr, db()));
        dialog->show();
        QCOMPARE(dialog->windowTitle(), QString("Настройка БД"));
        QVERIFY(dialog->isModal());
        QCOMPARE(label(dialog.data(), "label"), QString("Дополнительные поля"));
        QCOMPARE(label(dialog.data(), "label_4"), QString("Формат ключа по умолчанию"));
        for (int n = 1; n <= 10; ++n) {
            QCOMPARE(box(dialog.data(), n)->text(), QString("Доп. поле %1").arg(n));
            QCOMPARE(edit(dialog.data(), n)->placeholderText(), QString("Доп. поле %1").arg(n));
        }
        QStringList items;
        for (int i = 0; i < type(dialog.data())->count(); ++i)
            items << type(dialog.data())->itemText(i);
        QCOMPARE(items, CardFormat::names());
        QCOMPARE(button(dialog.data(), "pbSave")->text(), QString("Сохранить"));
        QCOMPARE(button(dialog.data(), "pbCancel")->text(), QString("Отмена"));
        // No spare height: the rows keep to what they need.
        QCOMPARE(dialog->height(), dialog->minimumSizeHint().height());
        // Every check box sits beside its own title.
        for (int n = 1; n <= 10; ++n) {
            const QRect boxRect = box(dialog.data(), n)->geometry();
            const QRect editRect = edit(dialog.data(), n)->geometry();
            QVERIFY(editRect.left() >= boxRect.right());
            QVERIFY(editRect.center().y() > boxRect.top() &&
                    editRect.center().y() < boxRect.bottom());
        }
    }

    void loads_data()
    {
        QTest::addColumn<qlonglong>("columns");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("checked");
        QTest::addColumn<int>("shownFormat");

        QTest::newRow("template columns check all ten") << 65535LL << 2 << 2046 << 2;
        QTest::newRow("field 3 hidden") << 2038LL << 0 << 2038 << 0;
        QTest::newRow("none") << 0LL << 3 << 0 << 3;
        QTest::newRow("bit 0 and bit 11 are not fields") << (1LL | 1LL << 11) << 1 << 0 << 1;
        QTest::newRow("only field 10") << 1024LL << 2 << 1024 << 2;
        QTest::newRow("unknown format falls back to codes") << 2046LL << 7 << 2046 << 2;
        QTest::newRow("negative format falls back to codes") << 2046LL << -1 << 2046 << 2;
    }

    void loads()
    {
        QFETCH(qlonglong, columns);
        QFETCH(int, format);
        QFETCH(int, checked);
        QFETCH(int, shownFormat);
        QVERIFY(
            file->exec(QStringLiteral("UPDATE system SET columns = %1, card_format_default = %2, "
                                      "field4_name = 'Подъезд', field7_name = ''")
                           .arg(columns)
                           .arg(format)));
        QScopedPointer<QSettingsDB> dialog(QSettingsDB::create(nullptr, db()));
        QCOMPARE(checkedMask(dialog.data()), checked);
        QCOMPARE(type(dialog.data())->currentIndex(), shownFormat);
        for (int n = 1; n <= 10; ++n) {
            const QString expected = n == 4   ? QString("Подъезд")
                                     : n == 7 ? QString()
                                              : QString("Доп. поле %1").arg(n);
            QCOMPARE(edit(dialog.data(), n)->text(), expected);
        }
    }

    void saves_data()
    {
        QTest::addColumn<QList<int>>("toggle");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("columns");

        QTest::newRow("field 3 hidden") << QList<int>{3} << 1 << 2038;
        QTest::newRow("unchanged boxes") << QList<int>{} << 2 << 2046;
        QTest::newRow("first and last hidden") << QList<int>{1, 10} << 0 << 2046 - 2 - 1024;
        QTest::newRow("all hidden") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << 3 << 0;
    }

    void saves()
    {
        QFETCH(QList<int>, toggle);
        QFETCH(int, format);
        QFETCH(int, columns);
        QScopedPointer<QSettingsDB> dialog(QSettingsDB::create(nullptr, db()));
        dialog->show();
        QSignalSpy accepted(dialog.data(), &QDialog::accepted);
        for (int n : toggle)
            QTest::mouseClick(box(dialog.data(), n), Qt::LeftButton);
        edit(dialog.data(), 2)->setText(QStringLiteral("Этаж"));
        edit(dialog.data(), 5)->clear();
        type(dialog.data())->setCurrentIndex(format);
        QTest::mouseClick(button(dialog.data(), "pbSave"), Qt::LeftButton);

        QCOMPARE(accepted.count(), 1);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(systemValue("columns").toInt(), columns);
        QCOMPARE(systemValue("card_format_default").toInt(), format);
        QCOMPARE(systemValue("field1_name").toString(), QString("Доп. поле 1"));
        QCOMPARE(systemValue("field2_name").toString(), QString("Этаж"));
        QCOMPARE(systemValue("field10_name").toString(), QString("Доп. поле 10"));
        // An empty title is kept as empty text rather than NULL.
        QCOMPARE(systemValue("typeof(field5_name)").toString(), QString("text"));
        QCOMPARE(systemValue("field5_name").toString(), QString(""));

        // What was saved is what the next dialog shows.
        QScopedPointer<QSettingsDB> again(QSettingsDB::create(nullptr, db()));
        QCOMPARE(checkedMask(again.data()), columns);
        QCOMPARE(type(again.data())->currentIndex(), format);
        QCOMPARE(edit(again.data(), 2)->text(), QString("Этаж"));
        QCOMPARE(edit(again.data(), 5)->text(), QString());
    }

    void saveFailureKeepsDialogOpen_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<QString>("message");

        QTest::newRow("system table dropped") << "drop"
                                              << "Ошибка подготовки данных.\r\nSqlError: ";
        QTest::newRow("read-only file") << "readonly"
                                        << "Ошибка сохранения данных.\r\nSqlError: ";
        QTest::newRow("settings row deleted")
            << "norow"
            << "Ошибка сохранения данных.\r\nSqlError: В базе отсутствуют настройки панели.";
    }

    void saveFailureKeepsDialogOpen()
    {
        QFETCH(QString, breakage);
        QFETCH(QString, message);
        if (breakage == QLatin1String("readonly")) {
            QVERIFY(file->reopen(QString(), true));
        }
        QScopedPointer<QSettingsDB> dialog(QSettingsDB::create(nullptr, db()));
        dialog->show();
        QCOMPARE(checkedMask(dialog.data()), 2046);
        if (breakage == QLatin1String("drop"))
            QVERIFY(file->exec(QStringLiteral("DROP TABLE system")));
        else if (breakage == QLatin1String("norow"))
            QVERIFY(file->exec(QStringLiteral("DELETE FROM system")));
        QSignalSpy accepted(dialog.data(), &QDialog::accepted);
        box(dialog.data(), 3)->setChecked(false);

        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        button(dialog.data(), "pbSave")->click();
        QVERIFY(answerer.waitForAnswered(1));
        QCOMPARE(answerer.seen.first().title, QString("Настройка БД"));
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
        QVERIFY2(answerer.seen.first().text.startsWith(message),
                 qPrintable(answerer.seen.first().text));
        QVERIFY(answerer.seen.first().text.size() >
                QString("Ошибка сохранения данных.\r\nSqlError: ").size());
        QCOMPARE(accepted.count(), 0);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        if (breakage == QLatin1String("readonly"))
            QCOMPARE(systemValue("columns").toInt(), 65535);
    }

    void loadFailureKeepsDefaults_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("message");

        QTest::newRow("system table dropped") << "DROP TABLE system"
                                              << "Ошибка загрузки данных.\r\nSqlError: ";
        QTest::newRow("settings row deleted")
            << "DELETE FROM system"
            << "Ошибка загрузки данных.\r\nSqlError: В базе отсутствуют настройки панели.";
    }

    void loadFailureKeepsDefaults()
    {
        QFETCH(QString, statement);
        QFETCH(QString, message);
        QVERIFY(file->exec(statement));
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QScopedPointer<QSettingsDB> dialog(QSettingsDB::create(nullptr, db()));
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("Настройка БД"));
        QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
        QVERIFY2(answerer.seen.first().text.startsWith(message),
                 qPrintable(answerer.seen.first().text));
        QCOMPARE(checkedMask(dialog.data()), 0);
        QCOMPARE(type(dialog.data())->currentIndex(), int(CardFormat::Default));
        for (int n = 1; n <= 10; ++n)
            QCOMPARE(edit(dialog.data(), n)->text(), QString());
    }

    void settingsExecReportsSaving_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<int>("columns");

        QTest::newRow("save") << "pbSave" << true << 2046;
        QTest::newRow("cancel") << "pbCancel" << false << 65535;
    }

    void settingsExecReportsSaving()
    {
        QFETCH(QString, press);
        QFETCH(bool, saved);
        QFETCH(int, columns);
        ModalAnswerer answerer;
        answerer.handle([press](QWidget* widget) {
            if (auto* pressed = widget->findChild<QPushButton*>(press))
                pressed->click();
        });
        QCOMPARE(QSettingsDB::exec(nullptr, db()), saved);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().className, QString("QSettingsDB"));
        QCOMPARE(systemValue("columns").toInt(), columns);
    }

    void infoForm()
    {
        QScopedPointer<QInfoDB> dialog(QInfoDB::create(nullptr, db()));
        dialog->show();
        QCOMPARE(dialog->windowTitle(), QString("Информация о БД"));
        QVERIFY(dialog->isModal());
        const char* captions[] = {
            "Имя файла:", "Размер:", "Абонентов:", "Ключей:", "Квартир:", "Телефонов:"};
        const char* values[] = {"lFileName", "lSize",      "lSubscriber",
                                "lCard",     "lApartment", "lPhone"};
        auto* form = dialog->findChild<QFormLayout*>();
        QVERIFY(form);
        for (int row = 0; row < 6; ++row) {
            auto* caption =
                qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget());
            auto* value =
                qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::FieldRole)->widget());
            QVERIFY(caption && value);
            QCOMPARE(caption->text(), QString(captions[row]));
            QCOMPARE(value->objectName(), QString(values[row]));
            QVERIFY(value->font().bold());
        }
        QVERIFY(dialog->findChild<QLabel*>("lFileName")->wordWrap());
        QCOMPARE(button(dialog.data(), "pbClose")->text(), QString("Закрыть"));
        // No spare height: the rows keep to what they need.
        QCOMPARE(dialog->height(), dialog->layout()->totalHeightForWidth(dialog->width()));

        QTest::mouseClick(button(dialog.data(), "pbClose"), Qt::LeftButton);
        QTRY_VERIFY(!dialog->isVisible());
    }

    void infoOnFreshDatabase()
    {
        // A relative name is still shown as the full path of the file.
        file->close();
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QFileInfo(path()).path()));
        file->db().setDatabaseName(QStringLiteral("test.zelkor"));
        const bool opened = file->db().open();
        QScopedPointer<QInfoDB> dialog(opened ? QInfoDB::create(nullptr, db()) : nullptr);
        QDir::setCurrent(previous);
        QVERIFY(opened);

        QCOMPARE(label(dialog.data(), "lFileName"), QFileInfo(path()).absoluteFilePath());
        QCOMPARE(label(dialog.data(), "lSize"), QString("%1 байт").arg(QFileInfo(path()).size()));
        QVERIFY(QFileInfo(path()).size() > 0);
        for (const char* name : {"lSubscriber", "lCard", "lApartment", "lPhone"})
            QCOMPARE(label(dialog.data(), name), QString("0"));
    }

    void infoCountsFilledDatabase()
    {
        QVERIFY(file->exec(
            "INSERT INTO subscriber (id, apartment, phone) VALUES (0, '1', '84951234567')"));
        QVERIFY(file->exec("INSERT INTO subscriber (id, apartment, phone) VALUES (1, NULL, '')"));
        QVERIFY(file->exec(
            "INSERT INTO subscriber (id, apartment, phone) VALUES (2, '', '89160000000')"));
        QVERIFY(file->exec("INSERT INTO subscriber (id, apartment, phone) VALUES (3, '12', '')"));
        QVERIFY(file->exec("INSERT INTO subscriber (id, apartment, phone) VALUES (4, NULL, '1')"));
        QVERIFY(
            file->exec("INSERT INTO card (id, type, number, subscriber_id) VALUES (1, 2, '1', 0)"));
        QVERIFY(
            file->exec("INSERT INTO card (id, type, number, subscriber_id) VALUES (2, 2, '2', 0)"));
        QVERIFY(
            file->exec("INSERT INTO card (id, type, number, subscriber_id) VALUES (1, 2, '1', 3)"));

        QScopedPointer<QInfoDB> dialog(QInfoDB::create(nullptr, db()));
        QCOMPARE(label(dialog.data(), "lSubscriber"), QString("5"));
        QCOMPARE(label(dialog.data(), "lCard"), QString("3"));
        QCOMPARE(label(dialog.data(), "lApartment"), QString("2"));
        QCOMPARE(label(dialog.data(), "lPhone"), QString("3"));
        QCOMPARE(label(dialog.data(), "lSize"), QString("%1 байт").arg(QFileInfo(path()).size()));
    }

    void infoShowsLongFileNameWhole()
    {
        const QString longDir = QFileInfo(path()).dir().filePath(
            "Очень длинное имя папки с пробелами/ещё одна папка/и ещё одна");
        QVERIFY(QDir().mkpath(longDir));
        const QString longPath = longDir + "/дом номер 5 подъезд 2.zelkor";
        QVERIFY(QFile::copy(path(), longPath));
        QVERIFY(file->reopen(longPath));

        QScopedPointer<QInfoDB> dialog(QInfoDB::create(nullptr, db()));
        dialog->show();
        auto* name = dialog->findChild<QLabel*>("lFileName");
        QCOMPARE(name->text(), longPath);
        QVERIFY(name->heightForWidth(name->width()) > name->fontMetrics().height() * 2);
        QVERIFY(name->height() >= name->heightForWidth(name->width()));

        // Narrower means more lines, and the window makes room for them.
        dialog->resize(dialog->width() - 80, dialog->height());
        QTRY_COMPARE(dialog->height(), dialog->layout()->totalHeightForWidth(dialog->width()));
        QVERIFY(name->height() >= name->heightForWidth(name->width()));
    }

    void infoCountFailureIsSilent()
    {
        QVERIFY(file->exec("DROP TABLE card"));
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        // A box would be raised, and answered, while the dialog is being made.
        QScopedPointer<QInfoDB> dialog(QInfoDB::create(nullptr, db()));
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(label(dialog.data(), "lFileName"), path());
        for (const char* name : {"lSubscriber", "lCard", "lApartment", "lPhone"})
            QCOMPARE(label(dialog.data(), name), QString());
    }

    void infoExecCloses()
    {
        ModalAnswerer answerer;
        answerer.handle([](QWidget* widget) {
            if (auto* close = widget->findChild<QPushButton*>("pbClose"))
                close->click();
        });
        QInfoDB::exec(nullptr, db());
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QString("Информация о БД"));
    }
};

QTEST_MAIN(TestSettingsDB)
#include "tst_settingsdb.moc"
