// Tables written to files: the CSV bytes, the workbook's cells, the numbers a workbook holds
// exactly, and both formats under a full disk and a file-size limit.
#include "core/AtomicSave.h"
#include "core/Error.h"
#include "tables/TableWriter.h"
#include "tables/XlsxPackage.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/TestFiles.h"
#include "tests/viewer/XlsxReader.h"

#include "TableTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace varnel;
using namespace varnel::testing;
using varnel::tables::UnescapeWorkbookText;

namespace {

// Texts a spreadsheet keeps only when quoted or escaped, numbers of every kind, dates, empties.
MemoryTable SampleTable()
{
    MemoryTable t;
    t.titles = {QStringLiteral("Код ЦБ"), QStringLiteral("Цена; руб."),
                QStringLiteral("Дата \"сделки\""), QStringLiteral("Примечание")};
    t.rows.append({TableCell::textCell(QStringLiteral("SNEN-AO1")),
                   TableCell::numberCell(QStringLiteral("1234.50")),
                   TableCell::dateCell(QDate(2024, 3, 15)),
                   TableCell::textCell(QStringLiteral("две\r\nстроки; и \"кавычки\""))});
    t.rows.append({TableCell::textCell(QStringLiteral("00123")),
                   TableCell::numberCell(QStringLiteral("12345678901234.1234567891")),
                   TableCell::empty(), TableCell::textCell(QStringLiteral("_x0041_ как есть"))});
    t.rows.append({TableCell::empty(), TableCell::numberCell(QStringLiteral("-0.0001"))});
    return t;
}

struct SheetCell {
    QString type;
    QString text;
    QString format;
};

// The cells of the first worksheet by reference: inline strings as their text, numbers as they
// are stored, each with its number format.
QHash<QString, SheetCell> ReadSheetCells(const QString& path)
{
    const QHash<QString, QByteArray> parts = ReadZip(ReadBytes(path));
    const QStringList formats = ReadNumberFormats(parts);
    QHash<QString, SheetCell> cells;
    xmlDoc* doc = ParsePart(parts.value(QStringLiteral("xl/worksheets/sheet1.xml")));
    if (!doc)
        return cells;
    ForEachElement(xmlDocGetRootElement(doc), "c", [&](xmlNode* c) {
        SheetCell cell{Prop(c, "t"), NodeText(c), formats.value(Prop(c, "s").toInt())};
        cells.insert(Prop(c, "r"), cell);
    });
    xmlFreeDoc(doc);
    return cells;
}

} // namespace

