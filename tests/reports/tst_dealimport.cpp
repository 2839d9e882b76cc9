// Deals from table files into a report document with no window: the columns mapped by their
// titles, every row through the field checks, the default participant and the deal check with
// its duplicate rules, the refused rows with their reasons, the mapping the user chose kept,
// and a report of checked deals exported and imported back into the same grid, its numbers
// number cells on a desktop with decimal commas too.
#include "core/Windows1251.h"
#include "reports/DealImport.h"
#include "reports/ImportModels.h"
#include "reports/ReportDocument.h"
#include "reports/ReportExport.h"
#include "reports/ReportModel.h"
#include "reports/window/ImportDialogs.h"
#include "tests/support/TestFiles.h"
#include "tests/viewer/XlsxReader.h"

#include "ReportTestSupport.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using namespace varnel;
using namespace varnel::test;

namespace {

// Every row of a file through the import into the document, by the titles' mapping, which must
// be complete; the rows that pass are appended.
DealImport Import(ReportDocument& doc, const QString& path, const QDate& today)
{
    std::unique_ptr<TableReader> reader = OpenTableFile(path);
    TableRecord record;
    if (!reader->next(record))
        return DealImport(doc, {}, today);
    const MappingProposal proposal = ProposeMapping(doc, record.row(), today);
    DealImport import(doc, proposal.mapping, today);
    while (reader->next(record))
        import.check(record);
    return import;
}

// A table of texts, an empty text an empty cell.
class TextTable : public TableSource {
public:
    QStringList titles;
    QList<QStringList> rows;
    QStringList columnTitles() const override { return titles; }
    int rowCount() const override { return int(rows.size()); }
    void rowCells(int row, QList<TableCell>& cells) const override
    {
        for (const QString& text : rows.at(row))
            cells.append(text.isEmpty() ? TableCell::empty() : TableCell::textCell(text));
    }
};

QStringList Split(const QString& joined)
{
    return joined.split(u';');
}

// The titles of a back office's file: ten of the report's fields.
QStringList Titles()
{
    return Split(QStringLiteral("Участник;Код ЦБ;№ договора;Внутр. номер;Дата сделки;Цена ЦБ;"
                                "Количество;Валюта цены;Сумма сделки;Примечание"));
}

QString Refused(const QList<RefusedRow>& rows)
{
    QStringList lines;
    for (const RefusedRow& r : rows)
        lines << QStringLiteral("%1|%2|%3|%4").arg(r.row).arg(r.field, r.value, r.message);
    return lines.join(u'\n');
}

// The file imported into an empty report of the document's kind gives the document's grid.
void ImportsBackTheSame(const ReportDocument& doc, const QString& path, const QDate& today)
{
    ReportDocument back(doc.kind());
    QVERIFY(back.buildFromLayout().done());
    DealImport import = Import(back, path, today);
    QCOMPARE(Refused(import.refused()), QString());
    back.appendDeals(import.takeDeals());
    QCOMPARE(back.rowCount(), doc.rowCount());
    for (int r = 0; r < doc.rowCount(); ++r)
        QCOMPARE(back.rows().fieldCells(r), doc.rows().fieldCells(r));
}

} // namespace

class DealImportTest : public QObject, private ReportRun {
    Q_OBJECT

private slots:
    void init() { startRun(); }
    void cleanup() { endRun(); }

