// Table files as users bring them: CSV texts of every encoding, separator and line end, .xlsx
// workbooks as spreadsheets save them (and as no one saves them on purpose), both formats
// written and read back unchanged, and every refusal with its reason: foreign formats, damage,
// passwords, bombs, bounds, a file that changes while it is read.
#include "TableTestSupport.h"
#include "core/Windows1251.h"
#include "core/XmlLoad.h"
#include "tables/XlsxReader.h"
#include "tests/support/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace varnel;
using namespace varnel::testing;

namespace {

QByteArray Cp1251(const QString& text)
{
    return varnel::ToWindows1251(text, '?');
}

QByteArray Utf16(const QString& text, bool littleEndian)
{
    QByteArray bytes = littleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (const QChar c : text) {
        const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
        bytes.append(littleEndian ? lo : hi);
        bytes.append(littleEndian ? hi : lo);
    }
    return bytes;
}

QStringList Row(const QString& joined)
{
    return joined.split(u'|');
}

} // namespace

class TableReadersTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString file(const QString& name) const { return dir_.filePath(name); }

private slots:
    void csvShapes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("rows"); // number|cell|cell... each
        const QString deal = QStringLiteral("Код ЦБ;Цена;Примечание\r\n");
        QTest::newRow("back office: Windows-1251, semicolons, quotes, empty lines")
            << Cp1251(deal + QStringLiteral("\r\nRU000A;101,5;\"две\r\nстроки; \"\"и\"\"\"\r\n"
                                            " ;  ;\r\n;;\r\nRU000B;-0,25;\"ab\"c"))
            << "CSV (Windows-1251, «;»)"
            << QStringList{"1|Код ЦБ|Цена|Примечание", "3|RU000A|101,5|две\r\nстроки; \"и\"",
                           "6|RU000B|-0,25|abc"};
        QTest::newRow("UTF-8 with a mark, commas, LF")
            << QByteArray("\xEF\xBB\xBF") + QStringLiteral("Цена,\"Код, ЦБ\"\n1.5,X\n").toUtf8()
            << "CSV (UTF-8, «,»)" << QStringList{"1|Цена|Код, ЦБ", "2|1.5|X"};
        QTest::newRow("UTF-8 without a mark, Tabs, lone CR")
            << QStringLiteral("Цена\tКод;ЦБ\tИтог\r1\tЁ\t2\r").toUtf8() << "CSV (UTF-8, «Tab»)"
            << QStringList{"1|Цена|Код;ЦБ|Итог", "2|1|Ё|2"};
        QTest::newRow("UTF-16 little endian")
            << Utf16(QStringLiteral("A;Б\r\n1;2\r\n"), true) << "CSV (UTF-16LE, «;»)"
            << QStringList{"1|A|Б", "2|1|2"};
        QTest::newRow("UTF-16 big endian")
            << Utf16(QStringLiteral("A;Б\n1;2"), false) << "CSV (UTF-16BE, «;»)"
            << QStringList{"1|A|Б", "2|1|2"};
        QTest::newRow("UTF-8 but for one byte: Windows-1251 throughout")
            << QStringLiteral("Код;Цена\n").toUtf8() + QByteArray("\xC0;1\n")
            << "CSV (Windows-1251, «;»)" << QStringList();
        QTest::newRow("a tie goes to the semicolon, short and long rows")
            << QByteArray("a;b,c\n1\n1;2;3;4\n") << "CSV (Windows-1251, «;»)"
            << QStringList{"1|a|b,c", "2|1", "3|1|2|3|4"};
    }
    void csvShapes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, description);
        QFETCH(QStringList, rows);
        const QString path = file(QStringLiteral("shape.csv"));
        QVERIFY(WriteBytes(path, bytes));
        QString failure, read;
        const QList<QStringList> got = ReadTable(path, &failure, {}, &read);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(read, description);
        if (QByteArray(QTest::currentDataTag()).startsWith("UTF-8 but")) {
            // The UTF-8 letters read as Windows-1251 letters, byte by byte.
            QCOMPARE(got.size(), 2);
            QCOMPARE(got.at(0).at(1), varnel::FromWindows1251(QStringLiteral("Код").toUtf8()));
            QCOMPARE(got.at(1).at(1), QStringLiteral("А"));
            return;
        }
        QList<QStringList> expected;
        for (const QString& r : rows)
            expected.append(Row(r));
        QCOMPARE(got, expected);
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a quote left open") << QByteArray("a;b\n1;2\n\"3;4\n5;6\n")
                                           << "строка 3: кавычка в начале ячейки не "
                                              "закрыта до конца файла";
        QTest::newRow("NUL bytes") << QByteArray("a;b\n1;\0\n", 8) << "нулевые байты";
        QTest::newRow("a cell too long") << QByteArray("a;b\n1;") + QByteArray(40, 'x') + "\n"
                                         << "строка 2: в ячейке больше 32 знаков";
        QTest::newRow("a row too long")
            << QByteArray("a;b\n") + (QByteArray(30, 'x') + ';').repeated(3) + "\n"
            << "строка 2: строка длиннее 64 знаков";
        QTest::newRow("too many columns") << QByteArray("a;b\n") + QByteArray(20, ';') + "\n"
                                          << "строка 2: больше 16 столбцов";
        QTest::newRow("too many rows") << QByteArray("a\n1\n2\n3\n4\n5\n") << "больше 5 строк";
        QTest::newRow("HTML under a CSV name")
            << QByteArray("\xEF\xBB\xBF <html><table>") << "документ XML или HTML";
        QTest::newRow("an older workbook")
            << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + QByteArray(600, '\0')
            << "старого формата (.xls)";
        QTest::newRow("a password-protected workbook")
            << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + QByteArray(600, '\0') +
                   Utf16(QStringLiteral("EncryptedPackage"), true).mid(2)
            << "защищена паролем";
        QTest::newRow("a PDF") << QByteArray("%PDF-1.4\n") << "это не таблица";
    }
    void refusals()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString path = file(QStringLiteral("refused.csv"));
        QVERIFY(WriteBytes(path, bytes));
        TableLimits limits;
        limits.cellChars = 32;
        limits.recordChars = 64;
        limits.columns = 16;
        limits.records = 5;
        QString failure;
        ReadTable(path, &failure, limits);
        QVERIFY2(failure.contains(reason), qPrintable(failure));
        QVERIFY2(failure.startsWith(QStringLiteral("Не удалось прочитать файл ") + path),
                 qPrintable(failure));
    }

    // Both formats the export writes read back cell for cell.
    void writtenAndReadBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("workbook") << "back.xlsx";
        QTest::newRow("CSV") << "back.csv";
    }
    void writtenAndReadBack()
    {
        QFETCH(QString, name);
        MemoryTable t;
        t.titles = {QStringLiteral("Код \"ЦБ\""), QStringLiteral("Цена; руб."),
                    QStringLiteral("Дата"), QStringLiteral("Примечание")};
        t.rows.append({TableCell::textCell(QStringLiteral("00123")),
                       TableCell::numberCell(QStringLiteral("0.0001")),
                       TableCell::dateCell(QDate(2024, 2, 29)),
                       TableCell::textCell(QStringLiteral("_x0041_ \u0001 «ёлка»"))});
        t.rows.append({TableCell::empty(),
                       TableCell::numberCell(QStringLiteral("12345678901234.1234567891")),
                       TableCell::dateCell(QDate(1900, 1, 5)),
                       TableCell::textCell(QStringLiteral("две\nстроки"))});
        const QString path = file(name);
        WriteTableFile(path, t, TableFormatOfPath(path));
        QString failure;
        const QList<QStringList> got = ReadTable(path, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const bool csv = name.endsWith(u".csv");
        const QString decimal = csv ? QStringLiteral(",") : QStringLiteral(".");
        QCOMPARE(got, (QList<QStringList>{{"1", "Код \"ЦБ\"", "Цена; руб.", "Дата", "Примечание"},
                                          {"2", "00123", "0" + decimal + "0001", "29.02.2024",
                                           QStringLiteral("_x0041_ \u0001 «ёлка»")},
                                          {"3", "", "12345678901234" + decimal + "1234567891",
                                           "05.01.1900", "две\nстроки"}}));
    }

    // Workbooks made part by part: the first sheet in the workbook's order, shared texts with
    // rich text and phonetic guides, inline texts, numbers as a spreadsheet shows them, dates by
    // their styles in both date systems, formula results, cells without references, empty rows.
    void workbookCells_data()
    {
        // Binary numbers as spreadsheets write them, read with 15 significant digits.
        const QString kNumbers =
            QStringLiteral("7|66.85|9577.7|1500|-0.00123456789012346|100000000000000000|0.3");
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("1900 date system")
            << QByteArray()
            << QStringList{"2|Код|Цена|Дата|Время|Итог", "4|Ёлка 1|0.0001|15.03.2024|0.5|итог 7",
                           "6||1234.5|29.02.1900|10.01.1900|TRUE", kNumbers};
        QTest::newRow("1904 date system")
            << QByteArray("<workbookPr date1904=\"true\"/>")
            << QStringList{"2|Код|Цена|Дата|Время|Итог", "4|Ёлка 1|0.0001|16.03.2028|0.5|итог 7",
                           "6||1234.5|01.03.1904|11.01.1904|TRUE", kNumbers};
    }
    void workbookCells()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QStringList, rows);
        const QByteArray shared =
            "<si><t>Код</t></si>"
            "<si><r><rPr><b/></rPr><t>Ёлка</t></r><r><t xml:space=\"preserve\"> 1</t></r>"
            "<rPh sb=\"0\" eb=\"1\"><t>phonetic</t></rPh></si>"
            "<si><t>Цена</t></si>";
        const QByteArray styles =
            "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"[$-419]d\\ mmmm\\ "
            "yyyy&quot;г.&quot;\"/></numFmts><cellXfs count=\"4\"><xf numFmtId=\"0\"/>"
            "<xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf numFmtId=\"21\"/></cellXfs>";
        const QByteArray sheet =
            "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c t=\"s\"><v>2</v></c>"
            "<c r=\"C2\" t=\"inlineStr\"><is><t>Дата</t></is></c>"
            "<c r=\"D2\" t=\"str\"><f>\"Время\"</f><v>Время</v></c>"
            "<c r=\"E2\" t=\"inlineStr\"><is><r><t>Ит</t></r><r><t>ог</t></r></is></c></row>"
            "<row r=\"3\"><c r=\"A3\" s=\"1\"/></row>"
            "<row r=\"4\"><c r=\"A4\" t=\"s\"><v>1</v></c><c r=\"B4\"><v>1E-4</v></c>"
            "<c r=\"C4\" s=\"2\"><v>45366</v></c><c r=\"D4\" s=\"3\"><v>0.5</v></c>"
            "<c r=\"E4\" t=\"str\"><v>итог_x0020_7</v></c></row>"
            "<row r=\"6\"><c r=\"B6\" s=\"0\"><v>1234.5</v></c><c r=\"C6\" s=\"1\"><v>60</v></c>"
            "<c r=\"D6\" s=\"1\"><v>10.75</v></c><c r=\"E6\" t=\"b\"><v>TRUE</v></c></row>"
            "<row r=\"7\"><c r=\"A7\"><v>66.849999999999994</v></c>"
            "<c r=\"B7\"><v>9577.7000000000007</v></c><c r=\"C7\" s=\"0\"><v>1500</v></c>"
            "<c r=\"D7\"><v>-1.2345678901234567E-3</v></c><c r=\"E7\"><v>99999999999999999</v></c>"
            "<c r=\"F7\"><v>0.30000000000000004</v></c></row>";
        const QString path = file(QStringLiteral("made.xlsx"));
        QVERIFY(WriteZip(path, WorkbookParts(sheet, shared, styles, properties)));
        QString failure;
        const QList<QStringList> got = ReadTable(path, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QList<QStringList> expected;
        for (const QString& r : rows)
            expected.append(Row(r));
        QCOMPARE(got, expected);
    }

    // A cell at the bound is read, one character more refuses the file, in both formats with
    // the same text on the row the user sees; so too a row one column over. A CSV text behind
    // the apostrophe the writer adds may take the whole cell.
    void cellBounds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("row"); // CSV: the second line; workbook: row 2's cells
        QTest::addColumn<QString>("reason"); // empty when read
        const QByteArray full(32767, 'x');
        const auto inlineCell = [](const char* ref, const QByteArray& text) {
            return "<c r=\"" + QByteArray(ref) + "\" t=\"inlineStr\"><is><t>" + text +
                   "</t></is></c>";
        };
        const QString tooLong = QStringLiteral("строка 2: в ячейке больше 32767 знаков");
        const QString tooWide = QStringLiteral("строка 2: больше 16 столбцов");
        QTest::newRow("CSV, a full cell") << "b.csv"
                                          << "1;" + full << QString();
        QTest::newRow("CSV, a cell too long") << "b.csv"
                                              << "1;" + full + "x" << tooLong;
        QTest::newRow("CSV, a full cell behind the apostrophe")
            << "b.csv"
            << "1;'=" + full.mid(1) << QString();
        QTest::newRow("CSV, an apostrophe that is the text's own") << "b.csv"
                                                                   << "1;'" + full << tooLong;
        QTest::newRow("CSV, a full row") << "b.csv"
                                         << "1" + QByteArray(15, ';') << QString();
        QTest::newRow("CSV, a column over") << "b.csv"
                                            << "1" + QByteArray(16, ';') << tooWide;
        QTest::newRow("workbook, a full cell") << "b.xlsx" << inlineCell("B2", full) << QString();
        QTest::newRow("workbook, a cell too long")
            << "b.xlsx" << inlineCell("B2", full + "x") << tooLong;
        QTest::newRow("workbook, a formula's text too long")
            << "b.xlsx"
            << "<c r=\"B2\" t=\"str\"><f>A1</f><v>" + full + "x</v></c>" << tooLong;
        QTest::newRow("workbook, two-byte letters, full")
            << "b.xlsx" << inlineCell("B2", QStringLiteral("ё").repeated(32767).toUtf8())
            << QString();
        QTest::newRow("workbook, a shared text too long")
            << "b.xlsx" << QByteArray("<c r=\"B2\" t=\"s\"><v>1</v></c>")
            << "строка 2 общих строк длиннее 32767 знаков";
        QTest::newRow("workbook, a full row") << "b.xlsx" << inlineCell("P2", "x") << QString();
        QTest::newRow("workbook, a column over") << "b.xlsx" << inlineCell("Q2", "x") << tooWide;
    }
    void cellBounds()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, row);
        QFETCH(QString, reason);
        const QString path = file(name);
        if (name.endsWith(u".csv")) {
            QVERIFY(WriteBytes(path, "a;b\n" + row + "\n"));
        } else {
            const QByteArray shared =
                "<si><t>a</t></si><si><t>" + QByteArray(32768, 'x') + "</t></si>";
            QVERIFY(WriteZip(path,
                             WorkbookParts("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"
                                           "<row r=\"2\">" +
                                               row + "</row>",
                                           reason.contains(u"общих") ? shared : shared.left(17))));
        }
        TableLimits limits;
        limits.columns = 16;
        QString failure;
        const QList<QStringList> rows = ReadTable(path, &failure, limits);
        if (reason.isEmpty()) {
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            QCOMPARE(rows.size(), 2);
            if (row.contains("'="))
                QCOMPARE(rows.at(1).at(2), u'=' + QString(32766, u'x'));
        } else if (reason.contains(u"общих")) {
            QVERIFY2(failure.contains(reason), qPrintable(failure));
        } else {
            QCOMPARE(failure, TableReadErrorText(path, reason));
        }
    }

    // Nested elements as deep as the document loader allows are read, one level more refuses
    // the sheet there, as the document loader refuses it.
    void nestingBound_data()
    {
        QTest::addColumn<int>("depth"); // elements open around the deepest one
        QTest::newRow("at the bound") << int(XmlMaxDepth());
        QTest::newRow("one over") << int(XmlMaxDepth()) + 1;
    }
    void nestingBound()
    {
        QFETCH(int, depth);
        const QByteArray sheet =
            "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
            "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a</t></is></c></row>"
            "</sheetData>" +
            QByteArray("<x>").repeated(depth) + QByteArray("</x>").repeated(depth) + "</worksheet>";
        QList<ZipPart> parts = WorkbookParts(QByteArray(), QByteArray());
        parts[5].bytes = sheet;
        const QString path = file(QStringLiteral("deep.xlsx"));
        QVERIFY(WriteZip(path, parts));
        QString failure;
        const QList<QStringList> rows = ReadTable(path, &failure);
        const bool over = depth > int(XmlMaxDepth());
        if (over) {
            QVERIFY2(
                failure.contains(QStringLiteral("sheet2.xml: элементы вложены глубже %1 уровней")
                                     .arg(XmlMaxDepth())),
                qPrintable(failure));
        } else {
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            QCOMPARE(rows, (QList<QStringList>{{"1", "a"}}));
        }
        const QString xml = file(QStringLiteral("deep.xml"));
        QVERIFY(WriteBytes(xml, sheet));
        bool loaded = true;
        try {
            XmlDocument::Load(xml);
        } catch (const Error&) {
            loaded = false;
        }
        QCOMPARE(loaded, !over);
    }

    // Rows by their numbers on the sheet, rows absent counted; a row with gaps keeps the cells
    // it has with their columns, however far to the right; cells out of order put in order, a
    // later one of a column in place of an earlier one.
    void sparseRows()
    {
        const auto cell = [](const char* ref, const char* text) {
            return QByteArray("<c") + (*ref ? " r=\"" + QByteArray(ref) + "\"" : QByteArray()) +
                   " t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
        };
        const QByteArray sheet =
            "<row r=\"1\">" + cell("A1", "Код") + cell("B1", "Цена") + "</row><row r=\"2\">" +
            cell("A2", "a") + cell("XFD2", "x") + "</row><row r=\"5\">" + cell("C5", "c") +
            "</row><row>" + cell("", "p") + cell("", "q") + "</row><row r=\"3\">" +
            cell("C7", "z") + cell("A7", "a") + cell("C7", "zz") +
            "</row><row r=\"9\"><c r=\"B9\"/></row><row r=\"10\">" + cell("B10", "b") + "</row>";
        const QString path = file(QStringLiteral("sparse.xlsx"));
        QVERIFY(WriteZip(path, WorkbookParts(sheet, QByteArray())));
        std::unique_ptr<TableReader> reader = OpenTableFile(path);
        QStringList got;
        TableRecord record;
        while (reader->next(record)) {
            QStringList columns;
            for (const int c : record.columns)
                columns << QString::number(c);
            got << QStringLiteral("%1|%2|%3|%4|%5")
                       .arg(record.number)
                       .arg(record.cells.join(u','), columns.join(u','))
                       .arg(record.width())
                       .arg(record.cell(record.width() - 1));
        }
        QCOMPARE(got, (QStringList{"1|Код,Цена||2|Цена", "2|a,x|0,16383|16384|x", "5|c|2|3|c",
                                   "6|p,q||2|q", "7|a,zz|0,2|3|zz", "10|b|1|2|b"}));
        QCOMPARE(record.cell(0), QString());
        QCOMPARE(record.row(), (QStringList{"", "b"}));
        QCOMPARE(record.row(4), (QStringList{"", "b", "", ""}));
    }

    void workbookRefusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a DTD in the sheet") << "dtd"
                                            << "DTD is prohibited.";
        QTest::newRow("a zip bomb") << "bomb"
                                    << "архивы-бомбы";
        QTest::newRow("an OpenDocument spreadsheet") << "ods"
                                                     << "OpenDocument (.ods)";
        QTest::newRow("a zip of something else") << "zip"
                                                 << "не книга .xlsx";
        QTest::newRow("a truncated workbook") << "truncated"
                                              << "повреждена";
        QTest::newRow("a shared string that is not there") << "index"
                                                           << "общую строку 7";
        QTest::newRow("too many attributes") << "attributes"
                                             << "more than 1024 attributes";
    }
    void workbookRefusals()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = file(QStringLiteral("refused.xlsx"));
        QList<ZipPart> parts =
            WorkbookParts("<row><c t=\"s\"><v>0</v></c></row>", "<si><t>x</t></si>");
        if (kind == u"dtd") {
            parts[5].bytes.replace("<worksheet",
                                   "<!DOCTYPE worksheet [<!ENTITY a \"aaaa\">]><worksheet");
        } else if (kind == u"bomb") {
            parts[5].bytes = "<worksheet>" + QByteArray(20 * 1024 * 1024, ' ') + "</worksheet>";
        } else if (kind == u"ods") {
            parts = {{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.spreadsheet",
                      true},
                     {QStringLiteral("content.xml"), "<office:document-content/>"}};
        } else if (kind == u"zip") {
            parts = {{QStringLiteral("readme.txt"), "hello"}};
        } else if (kind == u"index") {
            parts[5].bytes.replace("<v>0</v>", "<v>7</v>");
        } else if (kind == u"attributes") {
            QByteArray many = "<c";
            for (int i = 0; i < 1100; ++i)
                many += " a" + QByteArray::number(i) + "=\"\"";
            parts[5].bytes.replace("<c", many);
        }
        QVERIFY(WriteZip(path, parts));
        if (kind == u"truncated") {
            QByteArray bytes = ReadBytes(path);
            bytes.chop(40);
            QVERIFY(WriteBytes(path, bytes));
        }
        QString failure;
        ReadTable(path, &failure);
        QVERIFY2(failure.contains(reason), qPrintable(failure));
    }

    // A file another program writes while it is read gives nothing of either version.
    void changedWhileRead_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("CSV") << "changing.csv";
        QTest::newRow("workbook") << "changing.xlsx";
    }
    void changedWhileRead()
    {
        QFETCH(QString, name);
        const QString path = file(name);
        MemoryTable t;
        t.titles = {QStringLiteral("a")};
        for (int i = 0; i < 20000; ++i)
            t.rows.append({TableCell::textCell(QString::number(i))});
        WriteTableFile(path, t, TableFormatOfPath(path));
        std::unique_ptr<TableReader> reader = OpenTableFile(path);
        TableRecord record;
        QVERIFY(reader->next(record));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite | QIODevice::Append));
            f.write("more\n");
        }
        QString failure;
        try {
            while (reader->next(record)) {
            }
        } catch (const Error& e) {
            failure = e.description();
        }
        QVERIFY2(failure.contains(QStringLiteral("файл изменился")), qPrintable(failure));
    }

    // Files far beyond a table's size are refused as soon as that is known: a 1 GB file by its
    // size, a 50 MB file of one line at the first megabyte of the line (its cells short enough).
    void hugeFiles()
    {
        const QString sparse = file(QStringLiteral("huge.csv"));
        {
            QFile f(sparse);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(1024LL * 1024 * 1024));
        }
        QString failure;
        ReadTable(sparse, &failure);
        QVERIFY2(failure.contains(QStringLiteral("файл больше 256 МБ")), qPrintable(failure));
        QFile::remove(sparse);

        const QString line = file(QStringLiteral("line.csv"));
        QVERIFY(WriteBytes(line, (QByteArray(100, 'x') + ';').repeated(500 * 1024)));
        ReadTable(line, &failure);
        QVERIFY2(failure.contains(QStringLiteral("строка 1: строка длиннее 1048576 знаков")),
                 qPrintable(failure));
        QFile::remove(line);
    }

    // What is no regular file is not read: a link, a folder, a device.
    void notRegularFiles()
    {
        const QString target = file(QStringLiteral("target.csv"));
        QVERIFY(WriteBytes(target, "a;b\n1;2\n"));
        const QString link = file(QStringLiteral("link.csv"));
        QVERIFY(QFile::link(target, link));
        QString failure;
        ReadTable(link, &failure);
        QVERIFY2(failure.contains(QStringLiteral("символьная ссылка")), qPrintable(failure));
        for (const QString& path : {dir_.path(), QStringLiteral("/dev/zero")}) {
            ReadTable(path, &failure);
            QVERIFY2(failure.contains(QStringLiteral("не обычный файл")), qPrintable(failure));
        }
    }
};

QTEST_GUILESS_MAIN(TableReadersTest)
#include "tst_tablereaders.moc"
