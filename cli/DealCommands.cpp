// check and send: the deals of a table file or a report file through exactly what the report
// window's import puts them through, and the request the window's Send writes of them.
#include "cli/Commands.h"
#include "cli/RequestWait.h"
#include "messages/DocumentWriters.h"
#include "messages/RequestKinds.h"
#include "messages/SendPipeline.h"
#include "reconcile/Reconcile.h"
#include "reports/DealImport.h"
#include "reports/ImportFlow.h"
#include "reports/ReportDocument.h"
#include "reports/ReportFile.h"
#include "reports/ReportModel.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <memory>

namespace varnel::cli {
namespace {

// The deals of a file after the checks, in a report of the kind.
struct CheckedFile {
    std::unique_ptr<ReportDocument> document;
    QList<QStringList> deals;
    QList<RefusedRow> refused;
    int records = 0;
    int refusedRecords = 0;
};

std::optional<ReportKind> kindOf(const Arguments& arguments)
{
    const QString kind = arguments.value(QStringLiteral("kind"));
    if (kind == u"deals")
        return ReportKind::Deals;
    if (kind == u"repo")
        return ReportKind::Repo;
    Say(arguments.has(QStringLiteral("kind"))
            ? QStringLiteral("--kind: deals или repo, а не ") + kind
            : QStringLiteral("не задан вид отчета: --kind deals или --kind repo"));
    return std::nullopt;
}

// The --map options; false (said) when one is no TITLE=FIELD.
bool mappingChoices(const Arguments& arguments, QList<MappingChoice>& choices)
{
    for (const QString& map : arguments.values(QStringLiteral("map"))) {
        const qsizetype equals = map.indexOf(u'=');
        if (equals <= 0) {
            Say(QStringLiteral("--map: нужно ЗАГОЛОВОК=ПОЛЕ, а не ") + map);
            return false;
        }
        choices.append({map.left(equals), map.mid(equals + 1)});
    }
    return true;
}

// A report file is an XML document; a table file is anything else (OpenTableFile tells CSV
// from a workbook by what it holds).
bool isReportFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray head = file.read(512);
    if (head.startsWith("\xEF\xBB\xBF"))
        head.remove(0, 3);
    return head.trimmed().startsWith('<');
}

Outcome checkTable(CheckedFile& checked, const QString& path, const QList<MappingChoice>& choices,
                   Progress& progress)
{
    ImportRun run(*checked.document);
    Outcome outcome = run.open(path, progress);
    if (!outcome.done())
        return outcome;
    std::optional<ImportMapping> mapping;
    if (choices.isEmpty())
        mapping = run.settledMapping();
    if (!mapping) {
        ImportMapping chosen;
        outcome = ChooseMapping(*checked.document, run.titles(), choices, run.today(), chosen);
        if (!outcome.done())
            return Outcome::Failed(QFileInfo(path).fileName() + QStringLiteral(": ") +
                                   outcome.failure +
                                   QStringLiteral(" (сопоставьте столбцы: --map ЗАГОЛОВОК=ПОЛЕ)"));
        mapping = std::move(chosen);
    }
    run.start(*mapping);
    outcome = run.check(progress);
    if (!outcome.done())
        return outcome;
    DealImport& import = run.result();
    checked.deals = import.takeDeals();
    checked.refused = import.refused();
    checked.records = import.records();
    checked.refusedRecords = import.refusedRecords();
    return Outcome::Done();
}

// The deals of a report file, each through the same checks as a row of a table whose columns
// are the report's fields; a deal's row is its number in the report.
Outcome checkReport(CheckedFile& checked, const QString& path, Progress& progress)
{
    const ReportModel& rows = checked.document->rows();
    QList<QStringList> deals;
    const Outcome outcome = Trapping([&] {
        progress.stage(QStringLiteral("Чтение файла ") + QFileInfo(path).fileName());
        deals = ReadReportRows(path, rows.columns());
    });
    if (!outcome.done())
        return outcome;
    ImportMapping mapping;
    for (int c = 1; c < rows.columnCount(); ++c) {
        mapping.titles << rows.column(c).name;
        mapping.columns << c;
    }
    DealImport import(*checked.document, mapping, QDate::currentDate());
    TableRecord record;
    for (qsizetype i = 0; i < deals.size(); ++i) {
        record.number = int(i + 1);
        record.cells = deals.at(i).mid(1);
        import.check(record);
    }
    checked.deals = import.takeDeals();
    checked.refused = import.refused();
    checked.records = import.records();
    checked.refusedRecords = import.refusedRecords();
    return Outcome::Done();
}

// The kind, the one file of deals and the mapping choices a command over one file is given;
// false (said) when any of them is wrong.
bool oneFileOfDeals(const Arguments& arguments, std::optional<ReportKind>& kind,
                    QList<MappingChoice>& choices)
{
    kind = kindOf(arguments);
    if (!kind)
        return false;
    if (arguments.positional().size() != 1) {
        Say(QStringLiteral("нужен один файл сделок"));
        return false;
    }
    return mappingChoices(arguments, choices);
}

// Reads and checks the one file the command names. Returns the exit status of a failure.
std::optional<int> checkFile(const CommandContext& context, CheckedFile& checked)
{
    const Arguments& arguments = context.arguments;
    std::optional<ReportKind> kind;
    QList<MappingChoice> choices;
    if (!oneFileOfDeals(arguments, kind, choices))
        return kExitFailure;
    const QString path = arguments.positional().first();

    checked.document = std::make_unique<ReportDocument>(*kind);
    Outcome outcome = checked.document->buildFromLayout();
    if (outcome.done()) {
        TerminalProgress progress;
        if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable())
            outcome = Outcome::Failed(QStringLiteral("Не удается прочитать файл ") + path);
        else if (isReportFile(path))
            outcome = checkReport(checked, path, progress);
        else
            outcome = checkTable(checked, path, choices, progress);
    }
    if (!outcome.done()) {
        if (outcome.failed())
            Say(outcome.failure);
        return kExitFailure;
    }
    Say(ImportStatusText(int(checked.deals.size()), checked.records, checked.refusedRecords));
    if (checked.refusedRecords > checked.refused.size())
        Say(RefusedListNote(checked.refusedRecords));
    return std::nullopt;
}