    void mapping_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("fields"); // the field each column goes to, "-" for none
        QTest::addColumn<bool>("complete");
        const QStringList all{"Participant",
                              "Issue",
                              "ISIN",
                              "RegNum",
                              "Agreement",
                              "Reference",
                              "TradeDate",
                              "SettleDate",
                              "Side",
                              "Counterparty",
                              "CounterpartyName",
                              "Price",
                              "Currency",
                              "Qty",
                              "QtyFrac",
                              "Amount",
                              "AccruedInt",
                              "SettlCurrency",
                              "SettlAmount",
                              "Settle",
                              "Block",
                              "TradePlace",
                              "Comment"};
        QStringList byName = all;
        byName[1] = QStringLiteral(" код  цб "); // a title, its case and blanks aside
        byName[2] = QStringLiteral("isin");      // a name
        QTest::newRow("every field, by title or name") << byName << all << true;
        QTest::newRow("a column that matches nothing")
            << all + QStringList{"Трейдер"} << all + QStringList{"-"} << false;
        QTest::newRow("a column without a title is not loaded")
            << all + QStringList{" "} << all + QStringList{"-"} << true;
        QStringList twice = all;
        twice << QStringLiteral("Цена ЦБ");
        QTest::newRow("two columns for one field") << twice << all + QStringList{"-"} << false;
        QStringList noPrice = all;
        noPrice.removeAt(11);
        QTest::newRow("a field without a column") << noPrice << noPrice << false;
    }
    void mapping()
    {
        QFETCH(QStringList, titles);
        QFETCH(QStringList, fields);
        QFETCH(bool, complete);
        ReportDocument doc(ReportKind::Deals);
        QVERIFY(doc.buildFromLayout().done());
        const MappingProposal proposal = ProposeMapping(doc, titles, QDate(2024, 3, 20));
        QStringList got;
        for (const int c : proposal.mapping.columns)
            got << (c > 0 ? doc.rows().column(c).name : QStringLiteral("-"));
        QCOMPARE(got, fields);
        QCOMPARE(proposal.complete, complete);

        // What the user chose is kept for this layout and these titles only.
        QVERIFY(!RememberedMapping(doc, titles));
        RememberMapping(doc, proposal.mapping);
        const std::optional<ImportMapping> kept = RememberedMapping(doc, titles);
        QVERIFY(kept);
        QCOMPARE(kept->columns, proposal.mapping.columns);
        QVERIFY(!RememberedMapping(doc, titles + QStringList{"x"}));
        ReportDocument repo(ReportKind::Repo);
        QVERIFY(repo.buildFromLayout().done());
        QVERIFY(!RememberedMapping(repo, titles));
    }

    // A back office's file: Windows-1251, semicolons, decimal commas, a few bad rows. What
    // passes is exactly what typing it would have given; what fails is listed with its reasons.
    void checks()
    {
        ReportDocument doc(ReportKind::Deals);
        QVERIFY(doc.buildFromLayout().done());
        doc.appendDeals({deal(doc, {{"Participant", "MC0001"},
                                    {"Issue", "X"},
                                    {"Reference", "R-0"},
                                    {"Price", "1"},
                                    {"Qty", "1"},
                                    {"Currency", "RUB"}})});
        doc.discardChanges();
        const QString path = folder_->work(QStringLiteral("deals.csv"));
        const QString text = QStringLiteral(
            "Участник;Код ЦБ;№ договора;Внутр. номер;Дата сделки;Цена ЦБ;Количество;Валюта "
            "цены;Сумма сделки;Примечание\r\n"
            ";SU26238;A-1;R-1;7/3/24;101,5;10;;1000,5;\"две\r\nстроки\"\r\n"
            "MC0002;SU26238;A-2;R-2;2024-03-07;0;10;RUB;;\r\n"
            "\r\n"
            "MC0002;SU26238;A-3;R-1;07.03.2024;99,125;5;RUB;;  как есть \r\n"
            "MC0002;SU26238;A-4;R-0;07.03.2024;99;5;RUB;;\r\n"
            "MC0002;;A-5;R-5;07.03.2024;99;abc;RUB;;\r\n"
            "MC0002;SU26238;A-6;;31.04.2024;-1;5;RUB;;\r\n"
            "MC0003;SU26238;A-7;R-7;07.03.2024;99;5;RUB;;\r\n");
        QVERIFY(WriteBytes(path, ToWindows1251(text, '?')));
        QSignalSpy changed(&doc, &ReportDocument::changedChanged);
        DealImport import = Import(doc, path, QDate(2024, 3, 20));
        QCOMPARE(import.records(), 7);
        QCOMPARE(import.refusedRecords(), 5);
        QCOMPARE(import.deals().size(), 2);
        const QStringList passed = import.deals().first();
        const auto cell = [&](const char* name) {
            return passed.at(doc.rows().columnOfName(QLatin1String(name)) - 1);
        };
        // The default participant as Add applies it; the layout's defaults; the formats.
        QCOMPARE(cell("Participant"), QStringLiteral("MC0001"));
        QCOMPARE(cell("TradeDate"), QStringLiteral("07.03.2024"));
        QCOMPARE(cell("SettleDate"), QStringLiteral("20.03.2024"));
        QCOMPARE(cell("Price"), QStringLiteral("101.50"));
        QCOMPARE(cell("Currency"), QStringLiteral("RUB"));
        QCOMPARE(cell("Side"), QStringLiteral("B"));
        QCOMPARE(cell("Comment"), QStringLiteral("две строки"));
        // A participant the file gives is the deal's: the default fills only an empty one.
        QCOMPARE(
            import.deals().last().at(doc.rows().columnOfName(QStringLiteral("Participant")) - 1),
            QStringLiteral("MC0003"));
        QCOMPARE(Refused(import.refused()),
                 QStringLiteral(
                     "3|Дата сделки|2024-03-07|(C10) Недопустимый формат даты: 2024-03-07\n"
                     "5|Внутр. номер|R-1|(S52) Сделка участника MC0001 с внутренним номером R-1 "
                     "уже существует в базе данных\n"
                     "6|Внутр. номер|R-0|(S52) Сделка участника MC0001 с внутренним номером R-0 "
                     "уже существует в базе данных\n"
                     "7|Количество|abc|Поле Qty должно иметь числовой формат\n"
                     "8|Дата сделки|31.04.2024|(C10) Недопустимый формат даты: 31.04.2024"));
        // Nothing is added before the caller appends; the caller appends what passed.
        QCOMPARE(doc.rowCount(), 1);
        QCOMPARE(changed.count(), 0);
        doc.appendDeals(import.takeDeals());
        QCOMPARE(doc.rowCount(), 3);
        QVERIFY(doc.isChanged());
    }

    // The user chooses columns only where the titles leave a doubt or a field the deal check
    // requires would be empty in every row; fields no column fills that have a value to pass
    // with (a default, the default participant) need no choice.
    void mappingNeeds_data()
    {
        QTest::addColumn<bool>("repo");
        QTest::addColumn<QString>("titles");
        QTest::addColumn<bool>("participant"); // a default participant in the settings
        QTest::addColumn<QString>("lacking");  // the fields no row could pass without
        const QString deals = Titles().join(u';');
        const auto without = [](QString titles, const QString& title) {
            return titles.remove(title + u';');
        };
        QTest::newRow("every title matched, the rest defaults") << false << deals << true << "";
        QTest::newRow("the default participant")
            << false << without(deals, "Участник") << true << "";
        QTest::newRow("no participant at all")
            << false << without(deals, "Участник") << false << "Participant";
        QTest::newRow("ISIN for the issue")
            << false << QString(deals).replace("Код ЦБ", "ISIN") << true << "";
        QTest::newRow("no issue, no price")
            << false << without(without(deals, "Код ЦБ"), "Цена ЦБ") << true << "Issue Price";
        QTest::newRow("the fraction for the quantity")
            << false << QString(deals).replace("Количество", "Дробн. часть") << true << "";
        QTest::newRow("no quantity") << false << without(deals, "Количество") << true << "Qty";
        QTest::newRow("no currency: its default")
            << false << without(deals, "Валюта цены") << true << "";
        const QString repo = QStringLiteral(
            "Участник;Код ЦБ;Внутр. номер;Цена 1-й ч.;Количество;Сумма 1-й ч.;Сумма 2-й ч.");
        QTest::newRow("repo, the rest defaults") << true << repo << true << "";
        QTest::newRow("repo without prices")
            << true << without(without(repo, "Цена 1-й ч."), "Сумма 1-й ч.") << true
            << "Price Amount";
    }
    void mappingNeeds()
    {
        QFETCH(bool, repo);
        QFETCH(QString, titles);
        QFETCH(bool, participant);
        QFETCH(QString, lacking);
        if (!participant) {
            folder_.reset();
            folder_ = std::make_unique<TestProgramFolder>(
                QStringList{QStringLiteral("[Main]"), QStringLiteral("Language=RU")});
        }
        ReportDocument doc(repo ? ReportKind::Repo : ReportKind::Deals);
        QVERIFY(doc.buildFromLayout().done());
        const QDate today(2024, 3, 20);
        const MappingProposal proposal = ProposeMapping(doc, Split(titles), today);
        QVERIFY(!proposal.mapping.columns.contains(0));
        const QList<FieldCheck> untouched = UntouchedFields(doc, today);
        QStringList got;
        QStringList titled;
        for (const int c : proposal.mapping.lacking(doc, untouched)) {
            got << doc.rows().column(c).name;
            titled << u'«' + doc.rows().column(c).title + u'»';
        }
        QCOMPARE(got.join(u' '), lacking);
        QCOMPARE(proposal.complete, lacking.isEmpty());

        // The column dialog says first what no row could pass without.
        UnfilledFields unfilled;
        for (const FieldCheck& field : untouched)
            unfilled.values << field.text;
        unfilled.lacking = [&](const ImportMapping& m) { return m.lacking(doc, untouched); };
        const ImportMappingModel model(doc.rows(), proposal.mapping, {}, unfilled);
        const QString first = model.unfilledText().section(u'\n', 0, 0);
        if (lacking.isEmpty())
            QVERIFY2(!first.startsWith(QStringLiteral("Без столбца")), qPrintable(first));
        else
            QCOMPARE(first,
                     QStringLiteral("Без столбца ни одна строка не пройдет проверку сделки: ") +
                         titled.join(QStringLiteral(", ")) + u'.');
    }

    // An imported deal is the deal typed with the same values: a field with a column as leaving
    // it with the file's value makes it, any other as the editor opens with it (its default in
    // its picture, today's date, the default participant). The column dialog says which fields
    // get a value and which stay empty, as the import does; and the report saved and opened
    // again shows every cell as before.
    void importedAsTyped_data()
    {
        QTest::addColumn<bool>("repo");
        QTest::addColumn<QString>("titles");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("untouched"); // name=value of the fields no column fills
        // name=value of cells that read otherwise once saved: an empty number equal to its
        // field's empty marker is left out of the file, and comes back as the field's default
        QTest::addColumn<QString>("reopened");
        QTest::newRow("deals")
            << false << Titles().join(u';') << ";SU26238;A-1;R-1;7/3/24;101,5;10;USD;1015;как есть"
            << "ISIN=;RegNum=;SettleDate=20.03.2024;Side=B;Counterparty=;CounterpartyName=;"
               "QtyFrac=;AccruedInt=0.00;SettlCurrency=RUB;SettlAmount=;Settle=1;Block=0;"
               "TradePlace=OTC"
            << "";
        QTest::newRow("deals, empty cells for fields with defaults")
            << false
            << "Участник;ISIN;Цена ЦБ;Количество;Валюта цены;НКД;Блокировка;Место сделки;"
               "Дата сделки;Направление"
            << "MC0002;RU000A0JX0J2;99;5;;;;;;S"
            << "Issue=;RegNum=;Agreement=;Reference=;SettleDate=20.03.2024;Counterparty=;"
               "CounterpartyName=;QtyFrac=;Amount=;SettlCurrency=RUB;SettlAmount=;Settle=1;"
               "Comment="
            << "AccruedInt=0.00;Block=0";
        QTest::newRow("repo")
            << true
            << "Участник;Код ЦБ;Внутр. номер;Цена 1-й ч.;Количество;Сумма 1-й ч.;Сумма 2-й ч."
            << "MC0002;SU26238;R-1;99,5;10;995;1000,5"
            << "Agreement=;TradeDate=20.03.2024;Side=B;Counterparty=;QtyFrac=0;Currency=RUB;"
               "SettleDate1=20.03.2024;RepoDays=0;SettleDate2=20.03.2024;RepoRate=0.00;"
               "SettlCurrency=RUB;AccruedInt=0.00;Discount=0.00;Settle=1;Comment="
            << "";
    }
    void importedAsTyped()
    {
        QFETCH(bool, repo);
        QFETCH(QString, titles);
        QFETCH(QString, values);
        QFETCH(QString, untouched);
        QFETCH(QString, reopened);
        const ReportKind kind = repo ? ReportKind::Repo : ReportKind::Deals;
        ReportDocument doc(kind);
        QVERIFY(doc.buildFromLayout().done());
        const QDate today(2024, 3, 20);
        const auto byName = [](const QString& pairs) {
            QHash<QString, QString> values;
            for (const QString& pair : Split(pairs)) {
                if (!pair.isEmpty())
                    values.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
            }
            return values;
        };
        const QHash<QString, QString> opened = byName(untouched);
        const QStringList fileTitles = Split(titles);
        const QStringList fileValues = Split(values);
        const MappingProposal proposal = ProposeMapping(doc, fileTitles, today);
        QVERIFY(proposal.complete);

        // The deal typed: each field with a column left with the file's value, the others
        // left as they opened; the add puts in the default participant.
        QStringList typed(doc.rows().columnCount() - 1);
        for (int c = 1; c < doc.rows().columnCount(); ++c) {
            const QString name = doc.rows().column(c).name;
            const int i = int(proposal.mapping.columns.indexOf(c));
            QVERIFY2((i < 0) == opened.contains(name), qPrintable(name));
            if (i < 0) {
                typed[c - 1] = opened.value(name);
                continue;
            }
            const FieldCheck check = doc.checkField(c, fileValues.at(i), today);
            QVERIFY2(check.passed(), qPrintable(check.failure));
            typed[c - 1] = check.text;
        }
        const int participant = doc.rows().columnOfName(QStringLiteral("Participant"));
        if (typed.at(participant - 1).isEmpty())
            typed[participant - 1] = QStringLiteral("MC0001");

        DealImport import(doc, proposal.mapping, today);
        TableRecord record;
        record.number = 2;
        record.cells = fileValues;
        import.check(record);
        QCOMPARE(Refused(import.refused()), QString());
        QCOMPARE(import.deals().size(), 1);
        const QStringList imported = import.deals().first();
        for (int c = 1; c < doc.rows().columnCount(); ++c)
            QCOMPARE(doc.rows().column(c).name + u'=' + imported.at(c - 1),
                     doc.rows().column(c).name + u'=' + typed.at(c - 1));

        // What the column dialog says of the fields no column fills.
        QStringList untouchedTexts;
        for (const FieldCheck& field : UntouchedFields(doc, today))
            untouchedTexts << field.text;
        const ImportMappingModel model(doc.rows(), proposal.mapping, {}, {untouchedTexts, {}});
        const QStringList lines = model.unfilledText().split(u'\n');
        const QString defaults =
            QStringLiteral("Поля без столбца загрузятся со значением по умолчанию: ");
        const QString empty = QStringLiteral("Поля без столбца загрузятся пустыми: ");
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(defaults));
        QVERIFY(lines.at(1).startsWith(empty));
        for (const int c : proposal.mapping.unfilled(doc.rows())) {
            const QString title = u'«' + doc.rows().column(c).title + u'»';
            const QString cell = imported.at(c - 1);
            const QString said = cell.isEmpty() ? title : title + QStringLiteral(" — ") + cell;
            QVERIFY2(lines.at(cell.isEmpty() ? 1 : 0).contains(said + u',') ||
                         lines.at(cell.isEmpty() ? 1 : 0).endsWith(said + u'.'),
                     qPrintable(said));
        }

        // Saved and opened again: the same cells.
        doc.appendDeals(import.takeDeals());
        const QString path = folder_->work(QStringLiteral("imported.xml"));
        QVERIFY(doc.saveAs(path).done());
        ReportDocument back(kind);
        QVERIFY(back.buildFromLayout().done());
        QVERIFY(back.load(path).done());
        QCOMPARE(back.rowCount(), 1);
        QStringList saved = doc.rows().fieldCells(0);
        const QHash<QString, QString> changed = byName(reopened);
        for (auto it = changed.begin(); it != changed.end(); ++it)
            saved[doc.rows().columnOfName(it.key()) - 1] = it.value();
        QCOMPARE(back.rows().fieldCells(0), saved);
    }

    // A row is named by its number as a spreadsheet shows the file, empty rows and rows absent
    // from a sheet counted; cells left empty in the middle of a row (the sheet keeps no cell
    // there) go to no field.
    void workbookRows_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("workbook") << QStringLiteral("deals.xlsx");
        QTest::newRow("CSV") << QStringLiteral("deals.csv");
    }
    void workbookRows()
    {
        QFETCH(QString, name);
        ReportDocument doc(ReportKind::Deals);
        QVERIFY(doc.buildFromLayout().done());
        const QString path = folder_->work(name);
        TextTable table;
        table.titles = Titles();
        table.rows = {Split(";SU26238;;R-1;07.03.2024;101.5;10;RUB;;=1+1"), QStringList(10),
                      QStringList(10), Split("MC0002;SU26238;A-3;R-3;31.04.2024;99;5;RUB;;")};
        WriteTableFile(path, table, TableFormatOfPath(path));
        DealImport import = Import(doc, path, QDate(2024, 3, 20));
        QCOMPARE(import.records(), 2);
        QCOMPARE(
            Refused(import.refused()),
            QStringLiteral("5|Дата сделки|31.04.2024|(C10) Недопустимый формат даты: 31.04.2024"));
        QCOMPARE(import.deals().size(), 1);
        const QStringList passed = import.deals().first();
        const auto cell = [&](const char* name) {
            return passed.at(doc.rows().columnOfName(QLatin1String(name)) - 1);
        };
        QCOMPARE(cell("Agreement"), QString());
        QCOMPARE(cell("Reference"), QStringLiteral("R-1"));
        QCOMPARE(cell("Comment"), QStringLiteral("=1+1"));
    }

    // The list keeps the lines of the first 10,000 refused rows and says how many there were;
    // the counts stay exact.
    void refusedListBound()
    {
        ReportDocument doc(ReportKind::Deals);
        QVERIFY(doc.buildFromLayout().done());
        const QDate today(2024, 3, 20);
        DealImport import(doc, ProposeMapping(doc, Titles(), today).mapping, today);
        TableRecord record;
        const auto refuseRow = [&](int number) {
            record.number = number;
            record.cells =
                Split(QStringLiteral("MC0002;SU26238;A;R-%1;31.04.2024;99;5;RUB;;").arg(number));
            import.check(record);
        };
        for (int number = 2; number <= kRefusedListRows + 1; ++number)
            refuseRow(number);
        QCOMPARE(import.refusedRecords(), kRefusedListRows);
        QCOMPARE(import.refused().size(), kRefusedListRows);
        QCOMPARE(import.refused().last().row, kRefusedListRows + 1);
        QCOMPARE(RefusedListNote(import.refusedRecords()), QString());

        refuseRow(kRefusedListRows + 2);
        QCOMPARE(import.refused().size(), kRefusedListRows);
        QCOMPARE(import.refused().last().row, kRefusedListRows + 1);
        QCOMPARE(
            ImportStatusText(int(import.deals().size()), import.records(), import.refusedRecords()),
            QStringLiteral("Загружено 0 из 10001, отклонено 10001"));
        RefusedRowsModel model(import.refused());
        const QString summary = QStringLiteral("Загружено 0 из 10001, отклонено 10001");
        dlgImportResult dialog(model, summary, import.refusedRecords());
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblSummary"))->text(),
                 summary + QStringLiteral(". Отклоненные строки не добавлены (показаны первые "
                                          "10000 из 10001):"));
        dlgImportResult whole(model, summary, kRefusedListRows);
        QCOMPARE(whole.findChild<QLabel*>(QStringLiteral("lblSummary"))->text(),
                 summary + QStringLiteral(". Отклоненные строки не добавлены:"));
    }

    // A report of checked deals written as a workbook or a CSV file and imported into an empty
    // report of its kind gives the same grid.
    void exportedAndImported_data()
    {
        QTest::addColumn<bool>("repo");
        QTest::addColumn<QString>("name");
        for (const bool repo : {false, true}) {
            for (const char* name : {"report.xlsx", "report.csv"})
                QTest::addRow("%s, %s", repo ? "repo" : "deals", name)
                    << repo << QString::fromLatin1(name);
        }
    }
    void exportedAndImported()
    {
        QFETCH(bool, repo);
        QFETCH(QString, name);
        const ReportKind kind = repo ? ReportKind::Repo : ReportKind::Deals;
        ReportDocument doc(kind);
        QVERIFY(doc.buildFromLayout().done());
        const QDate today(2024, 3, 20);
        // Comments a spreadsheet would take for formulas come back as typed.
        const QStringList comments{QStringLiteral("  «кавычки» и ; "),
                                   QString(),
                                   QStringLiteral("=HYPERLINK(\"http://x.example\";\"y\")"),
                                   QStringLiteral("-1"),
                                   QStringLiteral("'=1+1"),
                                   QStringLiteral("@SUM(A1)"),
                                   QString()};
        for (int i = 0; i < 40; ++i) {
            QStringList fields(doc.rows().columnCount() - 1);
            const QHash<QString, QString> typed{
                {"Participant", "MC0001"},
                {"Issue", "SU26238RMFS4"},
                {"Agreement", i % 3 ? QStringLiteral("A;\"%1\"").arg(i) : QString()},
                {"Reference", QStringLiteral("00%1").arg(i)},
                {"TradeDate", QStringLiteral("%1.3.24").arg(1 + i % 28)},
                {"SettleDate1", "1.4.24"},
                {"SettleDate2", "1.5.24"},
                {"Price",
                 i % 2 ? QStringLiteral("12345678901234,1234567891") : QStringLiteral("101.5")},
                {"Qty", QString::number(1000 + i)},
                {"QtyFrac", i % 4 ? QStringLiteral("0") : QStringLiteral("0.25")},
                {"Amount", QStringLiteral("1234567.8")},
                {"RepurchaseAmount", "1250000"},
                {"RepoDays", "30"},
                {"RepoRate", "7.125"},
                {"Comment", comments.at(i % comments.size())}};
            for (int c = 1; c < doc.rows().columnCount(); ++c)
                fields[c - 1] =
                    doc.checkField(c, typed.value(doc.rows().column(c).name), today).text;
            QVERIFY2(doc.addDeal(fields).done(), qPrintable(doc.addDeal(fields).failure));
        }
        doc.discardChanges();
        const QString path = folder_->work(name);
        const TableFormat format = TableFormatOfPath(path);
        WriteTableFile(path, ReportExportTable(doc.rows(), kind, format), format);
        QVERIFY(!doc.isChanged());

        ImportsBackTheSame(doc, path, today);
    }

    // On a desktop whose numbers have a decimal comma, as in the C locale: every number of a
    // number field is a number cell of the workbook, written with ".", that a spreadsheet shows
    // as the decimal typed (66.85, not 66.84999999999999), and the workbook imports back into
    // the same grid.
    void numbersInWorkbook_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::newRow("C") << QByteArray("C");
        QTest::newRow("ru_RU") << QByteArray("ru_RU.UTF-8");
    }
    void numbersInWorkbook()
    {
        QFETCH(QByteArray, locale);
        const testing::NumericLocale numbers(locale.constData());
        if (!numbers.available())
            QSKIP("the system has no such locale");
        ReportDocument doc(ReportKind::Deals);
        QVERIFY(doc.buildFromLayout().done());
        const QDate today(2024, 3, 20);
        const QStringList values{"53.37", "66.85", "9577.70", "0.50", "1500.00"};
        const QStringList numberFields{"Price", "Amount", "AccruedInt", "SettlAmount"};
        for (int i = 0; i < values.size(); ++i) {
            QHash<QString, QString> typed{{"Participant", "MC0001"},
                                          {"Issue", "SU26238RMFS4"},
                                          {"Reference", QStringLiteral("R-%1").arg(i)},
                                          {"Qty", "10"},
                                          {"Currency", "RUB"}};
            for (int f = 0; f < numberFields.size(); ++f)
                typed.insert(numberFields.at(f), values.at((i + f) % values.size()));
            QStringList fields(doc.rows().columnCount() - 1);
            for (int c = 1; c < doc.rows().columnCount(); ++c)
                fields[c - 1] =
                    doc.checkField(c, typed.value(doc.rows().column(c).name), today).text;
            QVERIFY2(doc.addDeal(fields).done(), qPrintable(doc.addDeal(fields).failure));
        }
        const QString path = folder_->work(QStringLiteral("numbers.xlsx"));
        WriteTableFile(path,
                       ReportExportTable(doc.rows(), ReportKind::Deals, TableFormat::Workbook),
                       TableFormat::Workbook);

        const testing::XlsxSheet sheet = testing::ReadXlsx(path);
        QVERIFY(sheet.ok);
        QStringList wrong;
        int numberCells = 0;
        for (const QString& name : numberFields) {
            const int c = doc.rows().columnOfName(name);
            const QChar letter(u'A' + c - 1);
            for (int r = 0; r < doc.rowCount(); ++r) {
                const QString typed = doc.rows().fieldCells(r).at(c - 1);
                const QString ref = letter + QString::number(r + 2);
                const testing::XlsxCell* cell = sheet.at(ref);
                bool ok = false;
                const double value = cell ? cell->value.toDouble(&ok) : 0;
                const int decimals = int(typed.size() - typed.indexOf(u'.') - 1);
                if (cell && cell->type == u"n" && ok &&
                    QString::number(value, 'f', decimals) == typed)
                    ++numberCells;
                else
                    wrong << ref + u'=' + (cell ? cell->type + u':' + cell->value : QString());
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u' ')));
        QCOMPARE(numberCells, 20);
        // The fitted column widths are numbers too.
        QCOMPARE(sheet.widths.size(), doc.rows().columnCount() - 1);
        for (const double width : sheet.widths)
            QVERIFY(width >= 6);

        ImportsBackTheSame(doc, path, today);
    }
};

QTEST_MAIN(DealImportTest)
#include "tst_dealimport.moc"
