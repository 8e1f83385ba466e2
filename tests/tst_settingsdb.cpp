#include "qinfodb.h"
#include "qsettingsdb.h"
#include "testsupport.h"

// The database settings and information dialogs on a real copy of the template database.
class TestSettingsDB : public QObject
{
    Q_OBJECT

    QScopedPointer<TestDatabase> file;

    // What the dialog shows: the mask of the ticked fields, the key format and the ten titles.
    static QString shown(QWidget* dialog)
    {
        int mask = 0;
        QStringList titles;
        for (int n = 1; n <= 10; ++n) {
            if (dialog->findChild<QCheckBox*>(QString("cbField%1").arg(n))->isChecked())
                mask |= 1 << n;
            titles << dialog->findChild<QLineEdit*>(QString("leField%1").arg(n))->text();
        }
        const int format = dialog->findChild<QComboBox*>("cbType")->currentIndex();
        return QString("%1 %2 %3").arg(mask).arg(format).arg(titles.join(','));
    }

private slots:
    void initTestCase() { prepareGuiTest(); }
    void init() { file.reset(new TestDatabase); }
    void cleanup() { file.reset(); }

    void loads_data()
    {
        QTest::addColumn<qlonglong>("columns");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("shown");
        const QString titles = "Доп. поле 1,Доп. поле 2,Доп. поле 3,Подъезд,Доп. поле 5,Доп. поле "
                               "6,,Доп. поле 8,Доп. поле 9,Доп. поле 10";
        QTest::newRow("all") << 65535LL << 2 << "2046 2 " + titles;
        QTest::newRow("bits 0 and 11 are no fields") << 2049LL << 3 << "0 3 " + titles;
        QTest::newRow("unknown format") << 1024LL << 7 << "1024 2 " + titles;
        QTest::newRow("negative format") << 0LL << -1 << "0 2 " + titles;
    }
    void loads()
    {
        QFETCH(qlonglong, columns);
        QFETCH(int, format);
        QFETCH(QString, shown);
        QVERIFY(file->exec(QString("UPDATE system SET columns = %1, card_format_default = %2, "
                                   "field4_name = 'Подъезд', field7_name = ''")
                               .arg(columns)
                               .arg(format)));
        QScopedPointer<QSettingsDB> dialog(QSettingsDB::create(nullptr, &file->db()));
        QCOMPARE(this->shown(dialog.data()), shown);
    }

    void saves_data()
    {
        QTest::addColumn<QList<int>>("toggle");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("columns");
        QTest::newRow("field 3 hidden") << QList<int>{3} << 1 << 2038;
        QTest::newRow("all hidden") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << 3 << 0;
    }
    void saves()
    {
        QFETCH(QList<int>, toggle);
        QFETCH(int, format);
        QFETCH(int, columns);
        QScopedPointer<QSettingsDB> dialog(QSettingsDB::create(nullptr, &file->db()));
        dialog->show();
        for (int n : toggle)
            QTest::mouseClick(dialog->findChild<QCheckBox*>(QString("cbField%1").arg(n)),
                              Qt::LeftButton);
        dialog->findChild<QLineEdit*>("leField2")->setText("Этаж");
        dialog->findChild<QLineEdit*>("leField5")->clear();
        dialog->findChild<QComboBox*>("cbType")->setCurrentIndex(format);
        dialog->findChild<QPushButton*>("pbSave")->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        // An empty title is kept as empty text rather than NULL.
        QCOMPARE(file->column("SELECT columns || '|' || card_format_default || '|' || field2_name "
                              "|| '|' || field5_name || '|' || field10_name FROM system"),
                 QStringList(QString("%1|%2|Этаж||Доп. поле 10").arg(columns).arg(format)));
        // What was saved is what the next dialog shows.
        QScopedPointer<QSettingsDB> again(QSettingsDB::create(nullptr, &file->db()));
        QCOMPARE(shown(again.data()), shown(dialog.data()));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<bool>("whileOpen");
        QTest::addColumn<QString>("message");
        const QString load = "Ошибка загрузки данных.\r\nSqlError: ";
        const QString save = "Ошибка сохранения данных.\r\nSqlError: ";
        const QString noRow = "В базе отсутствуют настройки панели.";
        QTest::newRow("loading, no row") << "DELETE FROM system" << false << load + noRow;
        QTest::newRow("saving, no table")
            << "DROP TABLE system" << true << "Ошибка подготовки данных.\r\nSqlError: ";
        QTest::newRow("saving, no row") << "DELETE FROM system" << true << save + noRow;
        QTest::newRow("saving, read-only") << "read-only" << false << save;
    }
    void failures()
    {
        QFETCH(QString, breakage);
        QFETCH(bool, whileOpen);
        QFETCH(QString, message);
        const bool readOnly = breakage == "read-only";
        if (readOnly)
            QVERIFY(file->reopen(QString(), true));
        else if (!whileOpen)
            QVERIFY(file->exec(breakage));
        ModalAnswerer answerer;
        answerer.press(QMessageBox::Ok);
        QScopedPointer<QSettingsDB> dialog(QSettingsDB::create(nullptr, &file->db()));
        const bool loading = !whileOpen && !readOnly;
        if (loading) {
            // Nothing is shown rather than the template's defaults.
            QCOMPARE(shown(dialog.data()), QString("0 2 ,,,,,,,,,"));
        } else {
            QCOMPARE(answerer.seen.size(), 0);
            if (whileOpen)
                QVERIFY(file->exec(breakage));
            dialog->show();
            dialog->findChild<QPushButton*>("pbSave")->click();
            QVERIFY(dialog->isVisible());
            QCOMPARE(dialog->result(), int(QDialog::Rejected));
        }
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].title, QString("Настройка БД"));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
        QVERIFY2(answerer.seen[0].text.startsWith(message), qPrintable(answerer.seen[0].text));
        // With the database's own words after "SqlError: ".
        if (message.endsWith(": "))
            QVERIFY(answerer.seen[0].text.size() > message.size());
    }

    void information()
    {
        QScopedPointer<QInfoDB> dialog(QInfoDB::create(nullptr, &file->db()));
        QCOMPARE(dialog->findChild<QLabel*>("lFileName")->text(), file->path());
        QCOMPARE(dialog->findChild<QLabel*>("lSize")->text(),
                 QString("%1 байт").arg(QFileInfo(file->path()).size()));
        // Apartments and phones count only when given.
        file->addSubscriber(0, "1", "84951234567");
        file->addSubscriber(1);
        file->addSubscriber(2, "", "89160000000");
        file->addSubscriber(3, "12");
        file->addSubscriber(4, {}, "89160000004");
        file->addKey(0, 1, 2, "1");
        file->addKey(0, 2, 2, "2");
        file->addKey(3, 1, 2, "1");
        dialog.reset(QInfoDB::create(nullptr, &file->db()));
        QStringList counts;
        for (const char* name : {"lSubscriber", "lCard", "lApartment", "lPhone"})
            counts << dialog->findChild<QLabel*>(name)->text();
        QCOMPARE(counts, QStringList({"5", "3", "2", "3"}));
    }
};

QTEST_MAIN(TestSettingsDB)
#include "tst_settingsdb.moc"