void printRefused(const CommandContext& context, const QList<RefusedRow>& refused)
{
    const RefusedRowsTable table(refused);
    const QStringList titles = table.columnTitles();
    static const char* const keys[] = {"row", "field", "value", "error"};
    QList<OutputColumn> columns;
    for (int c = 0; c < titles.size(); ++c)
        columns.append({QString::fromLatin1(keys[c]), titles.at(c)});
    Output out(context.json, columns);
    QList<TableCell> cells;
    for (int r = 0; r < table.rowCount(); ++r) {
        cells.clear();
        table.rowCells(r, cells);
        out.row(cells);
    }
    out.finish();
}

} // namespace

int RunCheck(const CommandContext& context)
{
    CheckedFile checked;
    if (const std::optional<int> failure = checkFile(context, checked))
        return *failure;
    printRefused(context, checked.refused);
    return checked.refusedRecords > 0 ? kExitRefused : kExitDone;
}

int RunSend(const CommandContext& context)
{
    const Arguments& arguments = context.arguments;
    CheckedFile checked;
    if (const std::optional<int> failure = checkFile(context, checked))
        return *failure;
    const bool someRefused = checked.refusedRecords > 0;
    for (const RefusedRow& row : checked.refused)
        Say(QStringLiteral("строка %1, %2 «%3»: %4")
                .arg(row.row)
                .arg(row.field, row.value, row.message));
    if (someRefused && !arguments.has(QStringLiteral("skip-refused"))) {
        Say(QStringLiteral("Есть отклоненные строки: запрос не отправлен (--skip-refused "
                           "отправит остальные)"));
        return kExitRefused;
    }
    if (checked.deals.isEmpty()) {
        Say(QStringLiteral("Нет сделок для отправки: запрос не отправлен"));
        return kExitRefused;
    }

    // The deals become a report, and the report the request the window's Send writes of it.
    ReportDocument& document = *checked.document;
    const int deals = int(checked.deals.size());
    document.appendDeals(std::move(checked.deals));
    const QString requestName = RequestName(ReportRequest(document.kind()));
    RequestData data;
    data.report = &document.rows();

    if (arguments.has(QStringLiteral("dry-run"))) {
        const QString out = arguments.value(QStringLiteral("dry-run"));
        const Outcome written = Trapping([&] { WriteRequestXml(requestName, out, data); });
        if (!written.done()) {
            Say(written.failure);
            return kExitFailure;
        }
        Say(QStringLiteral("Запрос ") + requestName + QStringLiteral(" записан в файл ") + out +
            QStringLiteral(" (не отправлен)"));
        return someRefused ? kExitRefused : kExitDone;
    }
    return PlaceAndFollow(
        context, requestName,
        [&](QString* target) { return PlaceRequest(requestName, data, target); }, deals,
        someRefused);
}

