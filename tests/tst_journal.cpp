#include "guitest.h"
#include "journalfile.h"
#include "journalquery.h"

#include <QSqlQuery>
#include <QtConcurrent>
#include <QtTest>

// The journal file: what goes in comes back, foreign files stay as they were, and the filters
// of the journal view and the command line find the right records.
class TestJournal : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    static JournalRecord keyEvent(qint64 ms, quint32 key, quint8 code = 0x00)
    {
        const char bytes[] = {char(key), char(key >> 8), char(key >> 16), 0, char(code), 0};
        return JournalRecord::fromPanel(QByteArray(bytes, 6), ms, "/dev/ttyUSB0");
    }

    static QList<quint32> keysOf(const QVector<JournalEntry>& entries)
    {
        QList<quint32> keys;
        for (const JournalEntry& entry : entries)
            keys.append(entry.record.key);
        return keys;
    }

private slots:
    void recordsComeBackAsWritten()
    {
        JournalFile journal(path("new/folder/journal.sqlite"));
        QVERIFY2(journal.openForWriting() == JournalFile::State::Writable,
                 qPrintable(journal.errorText()));

        JournalRecord live = keyEvent(1700000000123, 12345);
        live.database = "/home/caretaker/house.zelkor";
        live.owner = {7, "12", "Иванова Анна"};
        JournalRecord stored = keyEvent(1700000000123, 99, 0x05);
        stored.stored = true;
        stored.storedFrom = 1699990000000;
        stored.storedUntil = 1700000000100;
        const JournalRecord action =
            JournalRecord::action("Открывание замка", "выполнено", "/dev/ttyUSB0", 1700000000200);
        QVERIFY2(journal.append({live, stored, action}), qPrintable(journal.errorText()));

        QVector<JournalEntry> entries;
        JournalQuery query(journal.database(), JournalFilter());
        QVERIFY(query.forEach([&](const JournalEntry& e) { return entries.append(e), true; }));
        QCOMPARE(entries.size(), 3);
        // Two records of one millisecond keep their order and both times.
        QCOMPARE(entries[0].record.received, 1700000000123);
        QCOMPARE(entries[1].record.received, 1700000000123);
        QVERIFY(entries[0].id < entries[1].id);

        const JournalRecord& a = entries[0].record;
        QCOMPARE(a.raw, live.raw);
        QCOMPARE(a.key, 12345u);
        QCOMPARE(a.kind, JournalKind::Pass);
        QCOMPARE(a.text, QString("Проход по ключу"));
        QCOMPARE(a.port, QString("/dev/ttyUSB0"));
        QCOMPARE(a.database, live.database);
        QCOMPARE(a.owner.subscriber, 7);
        QCOMPARE(a.owner.name, QString("Иванова Анна"));
        QVERIFY(!a.stored);

        const JournalRecord& b = entries[1].record;
        QCOMPARE(b.kind, JournalKind::Refusal);
        QVERIFY(b.stored);
        QCOMPARE(b.storedFrom, stored.storedFrom);
        QCOMPARE(b.storedUntil, stored.storedUntil);
        QVERIFY(!b.owner.isValid());

        const JournalRecord& c = entries[2].record;
        QCOMPARE(c.kind, JournalKind::Action);
        QCOMPARE(c.code, -1);
        QCOMPARE(c.detail, QString("выполнено"));
        QVERIFY(!c.user.isEmpty());
        QVERIFY(c.raw.isEmpty());
    }

    void foreignFilesStayAsTheyWere_data()
    {
        QTest::addColumn<QByteArray>("content"); // or an SQL statement that makes the file
        QTest::addColumn<int>("state");
        const int notJournal = int(JournalFile::State::NotJournal);
        QTest::newRow("text") << QByteArray("дата;ключ\r\n") << notJournal;
        QTest::newRow("empty") << QByteArray() << notJournal;
        QTest::newRow("another database")
            << QByteArray(
                   "sql:PRAGMA application_id = 42; PRAGMA user_version = 1; CREATE TABLE t (x)")
            << notJournal;
        QTest::newRow("later version")
            << QByteArray("sql:PRAGMA application_id = 1332955762; PRAGMA user_version = 2")
            << int(JournalFile::State::UnknownVersion);
    }
    void foreignFilesStayAsTheyWere()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, state);
        QTemporaryDir dir;
        const QString file = dir.filePath("journal.sqlite");
        QVERIFY(makeFile(file, content));
        const auto before = folderContents(dir.path());
        for (bool writing : {true, false}) {
            JournalFile journal(file);
            QCOMPARE(int(writing ? journal.openForWriting() : journal.openForReading()), state);
            QVERIFY(journal.errorText().contains(file));
            QVERIFY(!journal.append({keyEvent(1, 1)}));
        }
        QCOMPARE(folderContents(dir.path()), before);
    }

    void filtersFindTheirRecords()
    {
        JournalFile journal(path("filters.sqlite"));
        QVERIFY2(journal.openForWriting() == JournalFile::State::Writable,
                 qPrintable(journal.errorText()));
        const qint64 day = 86400000;
        const qint64 start = 1700000000000;
        QVector<JournalRecord> records;
        for (int i = 0; i < 30; ++i) {
            JournalRecord record = keyEvent(start + i * day, 1000 + i, i % 3 ? 0x00 : 0x05);
            if (i % 2)
                record.owner = {i, QString::number(100 + i), i == 7 ? "Щукин П." : "Жилец"};
            records.append(record);
        }
        QVERIFY(journal.append(records));

        const auto find = [&](JournalFilter filter) {
            JournalQuery query(journal.database(), filter);
            const QVector<JournalEntry> entries = query.page(0, 100);
            [&] { QCOMPARE(query.count(), qint64(entries.size())); }();
            return keysOf(entries);
        };
        JournalFilter filter;
        filter.since = start + 10 * day;
        filter.until = start + 13 * day;
        QCOMPARE(find(filter), QList<quint32>({1012, 1011, 1010}));
        filter.kinds = {JournalKind::Refusal};
        QCOMPARE(find(filter), QList<quint32>({1012}));

        const auto findText = [&](const QString& text) {
            JournalFilter byText;
            byText.text = text;
            return find(byText);
        };
        QCOMPARE(findText("щукин"), QList<quint32>({1007})); // a name, any case
        QCOMPARE(findText("109"), QList<quint32>({1009}));   // an apartment
        QCOMPARE(findText("21"), QList<quint32>({1021}));    // a subscriber number
        QCOMPARE(findText("1004"), QList<quint32>({1004}));  // a key as shown
        QCOMPARE(findText("Нет такого"), QList<quint32>());
        JournalFilter byApartment;
        byApartment.apartment = "103";
        QCOMPARE(find(byApartment), QList<quint32>({1003}));

        // Pages follow one another without gaps or repeats.
        JournalQuery all(journal.database(), JournalFilter());
        QVector<JournalEntry> pages = all.page(0, 8);
        while (true) {
            const QVector<JournalEntry> next = all.page(pages.last().id, 8);
            if (next.isEmpty())
                break;
            pages += next;
        }
        QCOMPARE(pages.size(), 30);
        QCOMPARE(pages.first().record.key, 1029u);
        QCOMPARE(pages.last().record.key, 1000u);
    }

    void twoWritersLoseNothing()
    {
        const QString file = path("shared.sqlite");
        const auto write = [file](quint32 firstKey) {
            JournalFile journal(file);
            if (journal.openForWriting() != JournalFile::State::Writable)
                return false;
            for (quint32 i = 0; i < 200; ++i) {
                // The same milliseconds from both writers.
                if (!journal.append({keyEvent(1700000000000 + i / 4, firstKey + i)}))
                    return false;
            }
            return true;
        };
        JournalFile(file).openForWriting();
        QFuture<bool> first = QtConcurrent::run(write, 1u);
        QFuture<bool> second = QtConcurrent::run(write, 1001u);
        QVERIFY(first.result() && second.result());
        JournalFile journal(file);
        journal.openForReading();
        QCOMPARE(JournalQuery(journal.database(), JournalFilter()).count(), qint64(400));
        // Numbered 1 to 400 in the order of writing: each writer's records in its own order.
        QSqlQuery query(journal.database());
        QVERIFY(query.exec("SELECT seq, key FROM record ORDER BY seq"));
        quint32 last[2] = {0, 0};
        for (qint64 seq = 1; query.next(); ++seq) {
            QCOMPARE(query.value(0).toLongLong(), seq);
            const quint32 key = query.value(1).toUInt();
            QVERIFY(key > last[key > 1000]);
            last[key > 1000] = key;
        }
        QCOMPARE(last[0] + last[1], 200u + 1200u);
    }

    void recordsOfAnEarlierVersionAreNumbered()
    {
        const QString file = path("earlier.sqlite");
        {
            JournalFile journal(file);
            journal.openForWriting();
            QVERIFY(journal.append({keyEvent(1700000000300, 3), keyEvent(1700000000100, 1)}));
            QVERIFY(journal.append({keyEvent(1700000000200, 2)}));
            // As the journal was before its records were numbered.
            QSqlQuery query(journal.database());
            for (const char* statement : {"DROP TRIGGER record_seq", "DROP INDEX record_seq",
                                          "ALTER TABLE record DROP COLUMN seq"})
                QVERIFY2(query.exec(statement), statement);
        }
        JournalFile journal(file);
        QCOMPARE(journal.openForWriting(), JournalFile::State::Writable);
        QVERIFY(journal.append({keyEvent(1700000000050, 4)}));
        // And what a program of that version adds meanwhile.
        QSqlQuery query(journal.database());
        QVERIFY(query.exec("INSERT INTO record (id, kind, key, text) SELECT max(id) + 1, kind, 5,"
                           " text FROM record"));
        // The records it held in the order of their ids, then each added in its turn.
        QVERIFY(query.exec("SELECT group_concat(key) FROM (SELECT key FROM record ORDER BY seq)"));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QString("1,2,3,4,5"));
    }

    // A new journal is put in place only under a name nobody has taken, also when the name is
    // taken between the check and the putting: a journal another recorder has just made is
    // never written over. (A dangling link takes the name where no file is seen.)
    void newJournalNeverReplacesAnother()
    {
        const QString taken = path("taken.sqlite");
        const QString pointed = path("pointed-to.sqlite");
        QVERIFY(QFile::link(pointed, taken));
        JournalFile journal(taken);
        QCOMPARE(journal.openForWriting(), JournalFile::State::Unavailable);
        QVERIFY(!QFileInfo::exists(pointed));
        QVERIFY(QDir(m_dir.path()).entryList({"taken.sqlite.new-*"}).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
