// The workbooks the client writes, opened by a real spreadsheet program: the report export and
// the handbook export converted by LibreOffice Calc (headless, to its flat XML file, which keeps
// each cell's type and value) in the C locale and in ru_RU.UTF-8. Numbers must be number cells
// with every digit, dates date cells, texts text cells, whatever the locale of the program that
// wrote the workbook or of the one that reads it.
#include "answers/IncomingMessage.h"
#include "core/AppContext.h"
#include "core/TempFiles.h"
#include "reports/ReportDocument.h"
#include "reports/ReportExport.h"
#include "reports/ReportModel.h"
#include "tables/TableWriter.h"
#include "tools/HandbookGenerator.h"
#include "viewer/SpreadsheetExport.h"
#include "viewer/XslTransform.h"

#include "tests/reports/ReportTestSupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <clocale>

using namespace varnel;
using namespace varnel::test;

namespace {

// A cell as the spreadsheet program took it.
struct CalcCell {
    QString type; // "float", "date", "string", or empty
    QString value;
};

using CalcSheet = QList<QList<CalcCell>>;

// The first table of a flat spreadsheet file, repeated cells and rows spelt out (trailing empty
// ones left out).
CalcSheet ReadFlatSheet(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    CalcSheet sheet;
    int tables = 0;
    CalcCell cell;
    int repeat = 1;
    bool inCell = false;
    while (!xml.atEnd()) {
        xml.readNext();
        const auto name = xml.name();
        if (xml.isStartElement()) {
            if (name == u"table" && ++tables > 1)
                break;
            if (name == u"table-row") {
                sheet.append(QList<CalcCell>());
            } else if (name == u"table-cell" || name == u"covered-table-cell") {
                const QXmlStreamAttributes a = xml.attributes();
                cell = CalcCell{a.value(QStringLiteral("office:value-type")).toString(), QString()};
                if (cell.type == u"float")
                    cell.value = a.value(QStringLiteral("office:value")).toString();
                else if (cell.type == u"date")
                    cell.value = a.value(QStringLiteral("office:date-value")).toString().left(10);
                const auto repeated = a.value(QStringLiteral("table:number-columns-repeated"));
                repeat = repeated.isEmpty() ? 1 : qMin(repeated.toInt(), 64);
                inCell = true;
            } else if (name == u"p" && inCell && cell.type == u"string") {
                if (!cell.value.isEmpty())
                    cell.value += u'\n';
                cell.value += xml.readElementText(QXmlStreamReader::IncludeChildElements);
            }
        } else if (xml.isEndElement() && (name == u"table-cell" || name == u"covered-table-cell") &&
                   inCell) {
            for (int i = 0; i < repeat && !sheet.isEmpty(); ++i)
                sheet.last().append(cell);
            inCell = false;
        }
    }
    for (QList<CalcCell>& row : sheet) {
        while (!row.isEmpty() && row.last().type.isEmpty())
            row.removeLast();
    }
    while (!sheet.isEmpty() && sheet.last().isEmpty())
        sheet.removeLast();
    return sheet;
}

// Converts the workbooks with LibreOffice Calc run in the locale given; the flat files land in
// outDir under the workbooks' base names.
bool ConvertWithCalc(const QString& office, const QStringList& workbooks, const QString& outDir,
                     const QString& locale, QString* output)
{
    QProcess calc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    calc.setProcessEnvironment(env);
    calc.setProcessChannelMode(QProcess::MergedChannels);
    // A profile of its own, so that a running office does not take the conversion over.
    calc.start(office, QStringList{QStringLiteral("-env:UserInstallation=file://") + outDir +
                                       QStringLiteral("/profile"),
                                   QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                                   QStringLiteral("fods"), QStringLiteral("--outdir"), outDir} +
                           workbooks);
    const bool done = calc.waitForFinished(240000);
    *output = QString::fromLocal8Bit(calc.readAll());
    return done && calc.exitStatus() == QProcess::NormalExit;
}

// A decimal as the spreadsheet should hold it: the same number, read with 15 significant digits.
bool SameNumber(const QString& calc, const QString& decimal)
{
    bool a = false;
    bool b = false;
    const double x = calc.toDouble(&a);
    const double y = decimal.toDouble(&b);
    return a && b && QString::number(x, 'g', 15) == QString::number(y, 'g', 15);
}

QString Describe(const CalcCell& c)
{
    return c.type + u':' + c.value;
}

} // namespace

