#include "databasefile.h"
#include "guitest.h"
#include "testdatabase.h"

#include <QtTest>

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

// name|type|notnull|default|pk of every column, as SQLite reports them.
QStringList columns(QSqlDatabase& db, const QString& table)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table));
    QStringList result;
    while (query.next())
        result << QStringLiteral("%1|%2|%3|%4|%5")
                      .arg(query.value(1).toString(), query.value(2).toString(),
                           query.value(3).toString(), query.value(4).toString(),
                           query.value(5).toString());
    return result;
}

QStringList rows(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    query.exec(statement);
    QStringList result;
    while (query.next()) {
        QStringList values;
        for (int i = 0; i < query.record().count(); ++i)
            values << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
        result << values.join(QLatin1Char('|'));
    }
    return result;
}

QStringList fieldColumns(const QString& type)
{
    QStringList result;
    for (int n = 1; n <= 10; ++n)
        result << QStringLiteral("field%1|%2|0|''|0").arg(n).arg(type);
    return result;
}

} // namespace

// The template every new database file is copied from.
class TestTemplate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareGuiTest(); }

    void objects()
    {
        TestDatabase file;
        QCOMPARE(
            rows(file.db(), "SELECT type, name FROM sqlite_master ORDER BY type, name"),
            QStringList({"index|sqlite_autoindex_card_1", "index|subscriber_idx_apartment_unique",
                         "table|card", "table|sqlite_sequence", "table|subscriber", "table|system",
                         "view|view_tree"}));
        QCOMPARE(rows(file.db(), "SELECT * FROM sqlite_sequence"), QStringList({"system|1"}));
        QCOMPARE(file.value("PRAGMA user_version").toInt(), 0);
        QCOMPARE(file.value("SELECT COUNT(*) FROM subscriber").toInt(), 0);
        QCOMPARE(file.value("SELECT COUNT(*) FROM card").toInt(), 0);
        QCOMPARE(rows(file.db(), "PRAGMA index_list(subscriber)"),
                 QStringList({"0|subscriber_idx_apartment_unique|1|c|0"}));
        QCOMPARE(rows(file.db(), "PRAGMA index_info(subscriber_idx_apartment_unique)"),
                 QStringList({"0|1|apartment"}));
    }

    void subscriberTable()
    {
        TestDatabase file;
        QCOMPARE(columns(file.db(), "subscriber"),
                 QStringList({"id|INTEGER|1||1", "apartment|varchar(8)|0|NULL|0",
                              "phone|varchar(12)|1|''|0"}) +
                     fieldColumns("varchar(255)"));
    }

    void cardTable()
    {
        TestDatabase file;
        QCOMPARE(columns(file.db(), "card"),
                 QStringList({"id|INTEGER|1||2", "type|INTEGER|1|0|0", "number|varchar(255)|1||0",
                              "subscriber_id|INTEGER|1||1"}) +
                     fieldColumns("varchar(255)"));
        // table|from|to|on_update|on_delete
        QCOMPARE(rows(file.db(), "SELECT \"table\", \"from\", \"to\", on_update, on_delete FROM "
                                 "pragma_foreign_key_list('card')"),
                 QStringList({"subscriber|subscriber_id|id|CASCADE|CASCADE"}));
    }

    void systemTable()
    {
        TestDatabase file;
        QStringList expected = {"id|INTEGER|1|1|1", "comment|TEXT|1|''|0", "version|INTEGER|1|1|0"};
        const char* const panel[][2] = {
            {"talk_time", "30"},           {"mode_set", "0"},
            {"dtmf_after_set", "0"},       {"hide_numbers", "1"},
            {"mode_answer", "0"},          {"mode_doorphone", "0"},
            {"mode_reader_contact", "0"},  {"proto_dev", "0"},
            {"unblock_fire", "0"},         {"type_fire_contact", "0"},
            {"reset_fire", "0"},           {"mode_dev", "0"},
            {"type_control_dev", "0"},     {"type_lock", "0"},
            {"unblock_lock_imp", "1"},     {"timeout_dtmf", "10"},
            {"show_retry_input_dev", "0"}, {"timer_deactivate", "6"},
            {"timeout_tap", "3"},          {"open_time_lock", "1"},
        };
        for (const auto& column : panel)
            expected << QStringLiteral("%1|INTEGER|1|%2|0").arg(column[0], column[1]);
        expected << "code_open_lock|varchar (6)|1|'12'|0"
                 << "code_unblock_lock|varchar (6)|1|''|0"
                 << "time_action_dev|INTEGER|1|1|0"
                 << "code_temp_action_dev|varchar (6)|1|''|0"
                 << "code_on_off_dev|varchar (6)|1|''|0"
                 << "pass_prog|INTEGER|1|123456|0"
                 << "mode_key_union|INTEGER|1|0|0";
        for (int n = 1; n <= 10; ++n)
            expected << QStringLiteral("field%1_name|varchar (255)|0|'Доп. поле %1'|0").arg(n);
        expected << "columns|INT|1|65535|0"
                 << "card_format_default|INT|1|2|0"
                 << "subscriber_name|VARCHAR (50)|0|'Абонент'|0"
                 << "apartment_name|VARCHAR (50)|0|'Квартира'|0"
                 << "phone_name|VARCHAR (50)|0|'Телефон'|0"
                 << "card_name|VARCHAR (50)|0|'Ключ'|0";
        QCOMPARE(columns(file.db(), "system"), expected);

        // One row, every column at its default.
        QCOMPARE(file.value("SELECT COUNT(*) FROM system").toInt(), 1);
        QCOMPARE(rows(file.db(), "SELECT id, comment, version, talk_time, code_open_lock, "
                                 "pass_prog, columns, card_format_default, field3_name, card_name "
                                 "FROM system"),
                 QStringList({"1||1|30|12|123456|65535|2|Доп. поле 3|Ключ"}));
    }

    void viewTree()
    {
        TestDatabase file;
        QStringList expected = {"master_id", "slave_id", "apartment", "phone", "type", "number"};
        for (int n = 1; n <= 10; ++n)
            expected << QStringLiteral("field%1").arg(n);
        QStringList names;
        for (const QString& column : columns(file.db(), "view_tree"))
            names << column.section(QLatin1Char('|'), 0, 0);
        QCOMPARE(names, expected);

        file.addSubscriber(10, "5", "123");
        file.addSubscriber(2);
        file.addKey(10, 7, 2, "7");
        file.addKey(10, 0xA1B2C3, 0, "0000000000A1B2C3");
        file.addKey(2, 300, 3, "0000000300");
        // Each subscriber's own row first, then its keys by their text; subscribers by number.
        QCOMPARE(rows(file.db(), "SELECT master_id, slave_id, apartment, phone, type, number, "
                                 "field1 FROM view_tree"),
                 QStringList({"2|NULL|NULL||NULL|NULL|", "2|300|NULL|NULL|3|0000000300|",
                              "10|NULL|5|123|NULL|NULL|",
                              "10|10597059|NULL|NULL|0|0000000000A1B2C3|", "10|7|NULL|NULL|2|7|"}));
    }

    void cascadesAndConstraints()
    {
        TestDatabase file;
        file.addSubscriber(5, "15");
        file.addSubscriber(6);
        file.addSubscriber(8);
        file.addKey(5, 1, 2, "1");
        file.addKey(5, 2, 2, "2");
        file.addKey(6, 1, 2, "1"); // the same key for another subscriber
        QVERIFY(file.exec("UPDATE subscriber SET id = 7 WHERE id = 5"));
        QCOMPARE(rows(file.db(), "SELECT subscriber_id, id FROM card ORDER BY subscriber_id, id"),
                 QStringList({"6|1", "7|1", "7|2"}));
        QVERIFY(file.exec("DELETE FROM subscriber WHERE id = 7"));
        QCOMPARE(file.value("SELECT COUNT(*) FROM card").toInt(), 1);

        QSqlQuery query(file.db());
        QVERIFY2(query.exec("INSERT INTO subscriber (id, apartment) VALUES (9, '16')"),
                 qPrintable(query.lastError().text()));
        // One apartment, one subscriber; one key code once per subscriber; no key without one.
        QVERIFY(!query.exec("INSERT INTO subscriber (id, apartment) VALUES (10, '16')"));
        QVERIFY(!query.exec("INSERT INTO card (id, number, subscriber_id) VALUES (1, '1', 6)"));
        QVERIFY(!query.exec("INSERT INTO card (id, number, subscriber_id) VALUES (1, '1', 99)"));
        // Several subscribers without an apartment.
        QCOMPARE(file.value("SELECT COUNT(*) FROM subscriber WHERE apartment IS NULL").toInt(), 2);
    }

    void createFromTemplate()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("existing.zelkor");
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write(QByteArray(100000, 'x'));
        existing.close();
        QCOMPARE(DatabaseFile::createFromTemplate(path), QString());
        QFile created(path);
        QVERIFY(created.open(QIODevice::ReadOnly));
        QFile resource(":/db/template.zelkor");
        QVERIFY(resource.open(QIODevice::ReadOnly));
        QCOMPARE(created.readAll(), resource.readAll());

        const QString error =
            DatabaseFile::createFromTemplate(dir.filePath("no/such/dir/x.zelkor"));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_MAIN(TestTemplate)
#include "tst_template.moc"
