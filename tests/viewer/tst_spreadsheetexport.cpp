// The spreadsheet export: what a pasted page becomes in a sheet, the heading cut at its
// "SAVE AS" line, fitted columns, the workbook read back from its file, a full disk, and the
// export command with its clipboard, notice and busy cursor.
#include "XlsxReader.h"
#include "filesave/ReplacingFile.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/TempFiles.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestFiles.h"
#include "viewer/SpreadsheetExport.h"
#include "viewer/window/ExportCommand.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace varnel;
using varnel::testing::ReadXlsx;
using varnel::testing::XlsxSheet;

Q_DECLARE_METATYPE(SheetCell::Type)

namespace {

QByteArray Page(const QByteArray& body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>T</title>"
           "<style>td{color:red}</style><script>var x = 1;</script></head><body>" +
           body + "</body></html>";
}

// The sheet as lines of cells, "|" between cells, for comparing at a glance.
// The workbook the export command made of the page; empty when it did not end done.
QString Exported(const QString& page, const QString& baseName)
{
    QString workbook;
    const Outcome outcome = ExportPageToWorkbook(nullptr, page, baseName, &workbook);
    if (!outcome.done())
        qWarning("%s", qPrintable(outcome.failure));
    return workbook;
}

QStringList Lines(const Sheet& sheet)
{
    QStringList lines;
    for (const QList<SheetCell>& row : sheet.rows) {
        QStringList cells;
        for (const SheetCell& c : row)
            cells << c.text;
        lines << cells.join(u'|');
    }
    return lines;
}

QString Merges(const Sheet& sheet)
{
    QStringList list;
    for (const SheetMerge& m : sheet.merges)
        list << QStringLiteral("%1,%2-%3,%4")
                    .arg(m.firstRow)
                    .arg(m.firstColumn)
                    .arg(m.lastRow)
                    .arg(m.lastColumn);
    return list.join(u' ');
}

} // namespace

class SpreadsheetExportTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        SetTemporaryFolder(dir_->path());
        SetWorkbookFolder(dir_->filePath(QStringLiteral("documents")));
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("documents")));
        SetWorkbookOpener(nullptr);
    }
    void cleanup()
    {
        SetTemporaryFolder(QString());
        SetWorkbookFolder(QString());
        SetWorkbookOpener(nullptr);
    }

    void classification_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<SheetCell::Type>("type");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        using T = SheetCell::Type;
        QTest::newRow("integer") << "1000" << T::Number << 1000.0 << 0;
        QTest::newRow("decimals kept") << "1.000" << T::Number << 1.0 << 3;
        QTest::newRow("negative") << "-5.25" << T::Number << -5.25 << 2;
        QTest::newRow("fraction") << "0.001" << T::Number << 0.001 << 3;
        QTest::newRow("twelve-digit number") << "240315000123" << T::Number << 240315000123.0 << 0;
        QTest::newRow("blanks and no-break spaces") << " \u00a07\u00a0 " << T::Number << 7.0 << 0;
        QTest::newRow("leading zero: a code") << "0012" << T::Text << 0.0 << 0;
        QTest::newRow("sixteen digits: an identifier") << "1234567890123456" << T::Text << 0.0 << 0;
        QTest::newRow("comma") << "1,5" << T::Text << 0.0 << 0;
        QTest::newRow("exponent") << "1e5" << T::Text << 0.0 << 0;
        QTest::newRow("plus") << "+5" << T::Text << 0.0 << 0;
        QTest::newRow("bare point") << ".5" << T::Text << 0.0 << 0;
        QTest::newRow("group blank") << "1 000" << T::Text << 0.0 << 0;
        QTest::newRow("display date") << "15.03.2024" << T::Date << 45366.0 << 0;
        QTest::newRow("file date") << "2024-03-15" << T::Date << 45366.0 << 0;
        QTest::newRow("first day number of its own") << "01.03.1900" << T::Date << 61.0 << 0;
        QTest::newRow("before it: text") << "28.02.1900" << T::Text << 0.0 << 0;
        QTest::newRow("no such date") << "31.04.2024" << T::Text << 0.0 << 0;
        QTest::newRow("date and time") << "15.03.2024 10:42:07" << T::Text << 0.0 << 0;
        QTest::newRow("code with digits") << "1-01-00123-A" << T::Text << 0.0 << 0;
        QTest::newRow("empty") << "\u00a0" << T::Empty << 0.0 << 0;
    }
    void classification()
    {
        QFETCH(QString, text);
        QFETCH(SheetCell::Type, type);
        QFETCH(double, value);
        QFETCH(int, decimals);
        const SheetCell cell = ClassifyCellText(text);
        QCOMPARE(cell.type, type);
        if (type == SheetCell::Type::Number || type == SheetCell::Type::Date) {
            QCOMPARE(cell.value, value);
            QCOMPARE(cell.decimals, decimals);
        }
    }

    // A page as the spreadsheet holds it after the paste.
    void pageIntoSheet()
    {
        const Sheet sheet = ReadPageSheet(Page(
            "<h1>Квитанции</h1><p>Запрос: <b>DL1</b>   ·\n  Обработан</p>"
            "<p>Save as: export</p><div>one<br>two<br><br>four</div>"
            "<table><caption>Caption</caption><thead>"
            "<tr><th rowspan=\"2\">№</th><th colspan=\"2\">Сделка</th><th "
            "rowspan=\"2\">Текст</th></tr>"
            "<tr><th>Договор</th><th>Номер</th></tr></thead>"
            "<tbody><tr><td>1</td><td>Д-17/24</td><td>0012</td><td>a<br>b</td></tr>"
            "<tr style=\"display: none\"><td>hidden</td></tr>"
            "<tr><td>2</td><td colspan=\"2\">&nbsp;</td><td><table><tr><td>x</td><td>y</td></tr>"
            "<tr><td>z</td></tr></table></td></tr></tbody></table>"
            "<table><tbody><tr><td>3</td><td>next table</td></tr></tbody></table>"
            "<pre>line 1\nline  2</pre><p hidden>secret</p>"));
        QCOMPARE(Lines(sheet),
                 (QStringList{"Квитанции", "Запрос: DL1 · Обработан", "Save as: export", "one",
                              "two", "", "four", "Caption", "№|Сделка||Текст", "|Договор|Номер",
                              "1|Д-17/24|0012|a\nb", "2|||x y\nz", "3|next table", "line 1",
                              "line  2"}));
        QCOMPARE(Merges(sheet), QStringLiteral("8,0-9,0 8,1-8,2 8,3-9,3 11,1-11,2"));
        QVERIFY(sheet.cell(8, 1).header);
        QVERIFY(!sheet.cell(10, 1).header);
        QCOMPARE(sheet.cell(10, 0).type, SheetCell::Type::Number);
        QCOMPARE(sheet.cell(10, 2).type, SheetCell::Type::Text);
        QCOMPARE(sheet.cell(11, 1).type, SheetCell::Type::Empty);
        QCOMPARE(sheet.columnCount(), 4);
    }

    // Spans that would overlap end where another span begins, as a sheet cannot merge a cell
    // twice.
    void overlappingSpans()
    {
        const Sheet sheet = ReadPageSheet(
            Page("<table><tr><td>a</td><td rowspan=\"3\">b</td><td>c</td></tr>"
                 "<tr><td colspan=\"3\">d</td></tr>"
                 "<tr><td rowspan=\"2\" colspan=\"2\">e</td></tr><tr><td>f</td></tr></table>"));
        QCOMPARE(Lines(sheet), (QStringList{"a|b|c", "d", "e", "|f"}));
        // d may not run into b's column; e, two wide, stops at b as well, and f finds its place
        // beside the second row of e, where b has ended.
        QCOMPARE(Merges(sheet), QStringLiteral("0,1-2,1 2,0-3,0"));
    }

    void pagesInOtherEncodings()
    {
        const QByteArray page =
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
            "charset=windows-1251\"></head><body><table><tr><td>\xd1\xef\xf0\xe0\xe2\xea\xe0"
            "</td></tr></table></body></html>";
        QString encoding;
        const Sheet sheet = ReadPageSheet(page, &encoding);
        QCOMPARE(sheet.cell(0, 0).text, QStringLiteral("Справка"));
        QCOMPARE(encoding.toLower(), QStringLiteral("windows-1251"));
        // Broken markup is read as a browser would read it.
        const Sheet broken = ReadPageSheet("<table><tr><td>a<td>b<tr><td>c</table><p>d");
        QCOMPARE(Lines(broken), (QStringList{"a|b", "c", "d"}));
        QCOMPARE(ReadPageSheet(QByteArray()).rows.size(), 0);
    }

    void saveAsRule_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("merges");
        QTest::newRow("heading cut")
            << QByteArray("<p>Title</p><p>Save as: hint</p><table><tr><th colspan=\"2\">H</th></tr>"
                          "<tr><td>1</td><td>2</td></tr></table>")
            << 2 << QStringList{"H", "1|2"} << "0,0-0,1";
        QTest::newRow("no line: all rows kept")
            << QByteArray("<p>Title</p><table><tr><td>1</td></tr></table>") << 0
            << QStringList{"Title", "1"} << "";
        QTest::newRow("any case, any column, first one counts")
            << QByteArray("<table><tr><td>a</td><td>  please save AS  </td></tr><tr><td>Save as"
                          "</td></tr><tr><td>b</td></tr></table>")
            << 1 << QStringList{"Save as", "b"} << "";
        QTest::newRow("a span across the line is cut to the rows left")
            << QByteArray("<table><tr><td rowspan=\"3\">m</td><td>SAVE AS</td></tr><tr><td>x</td>"
                          "</tr><tr><td>y</td></tr></table>")
            << 1 << QStringList{"|x", "|y"} << "0,0-1,0";
    }
    void saveAsRule()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, removed);
        QFETCH(QStringList, lines);
        QFETCH(QString, merges);
        Sheet sheet = ReadPageSheet(Page(body));
        QCOMPARE(RemoveRowsToSaveAs(sheet), removed);
        QCOMPARE(Lines(sheet), lines);
        QCOMPARE(Merges(sheet), merges);
    }

    void fitting()
    {
        Sheet sheet = ReadPageSheet(
            Page("<table><tr><th colspan=\"2\">A very long merged heading text</th></tr>"
                 "<tr><td>short</td><td>1.500</td></tr><tr><td>a longer cell</td><td></td></tr>"
                 "<tr><td>x<br>y</td><td>15.03.2024</td></tr></table>"));
        FitColumns(sheet);
        QCOMPARE(sheet.columnWidths.size(), 2);
        // The merged heading does not count; the longest own cell does.
        QCOMPARE(sheet.columnWidths.at(0), 13 + 1.5);
        QCOMPARE(sheet.columnWidths.at(1), 10 + 1.5);
    }

    // The workbook read back from its file holds the cells, their kinds, formats and merges; its
    // numbers are written with "." on a desktop with decimal commas too.
    void workbookRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::newRow("C") << QByteArray("C");
        QTest::newRow("ru_RU") << QByteArray("ru_RU.UTF-8");
    }
    void workbookRoundTrip()
    {
        QFETCH(QByteArray, locale);
        const testing::NumericLocale numbers(locale.constData());
        if (!numbers.available())
            QSKIP("the system has no such locale");
        Sheet sheet = ReadPageSheet(Page(
            "<table><tr><th rowspan=\"2\">№</th><th colspan=\"2\">Номинал</th></tr>"
            "<tr><th>Сумма</th><th>Дата</th></tr>"
            "<tr><td>1</td><td>1.000</td><td>15.03.2024</td></tr>"
            "<tr><td>2</td><td>ПАО &quot;Ромашка&quot; &amp; Co &lt;1&gt;</td><td>a\nb</td></tr>"
            "<tr><td>53.37</td><td>66.85</td><td>9577.70</td></tr>"
            "</table>"));
        FitColumns(sheet);
        const QString path = dir_->filePath(QStringLiteral("round.xlsx"));
        SaveWorkbook(sheet, path);
        const XlsxSheet read = ReadXlsx(path);
        QVERIFY(read.ok);
        QCOMPARE(read.sheetName, QStringLiteral("Лист1"));
        QCOMPARE(read.text(QStringLiteral("A1")), QStringLiteral("№"));
        QCOMPARE(read.text(QStringLiteral("B1")), QStringLiteral("Номинал"));
        QCOMPARE(read.text(QStringLiteral("C2")), QStringLiteral("Дата"));
        QCOMPARE(read.at(QStringLiteral("A3"))->type, QStringLiteral("n"));
        QCOMPARE(read.text(QStringLiteral("B3")), QStringLiteral("1"));
        QCOMPARE(read.numberFormats.value(read.at(QStringLiteral("B3"))->style),
                 QStringLiteral("0.000"));
        QCOMPARE(read.text(QStringLiteral("C3")), QStringLiteral("45366"));
        QCOMPARE(read.numberFormats.value(read.at(QStringLiteral("C3"))->style),
                 QStringLiteral("dd.mm.yyyy"));
        QCOMPARE(read.at(QStringLiteral("B4"))->type, QStringLiteral("s"));
        QCOMPARE(read.text(QStringLiteral("B4")), QStringLiteral("ПАО \"Ромашка\" & Co <1>"));
        QCOMPARE(read.text(QStringLiteral("C4")), QStringLiteral("a b"));
        for (const auto& [ref, shown] :
             {std::pair{"A5", "53.37"}, {"B5", "66.85"}, {"C5", "9577.70"}}) {
            const testing::XlsxCell* cell = read.at(QLatin1String(ref));
            QVERIFY(cell);
            QCOMPARE(cell->type, QStringLiteral("n"));
            bool ok = false;
            const double value = cell->value.toDouble(&ok);
            QVERIFY2(ok, qPrintable(cell->value));
            QCOMPARE(QString::number(value, 'f', 2), QLatin1String(shown));
        }
        QCOMPARE(read.merges, (QStringList{"A1:A2", "B1:C1"}));
        QVERIFY(read.widths.value(2) > 20);
        // No scratch file stays beside it.
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("round.xlsx")});
    }

    // A disk that fills while the workbook is written leaves the old file as it was and no
    // scratch file, and says why.
    void fullDisk()
    {
        Sheet sheet;
        for (int r = 0; r < 3000; ++r) {
            QList<SheetCell> row;
            for (int c = 0; c < 6; ++c)
                row << ClassifyCellText(QStringLiteral("text %1 %2 %3").arg(r).arg(c).arg(r * c));
            sheet.rows << row;
        }
        const QString path = dir_->filePath(QStringLiteral("full.xlsx"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old workbook");
        }
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            filesave::IgnoreFileSizeSignal(); // as the client does where it starts
            rlimit limit{4 * 1024, 4 * 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
            int code = 0;
            try {
                SaveWorkbook(sheet, path);
                code = 10 + int(QFileInfo(path).size() / 1024);
            } catch (const Error& e) {
                code = e.description().startsWith(QStringLiteral("Не удалось ")) &&
                               e.description().contains(path)
                           ? 0
                           : 3;
            }
            _exit(code);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old workbook"));
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("full.xlsx")});
    }

    // The export writes each row as soon as it is read, beside the reading: its workbook and its
    // clipboard text are those of the page read whole, cut at its "SAVE AS" line and fitted.
    void streamedExportMatchesWholePage_data()
    {
        QTest::addColumn<QByteArray>("body");
        QByteArray rows;
        for (int i = 1; i <= 3000; ++i)
            rows += "<tr><td>" + QByteArray::number(i) + "</td><td>C" + QByteArray::number(i) +
                    "</td><td>" + (i % 7 ? "12.50" : "01.02.2024") + "</td></tr>";
        const QByteArray head = "<table><tr><th rowspan=\"2\">№</th><th colspan=\"2\">Инструмент"
                                "</th></tr><tr><th>Код</th><th>Дата</th></tr></table>";
        QTest::newRow("parts after the cut")
            << "<h1>Справочник</h1><p>hint<span> Save as</span></p>" + head +
                   "<div><table><tbody>" + rows.left(rows.size() / 2) +
                   "</tbody></table></div><div><table><tbody>" + rows.mid(rows.size() / 2) +
                   "</tbody></table></div>" + head + "<p>end</p><p></p><br><br>";
        QTest::newRow("no cut line") << head + "<table>" + rows + "</table><p>a<br>b</p>";
        QTest::newRow("cut inside a range")
            << QByteArray("<table><tr><td rowspan=\"3\">x</td><td>save as</td></tr><tr><td>y"
                          "</td></tr><tr><td>z</td></tr><tr><td colspan=\"2\">w</td></tr>"
                          "</table><p>line<br>two</p>") +
                   "<table>" + rows.left(3000) + "</table>";
        QTest::newRow("cut far down") << "<table>" + rows + "</table><p>SAVE AS</p><p>tail</p>";
        QTest::newRow("only empty rows") << QByteArray("<table><tr><td></td></tr></table><br>");
    }
    void streamedExportMatchesWholePage()
    {
        QFETCH(QByteArray, body);
        const QString page = dir_->filePath(QStringLiteral("whole.htm"));
        {
            QFile f(page);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(Page(body));
        }
        Sheet sheet = ReadPageSheetFile(page);
        const QString expectedText = SheetText(sheet);
        RemoveRowsToSaveAs(sheet);
        FitColumns(sheet);
        const QString expected = dir_->filePath(QStringLiteral("expected.xlsx"));
        SaveWorkbook(sheet, expected);
        QStringList opened;
        SetWorkbookOpener([&](const QString& path) -> bool {
            opened << path;
            return true;
        });
        const QString workbook = Exported(page, QStringLiteral("Varnel_ISSUELIST"));
        const auto parts = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? testing::ReadZip(f.readAll())
                                               : QHash<QString, QByteArray>();
        };
        const QHash<QString, QByteArray> want = parts(expected);
        const QHash<QString, QByteArray> got = parts(workbook);
        QVERIFY(!want.isEmpty());
        for (const char* part : {"xl/worksheets/sheet1.xml", "xl/styles.xml"})
            QCOMPARE(got.value(QString::fromLatin1(part)), want.value(QString::fromLatin1(part)));
        QCOMPARE(QApplication::clipboard()->mimeData()->text(), expectedText);
        QFile::remove(workbook);
        QFile::remove(expected);
    }

    // The command: clipboard, a new workbook in the user's folder for them (not the temporary
    // folder), opened; where nothing opens it, a question that names it and offers its folder.
    void exportCommand()
    {
        const QString page = dir_->filePath(QStringLiteral("page.htm"));
        {
            QFile f(page);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(Page("<h1>Справочник</h1><p>Save as: hint</p><table><tr><th>Код</th>"
                         "<th>Номинал</th></tr><tr><td>C1</td><td>1000</td></tr></table>"));
        }
        QStringList opened;
        bool busyWhileOpening = false;
        SetWorkbookOpener([&](const QString& path) -> bool {
            opened << path;
            busyWhileOpening = QApplication::overrideCursor() != nullptr;
            return true;
        });
        ScriptedDialogs dialogs;
        const QString workbook = Exported(page, QStringLiteral("Varnel_ISSUELIST"));
        QCOMPARE(opened, QStringList{workbook});
        QVERIFY(!busyWhileOpening);
        QCOMPARE(dialogs.shown().size(), 0);
        QCOMPARE(QFileInfo(workbook).absolutePath(),
                 QFileInfo(WorkbookFolder()).absoluteFilePath());
        QVERIFY(QFileInfo(workbook).fileName().startsWith(QStringLiteral("Varnel_ISSUELIST_")));
        QVERIFY(workbook.endsWith(QStringLiteral(".xlsx")));
        const XlsxSheet read = ReadXlsx(workbook);
        QCOMPARE(read.text(QStringLiteral("A1")), QStringLiteral("Код"));
        QCOMPARE(read.text(QStringLiteral("B2")), QStringLiteral("1000"));

        const QMimeData* clip = QApplication::clipboard()->mimeData();
        QVERIFY(clip->html().contains(QStringLiteral("<h1>Справочник</h1>")));
        QCOMPARE(clip->text(),
                 QStringLiteral("Справочник\nSave as: hint\nКод\tНоминал\nC1\t1000\n"));

        // A second export in the same second gets a name of its own. Nothing opens it: the
        // user is told where it is, and Yes shows its folder, No nothing more.
        QStringList asked;
        SetWorkbookOpener([&](const QString& path) {
            asked << path;
            return QFileInfo(path).isDir();
        });
        dialogs.answer(Answer::Yes);
        const QString second = Exported(page, QStringLiteral("Varnel_ISSUELIST"));
        QVERIFY(second != workbook);
        QCOMPARE(dialogs.shown().size(), 1);
        QVERIFY(dialogs.last().text.contains(second));
        QCOMPARE(asked, (QStringList{second, QFileInfo(second).absolutePath()}));
        asked.clear();
        dialogs.answer(Answer::No);
        const QString third = Exported(page, QStringLiteral("Varnel_ISSUELIST"));
        QCOMPARE(asked, QStringList{third});
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("page.htm")});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void exportFailures()
    {
        ScriptedDialogs dialogs;
        Outcome outcome = ExportPageToWorkbook(nullptr, dir_->filePath(QStringLiteral("none.htm")),
                                               QStringLiteral("x"));
        QVERIFY(outcome.failed());
        QVERIFY(outcome.failure.contains(QStringLiteral("none.htm")));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        const QString page = dir_->filePath(QStringLiteral("p.htm"));
        {
            QFile f(page);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(Page("<p>x</p>"));
        }
        // A cell of more attributes than any document of the client has (their cost to the
        // parser grows with their square) is refused with its place, and nothing is left; at the
        // bound the page is read.
        const auto cell = [](int attributes) {
            QByteArray td = "<table><tr>\n<td";
            for (int i = 0; i < attributes; ++i)
                td += " a" + QByteArray::number(i);
            return Page(td + ">x</td></tr></table>");
        };
        QCOMPARE(ReadPageSheet(cell(1024)).cell(0, 0).text, QStringLiteral("x"));
        const QString many = dir_->filePath(QStringLiteral("many.htm"));
        {
            QFile f(many);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(cell(1025));
        }
        const QStringList before = QDir(WorkbookFolder()).entryList(QDir::Files | QDir::Hidden);
        outcome = ExportPageToWorkbook(nullptr, many, QStringLiteral("x"));
        QVERIFY(outcome.failed());
        QCOMPARE(outcome.failure, QStringLiteral("Ошибка загрузки файла ") + many +
                                      QStringLiteral(": \r\nElement td has more than 1024 "
                                                     "attributes\r\nСтрока: 2, поз: 1"));
        // Stopped while it reads: cancelled, not failed, and nothing is left.
        struct Stopping final : Progress {
            void stage(const QString&, qint64) override {}
            void advance(qint64) override { asked = true; }
            bool stopRequested() const override { return asked; }
            bool asked = false;
        } stopping;
        PageExport made;
        outcome = ExportPage(PageFileSource(page), QStringLiteral("x"), stopping, &made);
        QVERIFY(outcome.cancelled());
        QVERIFY(made.workbook.isEmpty());
        QCOMPARE(QDir(WorkbookFolder()).entryList(QDir::Files | QDir::Hidden), before);
        QCOMPARE(QDir(WorkbookFolder()).entryList(QDir::Files | QDir::Hidden), before);
        SetWorkbookFolder(dir_->filePath(QStringLiteral("gone")));
        outcome = ExportPageToWorkbook(nullptr, page, QStringLiteral("x"));
        QVERIFY(outcome.failed());
        QVERIFY2(outcome.failure.startsWith(QStringLiteral("Не удалось создать файл")),
                 qPrintable(outcome.failure));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(dialogs.shown().size(), 0);
    }
};

QTEST_MAIN(SpreadsheetExportTest)
#include "tst_spreadsheetexport.moc"