class WorkbookCalcTest : public QObject, private ReportRun {
    Q_OBJECT

private:
    QString office_;
    std::unique_ptr<QTemporaryDir> dir_;

    // A deal report of five deals whose amounts do not all fit binary numbers exactly, exported
    // as a workbook; the grid comes back in *grid.
    QString reportWorkbook(QList<QStringList>* grid, QList<ReportColumn>* columns)
    {
        ReportDocument doc(ReportKind::Deals);
        if (!doc.buildFromLayout().done())
            return {};
        const QDate today(2026, 12, 8);
        const QStringList prices{"53.37", "66.85", "9577.70", "0.50", "1500.00"};
        for (int i = 0; i < prices.size(); ++i) {
            const QHash<QString, QString> typed{
                {"Participant", "MC0001200000"},
                {"Issue", "SU26238RMFS4"},
                {"ISIN", "RU000A1038V6"},
                {"Reference", QStringLiteral("0%1").arg(i + 1)},
                {"TradeDate", QStringLiteral("0%1.12.2026").arg(i + 1)},
                {"SettleDate", QStringLiteral("1%1.12.2026").arg(i)},
                {"Side", i % 2 ? "S" : "B"},
                {"Price", prices[i]},
                {"Currency", "RUB"},
                {"Qty", QStringLiteral("1%1").arg(i)},
                {"Amount", prices[(i + 1) % prices.size()]},
                {"AccruedInt", prices[(i + 2) % prices.size()]},
                {"SettlAmount", prices[(i + 3) % prices.size()]},
                {"Comment", i ? QStringLiteral("сделка %1").arg(i) : QStringLiteral("=1+1")}};
            QStringList fields(doc.rows().columnCount() - 1);
            for (int c = 1; c < doc.rows().columnCount(); ++c)
                fields[c - 1] =
                    doc.checkField(c, typed.value(doc.rows().column(c).name), today).text;
            const QString failed = doc.addDeal(fields).failure;
            if (!failed.isEmpty()) {
                qWarning("%s", qPrintable(failed));
                return {};
            }
        }
        doc.discardChanges();
        for (int r = 0; r < doc.rowCount(); ++r)
            grid->append(doc.rows().fieldCells(r));
        *columns = doc.rows().columns().mid(1);
        const QString path = dir_->filePath(QStringLiteral("report.xlsx"));
        WriteTableFile(path,
                       ReportExportTable(doc.rows(), ReportKind::Deals, TableFormat::Workbook),
                       TableFormat::Workbook);
        return path;
    }

    // The handbook page of a generated handbook through the shipped stylesheet, exported as the
    // viewer exports it; the sheet written comes back in *sheet.
    QString handbookWorkbook(Sheet* sheet)
    {
        tools::HandbookOptions options;
        options.instruments = 40;
        QByteArray text = tools::GenerateHandbook(options);
        // The stylesheet beside the message, where a message's own may be read from.
        const QString xsl = dir_->filePath(QStringLiteral("issue_list.xsl"));
        if (!QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/xsl/issue_list.xsl"), xsl) ||
            !AttachStylesheet(text, "<ISSUELIST", xsl)) {
            qWarning("the stylesheet could not be attached");
            return {};
        }
        const QString message = dir_->filePath(QStringLiteral("IL.msg"));
        QFile file(message);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return {};
        file.close();
        const ViewerPage page = RenderXmlPage(message, dir_->path());
        if (!page.notice.isEmpty()) {
            qWarning("%s", qPrintable(page.notice));
            return {};
        }
        *sheet = ReadPageSheet(page.html);
        RemoveRowsToSaveAs(*sheet);
        FitColumns(*sheet);
        const QString path = dir_->filePath(QStringLiteral("handbook.xlsx"));
        SaveWorkbook(*sheet, path);
        return path;
    }

private slots:
    void initTestCase()
    {
        office_ = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (office_.isEmpty())
            QSKIP("LibreOffice Calc (soffice) is not installed: tools/install-deps.sh brings it");
    }
    void init()
    {
        startRun();
        dir_ = std::make_unique<QTemporaryDir>();
        SetTemporaryFolder(dir_->path());
    }
    void cleanup()
    {
        SetTemporaryFolder(QString());
        dir_.reset();
        endRun();
        std::setlocale(LC_NUMERIC, "C");
    }