class TableFilesTest : public QObject {
    Q_OBJECT

private slots:
    void csvFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.csv"));
        QCOMPARE(TableFormatOfPath(path), TableFormat::Csv);
        WriteTableFile(path, SampleTable(), TableFormat::Csv);
        QCOMPARE(ReadBytes(path),
                 QByteArray("\xEF\xBB\xBF") +
                     QStringLiteral("Код ЦБ;\"Цена; руб.\";\"Дата \"\"сделки\"\"\";Примечание\r\n"
                                    "SNEN-AO1;1234,50;15.03.2024;\"две\r\nстроки; и "
                                    "\"\"кавычки\"\"\"\r\n"
                                    "00123;12345678901234,1234567891;;_x0041_ как есть\r\n"
                                    ";-0,0001\r\n")
                         .toUtf8());
    }

    void workbookCells()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.xlsx"));
        QCOMPARE(TableFormatOfPath(path), TableFormat::Workbook);
        QList<int> progress;
        TableWriteOptions options;
        options.progress = [&](int rows) { progress << rows; };
        WriteTableFile(path, SampleTable(), TableFormat::Workbook, options);
        QCOMPARE(progress.last(), 3);
        const QHash<QString, SheetCell> cells = ReadSheetCells(path);
        QCOMPARE(cells.value(QStringLiteral("B1")).text, QStringLiteral("Цена; руб."));
        QCOMPARE(cells.value(QStringLiteral("A3")).type, QStringLiteral("inlineStr"));
        QCOMPARE(cells.value(QStringLiteral("A3")).text, QStringLiteral("00123"));
        // Numbers as numbers showing their decimals, dates as day numbers shown as dates.
        QCOMPARE(cells.value(QStringLiteral("B2")).type, QString());
        QCOMPARE(cells.value(QStringLiteral("B2")).text, QStringLiteral("1234.5"));
        QCOMPARE(cells.value(QStringLiteral("B2")).format, QStringLiteral("0.00"));
        QCOMPARE(cells.value(QStringLiteral("B4")).text, QStringLiteral("-0.0001"));
        QCOMPARE(cells.value(QStringLiteral("B4")).format, QStringLiteral("0.0000"));
        QCOMPARE(cells.value(QStringLiteral("C2")).text,
                 QString::number(QDate(1899, 12, 30).daysTo(QDate(2024, 3, 15))));
        QCOMPARE(cells.value(QStringLiteral("C2")).format, QStringLiteral("dd.mm.yyyy"));
        // A number with more digits than the workbook keeps goes as text, whole.
        QCOMPARE(cells.value(QStringLiteral("B3")).type, QStringLiteral("inlineStr"));
        QCOMPARE(cells.value(QStringLiteral("B3")).text,
                 QStringLiteral("12345678901234.1234567891"));
        // A CR is kept as its escape (the XML would make a line end of CR LF).
        QCOMPARE(cells.value(QStringLiteral("D2")).text,
                 QStringLiteral("две_x000D_\nстроки; и \"кавычки\""));
        QCOMPARE(cells.value(QStringLiteral("D3")).text, QStringLiteral("_x005F_x0041_ как есть"));
        QVERIFY(!cells.contains(QStringLiteral("C3")));
        QCOMPARE(FolderSnapshot(dir.path()).keys(), QStringList{QStringLiteral("t.xlsx")});
    }

    // Texts a spreadsheet would take for formulas: in CSV each behind an apostrophe and quoted,
    // a negative number as it is; in a workbook string cells. Both read back as written. The
    // clipboard's copy of a table guards them the same way.
    void formulaTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");  // as the CSV file holds it
        QTest::addColumn<QString>("copied"); // as the clipboard gets it
        QTest::newRow("link") << "=HYPERLINK(\"http://x.example/?q\";\"открыть\")"
                              << "\"'=HYPERLINK(\"\"http://x.example/?q\"\";\"\"открыть\"\")\""
                              << QStringLiteral("'=HYPERLINK(\"http://x.example/?q\";\"открыть\")");
        QTest::newRow("command") << "=cmd|' /C calc'!A0"
                                 << "\"'=cmd|' /C calc'!A0\""
                                 << QStringLiteral("'=cmd|' /C calc'!A0");
        QTest::newRow("plus") << "+1"
                              << "\"'+1\"" << QStringLiteral("'+1");
        QTest::newRow("minus, as a text") << "-1"
                                          << "\"'-1\"" << QStringLiteral("'-1");
        QTest::newRow("at") << "@SUM(A1:A9)"
                            << "\"'@SUM(A1:A9)\"" << QStringLiteral("'@SUM(A1:A9)");
        QTest::newRow("Tab") << "\t=1+1"
                             << "\"'\t=1+1\"" << QStringLiteral(" =1+1");
        QTest::newRow("CR") << "\r=1+1"
                            << "\"'\r=1+1\"" << QStringLiteral(" =1+1");
        QTest::newRow("the user's own apostrophe") << "'=1+1"
                                                   << "\"''=1+1\"" << QStringLiteral("''=1+1");
        QTest::newRow("two of them") << "''-2"
                                     << "\"'''-2\"" << QStringLiteral("'''-2");
        QTest::newRow("an apostrophe before a plain text") << "'00123"
                                                           << "'00123" << QStringLiteral("'00123");
        QTest::newRow("a sign inside") << "a=1-2"
                                       << "a=1-2" << QStringLiteral("a=1-2");
    }
    void formulaTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QFETCH(QString, copied);
        QTemporaryDir dir;
        MemoryTable t;
        t.titles = {text, QStringLiteral("Цена")};
        t.rows.append({TableCell::textCell(text), TableCell::numberCell(QStringLiteral("-5.25"))});
        t.rows.append({TableCell::numberCell(QStringLiteral("-0.5")), TableCell::textCell(text)});

        const QString csv = dir.filePath(QStringLiteral("t.csv"));
        WriteTableFile(csv, t, TableFormat::Csv);
        QCOMPARE(QString::fromUtf8(ReadBytes(csv).mid(3)),
                 field + QStringLiteral(";Цена\r\n") + field + QStringLiteral(";-5,25\r\n-0,5;") +
                     field + QStringLiteral("\r\n"));
        QString failure;
        QCOMPARE(
            ReadTable(csv, &failure),
            (QList<QStringList>{{"1", text, "Цена"}, {"2", text, "-5,25"}, {"3", "-0,5", text}}));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        // Pasted into a spreadsheet, the clipboard's text is read as a typed one: the same guard.
        QCOMPARE(TableText(t), copied + QStringLiteral("\tЦена\n") + copied +
                                   QStringLiteral("\t-5.25\n-0.5\t") + copied + u'\n');

        const QString xlsx = dir.filePath(QStringLiteral("t.xlsx"));
        WriteTableFile(xlsx, t, TableFormat::Workbook);
        const QHash<QString, SheetCell> cells = ReadSheetCells(xlsx);
        for (const char* ref : {"A1", "A2", "B3"}) {
            QCOMPARE(cells.value(QLatin1String(ref)).type, QStringLiteral("inlineStr"));
            QCOMPARE(UnescapeWorkbookText(cells.value(QLatin1String(ref)).text), text);
        }
        QCOMPARE(cells.value(QStringLiteral("B2")).type, QString());
        QCOMPARE(
            ReadTable(xlsx, &failure),
            (QList<QStringList>{{"1", text, "Цена"}, {"2", text, "-5.25"}, {"3", "-0.5", text}}));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void workbookNumberText_data()
    {
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<QString>("stored");
        QTest::newRow("trailing zeros") << "1234.50"
                                        << "1234.5";
        QTest::newRow("small") << "0.0001"
                               << "0.0001";
        QTest::newRow("tiny") << "0.000001234"
                              << "1.234E-06";
        QTest::newRow("large") << "100000000000000000000"
                               << "1E+20";
        QTest::newRow("fifteen digits") << "999999999999999"
                                        << "999999999999999";
        QTest::newRow("negative") << "-101.5"
                                  << "-101.5";
        // Held as the nearest binary number (66.849999999999994), read as the decimal.
        QTest::newRow("not binary") << "66.85"
                                    << "66.85";
        QTest::newRow("not binary, trailing zero") << "9577.70"
                                                   << "9577.7";
        QTest::newRow("whole with zeros") << "1500.00"
                                          << "1500";
        QTest::newRow("fifteen digits, not binary") << "0.123456789012345"
                                                    << "0.123456789012345";
        QTest::newRow("sixteen digits") << "1234567890123456"
                                        << "";
        QTest::newRow("numeric(26,10)") << "12345678901234.1234567891"
                                        << "";
        QTest::newRow("no number") << "1 234"
                                   << "";
        QTest::newRow("comma") << "1,5"
                               << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void workbookNumberText()
    {
        QFETCH(QString, decimal);
        QFETCH(QString, stored);
        QCOMPARE(WorkbookNumberText(decimal), stored);
    }

    // A full disk and a file-size limit (in a child set up as the programs set themselves up)
    // fail the write with the system's reason; the old file stays whole, nothing is left.
    void faults_data()
    {
        QTest::addColumn<bool>("workbook");
        QTest::addColumn<bool>("fullDisk");
        for (const bool workbook : {true, false}) {
            for (const bool fullDisk : {false, true}) {
                QTest::addRow("%s, %s", workbook ? "workbook" : "csv",
                              fullDisk ? "full disk" : "file-size limit")
                    << workbook << fullDisk;
            }
        }
    }
    void faults()
    {
        QFETCH(bool, workbook);
        QFETCH(bool, fullDisk);
        QTemporaryDir dir;
        std::unique_ptr<SmallDisk> disk;
        QString folder = dir.path();
        if (fullDisk) {
            disk = std::make_unique<SmallDisk>(2 * 1024 * 1024);
            VARNEL_REQUIRE_DISK(*disk);
            folder = disk->path();
        }
        const QString path =
            folder + (workbook ? QStringLiteral("/t.xlsx") : QStringLiteral("/t.csv"));
        const QByteArray old("what the file held before");
        QVERIFY(WriteBytes(path, old));
        MemoryTable big = SampleTable();
        for (int i = 0; i < 20000; ++i)
            big.rows.append({TableCell::textCell(QStringLiteral("строка %1").arg(i)),
                             TableCell::numberCell(QString::number(i) + QStringLiteral(".25")),
                             TableCell::dateCell(QDate(2024, 1, 1).addDays(i % 365)),
                             TableCell::textCell(QStringLiteral("текст %1 ").repeated(4).arg(i))});
        const TableFormat format = workbook ? TableFormat::Workbook : TableFormat::Csv;
        const auto write = [&]() -> QString {
            WriteTableFile(path, big, format);
            return QString();
        };
        std::optional<QString> outcome;
        int reason = EFBIG;
        if (fullDisk) {
            reason = ENOSPC;
            disk->fill();
            try {
                outcome = write();
            } catch (const Error& e) {
                outcome = e.description();
            }
        } else {
            outcome = RunWithFileSizeLimit(64 * 1024, write);
        }
        QVERIFY2(outcome, "the writer ended at the file-size limit");
        QVERIFY2(outcome->contains(SystemErrorText(reason)), qPrintable(*outcome));
        QVERIFY2(outcome->contains(path), qPrintable(*outcome));
        QCOMPARE(ReadBytes(path), old);
        QCOMPARE(FolderEntries(folder), QStringList{QFileInfo(path).fileName()});
    }
};

QTEST_GUILESS_MAIN(TableFilesTest)
#include "tst_tablefiles.moc"
