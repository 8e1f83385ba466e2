#include "csvformat.h"
#include "csvimport.h"

#include <QtTest>

// The CSV rules shared by the dialogs and the tasks: splitting, the preview's cell check and
// the import's reading of a line.
class TestCsvRules : public QObject
{
    Q_OBJECT

    static QString joined(const QVector<QStringView>& fields)
    {
        QStringList texts;
        for (const QStringView& field : fields)
            texts << field.toString();
        return texts.join(QLatin1Char('|'));
    }

private slots:
    void splitFields_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("separator"); // as typed
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("fields");
        QTest::newRow("empty fields kept") << "a;;b;"
                                           << ";" << -1 << "a||b|";
        QTest::newRow("one \\r of a line end dropped") << "a;b\r\r"
                                                       << ";" << -1 << "a|b\r";
        QTest::newRow("TAB typed as backslash-t") << "1\t2\t"
                                                  << "\\t" << -1 << "1|2|";
        QTest::newRow("TAB then ;") << "1\t;2;3\t;\r"
                                    << "\\t;" << -1 << "1|2;3|";
        QTest::newRow("case-sensitive") << "aXbxc"
                                        << "x" << -1 << "aXb|c";
        QTest::newRow("extra fields ignored") << "a,b,c,d"
                                              << "," << 2 << "a|b";
        QTest::newRow("empty line") << "\r"
                                    << ";" << -1 << "";
        QTest::newRow("no separator keeps the line") << "a;b"
                                                     << "" << -1 << "a;b";
        QTest::newRow("separator over the line end") << "ab\r"
                                                     << "b\r" << -1 << "ab";
    }
    void splitFields()
    {
        QFETCH(QString, line);
        QFETCH(QString, separator);
        QFETCH(int, limit);
        QFETCH(QString, fields);
        QCOMPARE(joined(Csv::splitFields(line, Csv::separatorText(separator), limit)), fields);
        QCOMPARE(Csv::splitLines("a\r\n\r\nb\n"), QStringList({"a\r", "\r", "b", ""}));
    }

    // The preview's check, and what the import takes of the same text.
    void cellsAndLines_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("imported"); // the text or number stored; empty: dropped
        QTest::newRow("id") << 0 << 0 << " 24999 " << true << "s:24999";
        QTest::newRow("id too large") << 0 << 0 << "25000" << false << "";
        QTest::newRow("id negative") << 0 << 0 << "-1" << false << "";
        QTest::newRow("id not a number") << 0 << 0 << "7a" << false << "";
        QTest::newRow("apartment") << 1 << 0 << "99999999" << true << "a:99999999";
        QTest::newRow("apartment too large") << 1 << 0 << "100000000" << false << "";
        QTest::newRow("apartment negative passes") << 1 << 0 << "-5" << false << "a:-5";
        QTest::newRow("apartment last 8") << 1 << 0 << "0000012345" << true << "a:00012345";
        QTest::newRow("phone") << 2 << 0 << "999999999999" << true << "p:999999999999";
        QTest::newRow("phone too large") << 2 << 0 << "1000000000000" << false << "";
        QTest::newRow("iButton short") << 3 << 0 << "1A2B" << true << "k:0000000000001A2B";
        QTest::newRow("iButton whole")
            << 3 << 0 << "FF01778899A1B2C3" << true << "k:FF01778899A1B2C3";
        QTest::newRow("iButton zero") << 3 << 0 << "FFFFFFFFFF000000" << false << "";
        QTest::newRow("EM-Marin rendered") << 3 << 1 << "1,5" << true << "k:001,00005";
        QTest::newRow("EM-Marin out of range") << 3 << 1 << "256,1" << false << "";
        QTest::newRow("code padded") << 3 << 2 << "123" << true << "k:0000123";
        QTest::newRow("code 8 digits") << 3 << 2 << "12345678" << false << "";
        QTest::newRow("10 digits padded") << 3 << 3 << "123" << true << "k:0000000123";
        QTest::newRow("16777215 previewed, not imported") << 3 << 3 << "16777215" << true << "";
        QTest::newRow("2^24 is zero") << 3 << 3 << "16777216" << false << "";
        QTest::newRow("field unchecked, trimmed") << 4 << 0 << " Иванов " << true << "f1:Иванов";
        QTest::newRow("field cut to 255")
            << 13 << 0 << QString(300, u'ж') << true << "f10:" + QString(255, u'ж');
    }
    void cellsAndLines()
    {
        QFETCH(int, column);
        QFETCH(int, format);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, imported);
        const CsvImport::LineReader reader(QStringLiteral(";"), {column}, format,
                                           CsvImport::keyPattern(format));
        QCOMPARE(reader.cellValid(column, text), valid);
        const CsvImportLine line = reader.read(text + QStringLiteral(";ignored\r"));
        QStringList parts;
        if (line.subscriber >= 0)
            parts << "s:" + QString::number(line.subscriber);
        for (const auto& [tag, value] : {std::make_pair("a:", line.apartment),
                                         {"p:", line.phone},
                                         {"k:", line.keyText},
                                         {"f1:", line.fields[0]},
                                         {"f10:", line.fields[9]}})
            if (!value.isNull())
                parts << tag + value;
        QCOMPARE(line.keyCode >= 0, !line.keyText.isNull());
        QCOMPARE(parts.join(' '), imported);
        QCOMPARE(line.isEmpty(), imported.isEmpty());
    }

    // A code unit cut off at the end of a UTF-16 or UTF-32 file is left out.
    void cutOffCodeUnit()
    {
        QCOMPARE(CsvImport::decodeLines(QByteArray("a\0b", 3), "UTF-16LE"), QStringList{"a"});
        QCOMPARE(CsvImport::decodeLines(QByteArray("a\0\0\0b\0", 6), "UTF-32"), QStringList{"a"});
    }
};

QTEST_GUILESS_MAIN(TestCsvRules)
#include "tst_csvrules.moc"