    // Written by a client running in the locale of the row, read by Calc running in the same.
    void numbersDatesAndTexts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << QStringLiteral("C.UTF-8");
        QTest::newRow("ru_RU") << QStringLiteral("ru_RU.UTF-8");
    }
    void numbersDatesAndTexts()
    {
        QFETCH(QString, locale);
        // The writer's C library as the desktop's application object sets it from the
        // environment; the client's start then makes its numbers its own again.
        if (!std::setlocale(LC_ALL, locale.toLatin1().constData()))
            QSKIP("the locale is not generated here");

        QList<QStringList> grid;
        QList<ReportColumn> columns;
        const QString report = reportWorkbook(&grid, &columns);
        QVERIFY(!report.isEmpty());
        Sheet expected;
        const QString handbook = handbookWorkbook(&expected);
        QVERIFY(!handbook.isEmpty());

        QString output;
        QVERIFY2(ConvertWithCalc(office_, {report, handbook}, dir_->path(), locale, &output),
                 qPrintable(output));
        const CalcSheet reportCalc = ReadFlatSheet(dir_->filePath(QStringLiteral("report.fods")));
        const CalcSheet handbookCalc =
            ReadFlatSheet(dir_->filePath(QStringLiteral("handbook.fods")));
        QVERIFY2(!reportCalc.isEmpty(), qPrintable(output));
        QVERIFY2(!handbookCalc.isEmpty(), qPrintable(output));

        // The report: the titles, then each deal cell for cell by its field's type.
        QCOMPARE(reportCalc.size(), grid.size() + 1);
        int numbers = 0;
        for (int r = 0; r < grid.size(); ++r) {
            const QList<CalcCell>& row = reportCalc[r + 1];
            for (int c = 0; c < columns.size(); ++c) {
                const QString value = grid[r].value(c);
                const CalcCell cell = row.value(c);
                const QString where = QStringLiteral("deal %1, %2 %3: %4")
                                          .arg(r + 1)
                                          .arg(columns[c].name, value, Describe(cell));
                if (value.isEmpty()) {
                    QVERIFY2(cell.type.isEmpty(), qPrintable(where));
                } else if (columns[c].type == u"N") {
                    QVERIFY2(cell.type == u"float" && SameNumber(cell.value, value),
                             qPrintable(where));
                    ++numbers;
                } else if (columns[c].type == u"D") {
                    const QDate date = QDate::fromString(value, QStringLiteral("dd.MM.yyyy"));
                    QVERIFY2(cell.type == u"date" &&
                                 cell.value == date.toString(QStringLiteral("yyyy-MM-dd")),
                             qPrintable(where));
                } else {
                    QVERIFY2(cell.type == u"string" && cell.value == value, qPrintable(where));
                }
            }
        }
        QVERIFY(numbers >= 20);

        // The handbook page: each cell as the export classified it.
        QCOMPARE(handbookCalc.size(), expected.rows.size());
        int handbookNumbers = 0;
        for (int r = 0; r < expected.rows.size(); ++r) {
            for (int c = 0; c < expected.rows[r].size(); ++c) {
                const SheetCell& want = expected.rows[r][c];
                const CalcCell cell = handbookCalc[r].value(c);
                const QString where = QStringLiteral("row %1, column %2 %3: %4")
                                          .arg(r + 1)
                                          .arg(c + 1)
                                          .arg(want.text, Describe(cell));
                switch (want.type) {
                case SheetCell::Type::Number:
                    QVERIFY2(cell.type == u"float" &&
                                 SameNumber(cell.value, QString::number(want.value, 'g', 17)),
                             qPrintable(where));
                    ++handbookNumbers;
                    break;
                case SheetCell::Type::Date:
                    QVERIFY2(cell.type == u"date", qPrintable(where));
                    break;
                case SheetCell::Type::Text:
                    QVERIFY2(cell.type == u"string" && cell.value == want.text, qPrintable(where));
                    break;
                case SheetCell::Type::Empty: break;
                }
            }
        }
        QVERIFY(handbookNumbers > 0);
    }
};

QTEST_MAIN(WorkbookCalcTest)
#include "tst_workbookcalc.moc"
