#include "application.h"
#include "csvevents.h"
#include "csvexport.h"
#include "csvimport.h"
#include "guitest.h"
#include "testdatabase.h"

#include <QtTest>

#include <QSqlQuery>
#include <QTextCodec>

namespace {
const QString Exported = "Экспорт данных выполнен успешно.\r\nЭкспортировано абонентов: "
                         "%1.\r\nЭкспортировано ключей: %2.";
const QString Imported = "Импорт данных выполнен успешно.\r\nДобавлено абонентов: %1.\r\n"
                         "Добавлено ключей: %2.";
const QString Cancelled = "Операция прервана пользователем.";
} // namespace

// The export, the import and the saving of events on real files, without the dialogs.
class TestCsvExchange : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // Every row of the tree view as text; the key text is left out, since the import pads it.
    static QStringList snapshot(TestDatabase& file)
    {
        QStringList rows;
        QSqlQuery query(file.db());
        query.exec("SELECT master_id, slave_id, apartment, phone, type, field1, field2, field3, "
                   "field4, field5, field6, field7, field8, field9, field10 FROM view_tree");
        while (query.next()) {
            QStringList values;
            for (int n = 0; n < 15; ++n)
                values << (n == 2 && query.isNull(n) ? "NULL" : query.value(n).toString());
            rows << values.join('|');
        }
        return rows;
    }

    QString text(const QString& fileName, const char* codec = "UTF-8")
    {
        QFile file(fileName);
        file.open(QIODevice::ReadOnly);
        return QTextCodec::codecForName(codec)->toUnicode(file.readAll());
    }

    // Cancelled from the given check on.
    static Csv::Progress cancelAt(int check)
    {
        auto calls = std::make_shared<int>(0);
        Csv::Progress progress;
        progress.isCancelled = [calls, check] { return ++*calls >= check; };
        return progress;
    }