int RunReconcile(const CommandContext& context)
{
    using namespace reconcile;
    const Arguments& arguments = context.arguments;
    std::optional<ReportKind> kind;
    QList<MappingChoice> choices;
    if (!oneFileOfDeals(arguments, kind, choices))
        return kExitFailure;
    ReconcileQuery query;
    query.kind = *kind;
    query.path = arguments.positional().first();
    for (const auto& [option, date] : {std::pair{QStringLiteral("since"), &query.since},
                                       std::pair{QStringLiteral("until"), &query.until}}) {
        if (!arguments.has(option))
            continue;
        *date = PeriodDate(arguments.value(option));
        if (!date->isValid()) {
            Say(QStringLiteral("--") + option +
                QStringLiteral(": дата ГГГГ-ММ-ДД или ДД.ММ.ГГГГ, а не ") +
                arguments.value(option));
            return kExitFailure;
        }
    }

    TerminalProgress progress;
    Outcome outcome;
    if (!choices.isEmpty()) {
        // The columns the user placed, on the mapping the import would settle on.
        ReportDocument document(*kind);
        outcome = document.buildFromLayout();
        ImportRun run(document);
        if (outcome.done())
            outcome = run.open(query.path, progress);
        ImportMapping chosen;
        if (outcome.done())
            outcome = ChooseMapping(document, run.titles(), choices, run.today(), chosen);
        if (!outcome.done()) {
            if (outcome.failed())
                Say(outcome.failure);
            return kExitFailure;
        }
        query.mapping = std::move(chosen);
    }
    ReconcileResult result;
    outcome = Reconcile(query, progress, result);
    progress.stage(QString());
    if (!outcome.done()) {
        if (outcome.failed())
            Say(outcome.failure);
        return kExitFailure;
    }
    for (const RefusedRow& row : result.refused)
        Say(QStringLiteral("строка %1, %2 «%3»: %4")
                .arg(row.row)
                .arg(row.field, row.value, row.message));
    Say(CountsText(result));

    const ReconcileTable table(result);
    static const char* const keys[] = {
        "participant", "reference", "agreement", "row",  "trade_date", "state_text",
        "registry_id", "receipt",   "code",      "text", "request",    "differences_text"};
    const QStringList titles = table.columnTitles();
    QList<OutputColumn> columns;
    for (int c = 0; c < titles.size(); ++c)
        columns.append({QString::fromLatin1(keys[c]), titles.at(c)});
    Output out(context.json, columns);
    QList<TableCell> cells;
    for (int r = 0; r < table.rowCount(); ++r) {
        const Line& line = result.lines.at(r);
        cells.clear();
        table.rowCells(r, cells);
        QJsonObject more;
        more.insert(QStringLiteral("state"), StateName(line.state));
        QJsonArray differences;
        for (const Difference& d : line.differences())
            differences.append(QJsonObject{{QStringLiteral("field"), d.field},
                                           {QStringLiteral("title"), d.title},
                                           {QStringLiteral("file"), d.inFile},
                                           {QStringLiteral("journal"), d.sent}});
        more.insert(QStringLiteral("differences"), differences);
        out.row(cells, more);
    }
    out.finish();
    return AllAcceptedAndEqual(result) ? kExitDone : kExitRefused;
}

} // namespace varnel::cli