private slots:
    void initTestCase()
    {
        Application::initResources();
        keepSnapshotsAside();
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("keys"); // three key texts
        QTest::addColumn<QList<uint>>("codes");
        QTest::addColumn<QString>("codec");
        const QList<QStringList> keys = {
            {"FF01778899A1B2C3", "0000000000000001", "0000000000fffffe"},
            {"018,65535", "000,00001", "255,65534"},
            {"123", "1", "9999999"},
            {"0000000123", "0000000001", "4294967294"}};
        const QList<QList<uint>> codes = {{0xA1B2C3, 1, 0xFFFFFE},
                                          {0x12FFFF, 1, 0xFFFFFE},
                                          {123, 1, 9999999},
                                          {123, 1, 0xFFFFFE}};
        for (const char* codec : {"windows-1251", "UTF-8", "KOI8-R"})
            for (int format = 0; format < 4; ++format)
                QTest::addRow("format %d, %s", format, codec)
                    << format << keys[format] << codes[format] << QString(codec);
    }
    void roundTrip()
    {
        QFETCH(int, format);
        QFETCH(QStringList, keys);
        QFETCH(QList<uint>, codes);
        QFETCH(QString, codec);
        TestDatabase source("source.zelkor");
        source.addSubscriber(0, "12", "89161234567");
        source.addSubscriber(1, {}, "8123");
        source.addSubscriber(2, "7");
        source.addSubscriber(24999);
        const QStringList fields = {
            "Иванов Иван", "подъезд 3, этаж 2", "ёлка Ёж", "щука", "Юля", "кв. 5", "Эх", "ъ", "жЖ",
            "конец"};
        QStringList assignments;
        for (int n = 0; n < 10; ++n)
            assignments << QString("field%1 = '%2' || id").arg(n + 1).arg(fields[n]);
        source.exec("UPDATE subscriber SET " + assignments.join(", "));
        source.addKey(0, codes[0], format, keys[0], {"ключ", "второе поле"});
        source.addKey(0, codes[1], format, keys[1]);
        source.addKey(1, codes[0], format, keys[0], fields);
        source.addKey(1, codes[2], format, keys[2]);
        source.addKey(24999, codes[1], format, keys[1], {"", "последний"});

        CsvExportOptions exportOptions;
        exportOptions.columns = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
        exportOptions.header = true;
        exportOptions.codecName = codec;
        const QString csv = dir.filePath("round.csv");
        const QRuntimeError exported = exportDatabase(source.path(), csv, exportOptions, {});
        QCOMPARE(exported.message, Exported.arg(4).arg(5));
        // Written in the chosen encoding.
        QVERIFY(text(csv, qPrintable(codec)).contains("Иванов Иван"));

        TestDatabase target("target.zelkor");
        CsvImportOptions importOptions;
        importOptions.columns = exportOptions.columns;
        importOptions.ignoreFirstLine = true;
        importOptions.keyFormat = format;
        importOptions.keyPattern = CsvImport::keyPattern(format);
        importOptions.codecName = codec;
        const QRuntimeError imported = importFile(target.path(), csv, importOptions, {});
        QCOMPARE(imported.message, Imported.arg(4).arg(5));
        QCOMPARE(snapshot(target), snapshot(source));
    }

    // The bytes every build writes, written out by hand for each encoding (a letter that the
    // encoding lacks becomes "?"), and what an import of them stores, as SQLite quotes it.
    void bytesOfEachEncoding_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("field");
        const QByteArray key = "37093132090930303030313233090d0a";
        QTest::newRow("windows-1251") << "windows-1251"
                                      << "37093132090909a8e620b93520880d0a" + key << "Ёж №5 €";
        QTest::newRow("KOI8-R") << "KOI8-R"
                                << "37093132090909b3d6203f35203f0d0a" + key << "Ёж ?5 ?";
        QTest::newRow("IBM866") << "IBM866"
                                << "37093132090909f0a620fc35203f0d0a" + key << "Ёж №5 ?";
        QTest::newRow("ISO-8859-5") << "ISO-8859-5"
                                    << "37093132090909a1d620f035203f0d0a" + key << "Ёж №5 ?";
        QTest::newRow("UTF-8") << "UTF-8"
                               << "37093132090909d081d0b620e284963520e282ac0d0a" + key << "Ёж №5 €";
        QTest::newRow("UTF-16, no byte order mark")
            << "UTF-16"
            << QByteArray("3700090031003200090009000900010436042000162135002000ac200d000a00"
                          "370009003100320009000900300030003000300031003200330009000d000a00")
            << "Ёж №5 €";
    }
    void bytesOfEachEncoding()
    {
        QFETCH(QString, codec);
        QFETCH(QByteArray, hex);
        QFETCH(QString, field);
        TestDatabase source;
        source.addSubscriber(7, "12");
        source.exec("UPDATE subscriber SET field1 = 'Ёж №5 €'");
        source.addKey(7, 123, 2, "0000123");
        CsvExportOptions exportOptions;
        exportOptions.columns = {0, 1, 2, 3, 4};
        exportOptions.codecName = codec;
        const QString csv = dir.filePath("bytes.csv");
        QCOMPARE(exportDatabase(source.path(), csv, exportOptions, {}).message,
                 Exported.arg(1).arg(1));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toHex(), hex);

        TestDatabase target("target.zelkor");
        CsvImportOptions importOptions;
        importOptions.columns = exportOptions.columns;
        importOptions.keyFormat = 2;
        importOptions.keyPattern = CsvImport::keyPattern(2);
        importOptions.codecName = codec;
        QCOMPARE(importFile(target.path(), csv, importOptions, {}).message, Imported.arg(1).arg(1));
        QCOMPARE(target.column("SELECT quote(id) || quote(apartment) || quote(phone) || "
                               "quote(field1) || quote(field2) FROM subscriber UNION ALL "
                               "SELECT quote(id) || quote(type) || quote(number) || "
                               "quote(subscriber_id) || quote(field1) FROM card"),
                 QStringList({"7'12'''" + QString("'%1'NULL").arg(field), "1232'0000123'7NULL"}));
    }

    void exportShapes_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QVector<int>>("columns");
        QTest::addColumn<int>("keyType");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<bool>("header");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty database, header") << true << QVector<int>{0, 1, 2, 3} << 0 << "\\t"
                                                << true << "Абонент\tКвартира\tТелефон\tКлюч\r\n"
                                                << Exported.arg(0).arg(0);
        QTest::newRow("nothing ticked")
            << false << QVector<int>{} << 0 << ";" << false << "\r\n\r\n\r\n"
            << Exported.arg(1).arg(2);
        QTest::newRow("every key as EM-Marin")
            << false << QVector<int>{3} << 2 << ";" << false << "\r\n000,00123\r\n000,00077\r\n"
            << Exported.arg(1).arg(2);
        QTest::newRow("two keys, TAB then ;")
            << false << QVector<int>{0, 1, 2, 3} << 0 << "\\t;" << false
            << "5\t;12\t;8123\t;\r\n5\t;12\t;8123\t;0000123\r\n5\t;12\t;8123\t;77\r\n"
            << Exported.arg(1).arg(2);
        QTest::newRow("fields holding ; and a line break")
            << false << QVector<int>{0, 4, 5} << 0 << ";" << true
            << "Абонент;Доп. поле 1;Доп. поле 2\r\n5;a;b;x\ny\r\n5;;\r\n5;;\r\n"
            << Exported.arg(1).arg(2) +
                   "\r\nВнимание: полей с разделителем или переводом строки: 2.";
    }
    void exportShapes()
    {
        QFETCH(bool, empty);
        QFETCH(QVector<int>, columns);
        QFETCH(int, keyType);
        QFETCH(QString, separator);
        QFETCH(bool, header);
        QFETCH(QString, content);
        QFETCH(QString, message);
        TestDatabase source;
        if (!empty) {
            source.addSubscriber(5, "12", "8123");
            source.exec("UPDATE subscriber SET field1 = 'a;b', field2 = 'x\ny'");
            source.addKey(5, 77, 2, "77");
            source.addKey(5, 123, 2, "0000123");
        }
        CsvExportOptions options;
        options.columns = columns;
        options.keyType = keyType;
        options.separator = separator;
        options.header = header;
        options.codecName = "UTF-8";
        const QString csv = dir.filePath("shape.csv");
        QCOMPARE(exportDatabase(source.path(), csv, options, {}).message, message);
        QCOMPARE(text(csv), content);
    }

    void importCases_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QVector<int>>("columns");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QString>("stored"); // subscribers / keys
        QTest::addColumn<QString>("added");
        const QVector<int> numbered{0, 1, 2, 3};
        const QVector<int> numberless{1, 2, 3};
        QTest::newRow("existing number: unchanged, gets the key")
            << "INSERT INTO subscriber (id, apartment, phone) VALUES (5, '7', '1')" << 0 << numbered
            << "5;99;2;123\r\n"
            << "5|7|1 / 5:0000123"
            << "0 1";
        QTest::newRow("same apartment twice") << "" << 0 << numbered << "1;10;5;\r\n2;10;6;\r\n"
                                              << "1|10|5,2|NULL|6 / "
                                              << "2 0";
        QTest::newRow("no phone, final line break") << "" << 0 << numbered << "3;11;;1\r\n4;;;\r\n"
                                                    << "3|11|,4|NULL| / 3:0000001"
                                                    << "2 1";
        QTest::newRow("autocreate the lowest free numbers")
            << "INSERT INTO subscriber (id) VALUES (0), (1), (2), (5)" << 1 << numberless
            << "21;;5\r\n22;;6\r\n\r\n23;;7\r\n"
            << "0|NULL|,1|NULL|,2|NULL|,3|21|,4|22|,5|NULL|,6|23| / 3:0000005,4:0000006,6:0000007"
            << "3 3";
        QTest::newRow("bound to a new subscriber")
            << "" << 2 << numberless << "30;555;1\r\n31;556;2\r\n"
            << "77|30|555 / 77:0000001,77:0000002"
            << "1 2";
    }
    void importCases()
    {
        QFETCH(QString, setup);
        QFETCH(int, mode);
        QFETCH(QVector<int>, columns);
        QFETCH(QString, lines);
        QFETCH(QString, stored);
        QFETCH(QString, added);
        TestDatabase file;
        if (!setup.isEmpty())
            file.exec(setup);
        CsvImportOptions options;
        options.subscriberMode = mode;
        options.boundSubscriber = 77;
        options.columns = columns;
        options.keyFormat = 2;
        options.keyPattern = CsvImport::keyPattern(2);
        options.separator = ";";
        const QRuntimeError result = importLines(file.path(), Csv::splitLines(lines), options, {});
        QCOMPARE(result.message, Imported.arg(added.section(' ', 0, 0), added.section(' ', 1)));
        QCOMPARE(file.column("SELECT id || '|' || IFNULL(apartment, 'NULL') || '|' || phone "
                             "FROM subscriber ORDER BY id")
                         .join(',') +
                     " / " +
                     file.column("SELECT subscriber_id || ':' || number FROM card ORDER BY "
                                 "subscriber_id, id")
                         .join(','),
                 stored);
    }

    // Whatever stops an import early leaves the database exactly as it was.
    void stoppedImport_data()
    {
        QTest::addColumn<int>("present"); // subscribers 0 to present - 1 exist
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("cancelCheck");
        QTest::addColumn<QString>("broken");  // where a trigger fails, as no constraint does
        QTest::addColumn<QString>("message"); // a regular expression
        const QString abandoned = "\\r\\nИмпорт отменён, БД не изменена\\.";
        const QString overflow = "\\r\\nSqlError: integer overflow.*";
        QTest::newRow("cancelled after clearing")
            << 3 << 0 << 8 << "" << QRegularExpression::escape(Cancelled);
        QTest::newRow("out of numbers") << 24998 << 1 << 1000 << ""
                                        << "Лимит абонентов исчерпан \\(25000\\)\\.";
        QTest::newRow("clearing fails") << 3 << 0 << 1000 << "BEFORE DELETE ON subscriber"
                                        << "Ошибка очистки БД\\." + overflow + abandoned;
        QTest::newRow("a subscriber cannot be written")
            << 3 << 0 << 1000 << "AFTER INSERT ON subscriber WHEN NEW.id = 102"
            << "Ошибка записи в БД: абонент '102' не добавлен\\." + abandoned + overflow;
        QTest::newRow("a key cannot be written")
            << 3 << 2 << 1000 << "BEFORE INSERT ON card"
            << "Ошибка записи в БД: ключ '0000100' абонента '77' не добавлен\\." + abandoned +
                   overflow;
        QTest::newRow("no statement to write with")
            << 3 << 0 << 1000 << "gone"
            << "Ошибка подготовки записи в БД\\." + abandoned + "\\r\\nSqlError: no such table.*";
    }
    void stoppedImport()
    {
        QFETCH(int, present);
        QFETCH(int, mode);
        QFETCH(int, cancelCheck);
        QFETCH(QString, broken);
        QFETCH(QString, message);
        TestDatabase file;
        file.exec(QString("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE "
                          "i < %1) INSERT INTO subscriber (id, apartment) SELECT i, i FROM n")
                      .arg(present - 1));
        file.addKey(0, 5, 2, "5");
        if (broken == "gone")
            QVERIFY(file.exec("CREATE TABLE gone (x)") &&
                    file.exec("CREATE TRIGGER broken AFTER INSERT ON card BEGIN INSERT INTO gone "
                              "VALUES (1); END") &&
                    file.exec("DROP TABLE gone"));
        else if (!broken.isEmpty())
            QVERIFY(file.exec("CREATE TRIGGER broken " + broken +
                              " BEGIN SELECT abs(-9223372036854775807 - 1); END"));
        const QStringList before = snapshot(file);
        CsvImportOptions options;
        options.subscriberMode = mode;
        options.boundSubscriber = 77;
        options.columns = {0, 1, 2, 3};
        if (mode != CsvImportOptions::FromFile)
            options.columns.removeFirst();
        options.keyFormat = 2;
        options.clearDatabase = mode == CsvImportOptions::FromFile;
        options.separator = ";";
        QStringList lines;
        for (int n = 0; n < 5; ++n)
            lines << QString("%1;a%1;;%1").arg(100 + n);
        if (mode != CsvImportOptions::FromFile)
            lines.replaceInStrings(QRegularExpression("^\\d+;"), "");
        const QString got = importLines(file.path(), lines, options, cancelAt(cancelCheck)).message;
        QVERIFY2(
            QRegularExpression("^" + message + "$", QRegularExpression::DotMatchesEverythingOption)
                .match(got)
                .hasMatch(),
            qPrintable(got));
        QCOMPARE(snapshot(file), before);
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray binary(4096, '\0');
        for (int n = 0; n < binary.size(); ++n)
            binary[n] = char(n * 37 + n / 7);
        QTest::newRow("binary") << binary;
        QTest::newRow("one huge line") << QByteArray(8 << 20, '7');
        QTest::newRow("thousands of fields") << QByteArray(200000, ';');
    }
    void badInput()
    {
        QFETCH(QByteArray, bytes);
        TestDatabase file;
        file.addSubscriber(1, "2", "3");
        const QStringList before = snapshot(file);
        QFile csv(dir.filePath("bad.csv"));
        QVERIFY(csv.open(QIODevice::WriteOnly) && csv.write(bytes) == bytes.size());
        csv.close();
        CsvImportOptions options;
        options.columns = {0, 1, 2, 3, 4};
        options.separator = ";";
        const QRuntimeError result = importFile(file.path(), csv.fileName(), options, {});
        QVERIFY(result.message.startsWith("Импорт данных выполнен успешно."));
        const QStringList after = snapshot(file);
        for (const QString& row : before)
            QVERIFY(after.contains(row));
    }

    void fileErrors()
    {
        TestDatabase file;
        const QString missing = dir.filePath("missing/out.csv");
        const QString created = "Ошибка создания файла: " + missing + ".\r\nОшибка: ";
        QVERIFY(exportDatabase(file.path(), missing, {}, {}).message.startsWith(created));
        QVERIFY(saveEvents(missing, {}, {}, {}, {}).message.startsWith(created));
        // A full disk is a failure, not a success.
        CsvEventsOptions withHeader;
        withHeader.header = true;
        QVERIFY(saveEvents("/dev/full", {"a"}, {}, withHeader, {})
                    .message.startsWith("Ошибка записи файла: /dev/full.\r\nОшибка: "));
        QVERIFY(importFile(file.path(), missing, {}, {})
                    .message.startsWith("Ошибка открытия файла: " + missing + ".\r\nОшибка: "));
    }

    void cancelledWritingKeepsWhatWasWritten()
    {
        TestDatabase file;
        file.addSubscriber(1, "2", "3");
        file.addSubscriber(4, "5", "6");
        CsvExportOptions exportOptions;
        exportOptions.columns = {0, 1};
        exportOptions.header = true;
        const QString csv = dir.filePath("cancelled.csv");
        // Checks: after counting, after selecting, then before each row.
        QCOMPARE(exportDatabase(file.path(), csv, exportOptions, cancelAt(4)).message, Cancelled);
        QCOMPARE(text(csv, "windows-1251"), QString("Абонент\tКвартира\r\n1\t2\r\n"));

        CsvEventsOptions eventsOptions;
        eventsOptions.header = true;
        const QVector<QStringList> rows = {{"a", "b"}, {"c", "d"}};
        QCOMPARE(saveEvents(csv, {"x", "y"}, rows, eventsOptions, cancelAt(2)).message, Cancelled);
        QCOMPARE(text(csv), QString("x\ty\r\na\tb\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestCsvExchange)
#include "tst_csvexchange.moc"
