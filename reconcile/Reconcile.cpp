#include "reconcile/Reconcile.h"

#include "core/DecimalText.h"
#include "core/Error.h"
#include "core/Values.h"
#include "journal/Journal.h"
#include "journal/JournalStore.h"
#include "reports/ImportFlow.h"
#include "reports/ReportDocument.h"
#include "reports/ReportFile.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <tuple>

namespace varnel::reconcile {
namespace {

using journal::DealKey;
using journal::KeyedDeal;
using journal::Result;

QDate cellDate(const QString& text)
{
    const QString trimmed = TrimSpaces(text);
    if (trimmed.isEmpty())
        return QDate();
    if (trimmed.size() == 10 && trimmed.at(4) == u'-')
        return QDate::fromString(trimmed, Qt::ISODate);
    try {
        return ParseDate(trimmed);
    } catch (const Error&) {
    }
    return QDate::fromString(trimmed, Qt::ISODate);
}

std::optional<DecimalValue> cellNumber(const QString& text)
{
    QString plain;
    plain.reserve(text.size());
    for (const QChar c : text) {
        if (c == u',')
            plain += u'.';
        else if (!c.isSpace())
            plain += c;
    }
    return ReadDecimal(plain);
}

bool fullyRevoked(int revoked)
{
    return (revoked & journal::RevokedDeal) ||
           ((revoked & journal::RevokedInitial) && (revoked & journal::RevokedSecond));
}

// A rejection as a duplicate of a deal already on record.
bool duplicateRejection(const SentRequest& r)
{
    const QString code = r.code.trimmed();
    return r.result == Result::Rejected && (code.compare(u"S52", Qt::CaseInsensitive) == 0 ||
                                            code.compare(u"S54", Qt::CaseInsensitive) == 0);
}

SentRequest sentOf(KeyedDeal& d)
{
    SentRequest r;
    r.request = d.request;
    r.file = std::move(d.file);
    r.sent = std::move(d.sent);
    r.n = d.n;
    r.result = d.result;
    r.registryId = std::move(d.registryId);
    r.code = std::move(d.code);
    r.text = std::move(d.text);
    r.revoked = d.revoked;
    r.receipt = std::move(d.receipt);
    return r;
}

// Orders the requests of a line and settles its state: that of its latest request, except that
// a rejection as a duplicate (S52, S54) after an acceptance leaves the acceptance standing.
void settle(Line& line)
{
    std::sort(line.requests.begin(), line.requests.end(),
              [](const SentRequest& a, const SentRequest& b) {
                  return a.sent != b.sent ? a.sent < b.sent : a.request < b.request;
              });
    line.decisive = -1;
    for (int i = 0; i < line.requests.size(); ++i) {
        const SentRequest& r = line.requests.at(i);
        if (line.decisive >= 0 && duplicateRejection(r) &&
            line.requests.at(line.decisive).result == Result::Accepted)
            continue;
        line.decisive = i;
    }
    const SentRequest* r = line.decisiveRequest();
    if (!r) {
        line.state = State::NotSent;
        return;
    }
    switch (r->result) {
    case Result::Waiting: line.state = State::Waiting; break;
    case Result::Rejected: line.state = State::Rejected; break;
    case Result::Accepted:
        line.state = fullyRevoked(r->revoked)   ? State::Revoked
                     : r->differences.isEmpty() ? State::Accepted
                                                : State::Differs;
        break;
    }
}

// The fields the file fills compared with an accepted request's, each value of the request
// taken out of its packed row and read as a report file's is (ReportFieldsOf): a date written
// yyyy-mm-dd shown as dd.mm.yyyy, an empty number or a value left out as the field's default.
class Comparer {
public:
    explicit Comparer(const ReconcileResult& result)
    {
        const QStringList defaults =
            ReportFieldsOf({journal::Attributes()}, result.columns).value(0);
        for (const int c : result.compared) {
            const ReportColumn& column = result.columns.at(c);
            columns_.append({c, &column, defaults.value(c - 1),
                             column.type.compare(u"D", Qt::CaseInsensitive) == 0,
                             column.type.compare(u"N", Qt::CaseInsensitive) == 0});
        }
    }

    void compare(const QStringList& file, const QString& packed, QList<Difference>& differences)
    {
        for (const Column& col : std::as_const(columns_)) {
            const std::optional<QStringView> value = journal::PackedValue(packed, col.column->name);
            const QString& inFile = file.at(col.index - 1);
            QString sent;
            if (!value || (col.number && value->isEmpty()))
                sent = col.fallback;
            else if (col.date && !TrimSpaces(value->toString()).isEmpty())
                sent = IsoToDisplayDate(value->toString());
            else if (*value == QStringView(inFile))
                continue;
            else
                sent = value->toString();
            if (!SameValue(*col.column, inFile, sent))
                differences.append({col.column->name, col.column->title, inFile, sent});
        }
    }

private:
    struct Column {
        int index;
        const ReportColumn* column;
        QString fallback; // the cell of a value left out
        bool date;
        bool number;
    };
    QList<Column> columns_;
};

const char16_t* const kStateTexts[kStateCount] = {
    u"не отправлена", u"ждет ответа",       u"принята",    u"расходится",
    u"отклонена",     u"удалена в реестре", u"нет в файле"};
const char* const kStateNames[kStateCount] = {"not_sent", "waiting", "accepted", "differs",
                                              "rejected", "revoked", "missing"};

// The file read through the import: its deals, the rows refused, the columns compared.
Outcome readFile(const ReconcileQuery& query, Progress& progress, ReconcileResult& result)
{
    ReportDocument document(query.kind);
    if (const Outcome built = document.buildFromLayout(); !built.done())
        return built;
    ImportRun run(document, query.today);
    if (const Outcome opened = run.open(query.path, progress); !opened.done())
        return opened;
    const std::optional<ImportMapping> mapping =
        query.mapping ? query.mapping : run.settledMapping();
    if (!mapping)
        return Outcome::Failed(
            QStringLiteral("Столбцы файла %1 не сопоставлены с полями отчета: загрузите сделки "
                           "из этого файла в отчет один раз и выберите поля столбцов")
                .arg(QFileInfo(query.path).fileName()));
    run.start(*mapping);
    if (const Outcome checked = run.check(progress); !checked.done())
        return checked;
    DealImport& import = run.result();
    result.columns = document.rows().columns();
    for (const int c : mapping->columns) {
        if (c >= 1 && c < result.columns.size() && !result.compared.contains(c))
            result.compared.append(c);
    }
    std::sort(result.compared.begin(), result.compared.end());
    result.rowsRead = import.records();
    result.refusedRows = import.refusedRecords();
    result.refused = import.refused();
    const QList<int> rows = import.dealRows();
    result.deals = import.takeDeals();

    const ReportModel& model = document.rows();
    const int participant = model.columnOfName(QStringLiteral("Participant"));
    const int reference = model.columnOfName(QStringLiteral("Reference"));
    const int agreement = model.columnOfName(QStringLiteral("Agreement"));
    const int tradeDate = model.columnOfName(QStringLiteral("TradeDate"));
    if (participant < 1 || reference < 1 || agreement < 1)
        return Outcome::Failed(QStringLiteral("В описании отчета %1 нет полей Participant, "
                                              "Reference и Agreement: сделки не сопоставить")
                                   .arg(document.layout().path));

    QDate first, last;
    result.lines.reserve(result.deals.size());
    for (int i = 0; i < result.deals.size(); ++i) {
        const QStringList& cells = result.deals.at(i);
        Line line;
        line.row = rows.value(i);
        line.deal = i;
        line.agreement = cells.at(agreement - 1);
        line.key =
            journal::KeyOf(cells.at(participant - 1), line.agreement, cells.at(reference - 1));
        if (tradeDate >= 1)
            line.tradeDate = cellDate(cells.at(tradeDate - 1));
        if (line.tradeDate.isValid()) {
            if (!first.isValid() || line.tradeDate < first)
                first = line.tradeDate;
            if (!last.isValid() || line.tradeDate > last)
                last = line.tradeDate;
        }
        result.lines.append(std::move(line));
    }
    result.since = query.since.isValid() ? query.since : first;
    result.until = query.until.isValid() ? query.until : last;
    if (query.since.isValid() || query.until.isValid()) {
        // Deals traded outside the period asked for are left out.
        const auto outside = [&](const Line& line) {
            return !line.tradeDate.isValid() ||
                   (result.since.isValid() && line.tradeDate < result.since) ||
                   (result.until.isValid() && line.tradeDate > result.until);
        };
        const qsizetype before = result.lines.size();
        result.lines.removeIf(outside);
        result.outsidePeriod = int(before - result.lines.size());
    }
    return Outcome::Done();
}

// The journal's requests for every deal of the file, and the accepted deals of the period that
// the file lacks.
void matchJournal(journal::JournalStore& store, const QString& kind, Progress& progress,
                  ReconcileResult& result)
{
    const int fileLines = int(result.lines.size());
    QList<DealKey> keys;
    QList<int> keyLine; // the first line of each key
    QHash<DealKey, int> lineOfKey;
    lineOfKey.reserve(fileLines);
    QList<QPair<int, int>> repeated; // (line, line of the same key before it)
    for (int i = 0; i < fileLines; ++i) {
        const DealKey& key = result.lines.at(i).key;
        const auto found = lineOfKey.constFind(key);
        if (found != lineOfKey.cend()) {
            repeated.append({i, found.value()});
            continue;
        }
        lineOfKey.insert(key, i);
        keys.append(key);
        keyLine.append(i);
    }
    progress.stage(QStringLiteral("Сверка с журналом отправок"), keys.size());
    Comparer comparer(result);
    qint64 seen = 0;
    store.dealsOfKeys(kind, keys, [&](KeyedDeal&& d) {
        if (d.key < 0 || d.key >= keyLine.size())
            return;
        const int l = keyLine.at(d.key);
        Line& line = result.lines[l];
        line.requests.append(sentOf(d));
        if (d.result == Result::Accepted)
            comparer.compare(result.deals.at(line.deal), d.packedFields,
                             line.requests.last().differences);
        if (++seen % 4096 == 0)
            progress.advance(std::min<qint64>(seen, keys.size()));
    });
    for (const auto& [line, same] : repeated)
        result.lines[line].requests = result.lines.at(same).requests;
    for (Line& line : result.lines)
        settle(line);

    if (!result.since.isValid() || !result.until.isValid() || result.since > result.until)
        return;
    // The deals accepted in the period whose key the file does not hold (at any date).
    QSet<DealKey> inFile;
    for (const Line& line : std::as_const(result.lines))
        inFile.insert(line.key);
    QHash<DealKey, int> missing;
    QList<DealKey> missingKeys;
    QList<Line> found;
    store.acceptedTradedIn(kind, result.since, result.until, [&](KeyedDeal&& d) {
        if (inFile.contains(d.dealKey) || missing.contains(d.dealKey))
            return;
        missing.insert(d.dealKey, int(missingKeys.size()));
        missingKeys.append(d.dealKey);
        Line line;
        line.key = d.dealKey;
        line.tradeDate = QDate::fromString(d.tradeDate, Qt::ISODate);
        found.append(std::move(line));
    });
    if (missingKeys.isEmpty())
        return;
    // Each with every request that carried it: one accepted since revoked, or rejected in a
    // later report, is not on record as the file would have it.
    store.dealsOfKeys(kind, missingKeys, [&](KeyedDeal&& d) {
        if (d.key < 0 || d.key >= found.size())
            return;
        Line& line = found[d.key];
        if (line.agreement.isEmpty())
            line.agreement = d.agreement;
        line.requests.append(sentOf(d));
    });
    for (Line& line : found)
        settle(line);
    found.removeIf([](const Line& line) { return line.state != State::Accepted; });
    // In the order they were traded, then sent.
    std::sort(found.begin(), found.end(), [](const Line& a, const Line& b) {
        if (a.tradeDate != b.tradeDate)
            return a.tradeDate < b.tradeDate;
        const SentRequest* x = a.decisiveRequest();
        const SentRequest* y = b.decisiveRequest();
        return std::tie(x->sent, x->request, x->n) < std::tie(y->sent, y->request, y->n);
    });
    for (Line& line : found) {
        line.state = State::Missing;
        result.lines.append(std::move(line));
    }
}

Outcome reconcileFile(const ReconcileQuery& query, Progress& progress, ReconcileResult& result)
{
    result = ReconcileResult();
    result.kind = query.kind;
    result.path = query.path;
    if (const Outcome read = readFile(query, progress, result); !read.done())
        return read;
    if (progress.stopRequested())
        return Outcome::Cancelled();

    const QString folder =
        query.journalFolder.isEmpty() ? journal::Journal::CurrentFolder() : query.journalFolder;
    if (!folder.isEmpty()) {
        const Outcome matched = journal::StoreOutcome([&] {
            journal::JournalStore store(journal::JournalStore::FileIn(folder));
            result.journalFound = store.open(false);
            if (result.journalFound)
                matchJournal(store, RequestName(ReportRequest(query.kind)), progress, result);
            return Outcome::Done();
        });
        if (matched.failed())
            return Outcome::Failed(QStringLiteral("Журнал отправок не прочитан: ") +
                                   matched.failure);
    }
    for (const Line& line : std::as_const(result.lines))
        ++result.counts[size_t(line.state)];
    return progress.stopRequested() ? Outcome::Cancelled() : Outcome::Done();
}

} // namespace

QString StateText(State state)
{
    return QString::fromUtf16(kStateTexts[int(state)]);
}

QString StateName(State state)
{
    return QString::fromLatin1(kStateNames[int(state)]);
}

const QList<Difference>& Line::differences() const
{
    static const QList<Difference> none;
    const SentRequest* r = decisiveRequest();
    return r ? r->differences : none;
}

QString Line::keyText() const
{
    return key.reference.isEmpty() ? key.participant + QStringLiteral(" договор ") + key.agreement
                                   : key.participant + u' ' + key.reference;
}

QDate Line::receiptDate() const
{
    const SentRequest* r = decisiveRequest();
    if (!r || r->result != Result::Accepted || r->receipt.isEmpty())
        return QDate();
    return QDate::fromString(r->receipt.left(10), Qt::ISODate);
}

QDate PeriodDate(const QString& text)
{
    const QString trimmed = text.trimmed();
    QDate date = QDate::fromString(trimmed, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        date = QDate::fromString(trimmed, QStringLiteral("dd.MM.yyyy"));
    return date;
}

bool SameValue(const ReportColumn& column, const QString& a, const QString& b)
{
    if (a == b)
        return true;
    if (column.type.compare(u"D", Qt::CaseInsensitive) == 0) {
        const QDate x = cellDate(a), y = cellDate(b);
        return x.isValid() && x == y;
    }
    if (column.type.compare(u"N", Qt::CaseInsensitive) == 0) {
        const auto x = cellNumber(a), y = cellNumber(b);
        if (!x || !y)
            return false;
        return (x->isZero() && y->isZero()) || *x == *y;
    }
    return false;
}

Outcome Reconcile(const ReconcileQuery& query, Progress& progress, ReconcileResult& result)
{
    Outcome outcome;
    const Outcome trapped = Trapping([&] { outcome = reconcileFile(query, progress, result); });
    return trapped.done() ? outcome : trapped;
}

bool AllAcceptedAndEqual(const ReconcileResult& result)
{
    if (result.refusedRows > 0)
        return false;
    for (int s = 0; s < kStateCount; ++s) {
        if (State(s) != State::Accepted && result.counts[size_t(s)] > 0)
            return false;
    }
    return true;
}

QString CountsText(const ReconcileResult& result)
{
    QStringList parts;
    for (int s = 0; s < kStateCount; ++s) {
        if (result.counts[size_t(s)] > 0)
            parts << StateText(State(s)) + u' ' + QString::number(result.counts[size_t(s)]);
    }
    if (parts.isEmpty())
        parts << QStringLiteral("сделок нет");
    if (result.refusedRows > 0)
        parts << QStringLiteral("строк файла не прочитано %1").arg(result.refusedRows);
    if (result.outsidePeriod > 0)
        parts << QStringLiteral("вне периода %1").arg(result.outsidePeriod);
    return parts.join(QStringLiteral(", "));
}

QList<QStringList> DealsToSend(const ReconcileResult& result)
{
    QList<QStringList> deals;
    for (const Line& line : result.lines) {
        if (line.deal >= 0 && (line.state == State::NotSent || line.state == State::Rejected))
            deals.append(result.deals.at(line.deal));
    }
    return deals;
}

QString DifferencesText(const QList<Difference>& differences)
{
    QStringList parts;
    for (const Difference& d : differences)
        parts << QStringLiteral("%1: в файле %2, в отчете %3")
                     .arg(d.title.isEmpty() ? d.field : d.title,
                          d.inFile.isEmpty() ? QStringLiteral("пусто") : d.inFile,
                          d.sent.isEmpty() ? QStringLiteral("пусто") : d.sent);
    return parts.join(QStringLiteral("; "));
}

QStringList ReconcileTable::columnTitles() const
{
    return {QStringLiteral("Участник"),
            QStringLiteral("Внутр. номер"),
            QStringLiteral("№ договора"),
            QStringLiteral("Строка"),
            QStringLiteral("Дата сделки"),
            QStringLiteral("Состояние"),
            QStringLiteral("Номер в реестре"),
            QStringLiteral("Квитанция"),
            QStringLiteral("Код"),
            QStringLiteral("Текст"),
            QStringLiteral("Запрос"),
            QStringLiteral("Расхождения")};
}

int ReconcileTable::rowCount() const
{
    return int(lines_ ? lines_->size() : result_.lines.size());
}

void ReconcileTable::rowCells(int row, QList<TableCell>& cells) const
{
    const Line& line = result_.lines.at(lines_ ? lines_->at(row) : row);
    const SentRequest* r = line.decisiveRequest();
    const auto text = [](const QString& t) {
        return t.isEmpty() ? TableCell::empty() : TableCell::textCell(t);
    };
    const bool rejected = r && r->result == Result::Rejected;
    cells = {text(line.key.participant),
             text(line.key.reference),
             text(line.agreement.isEmpty() ? line.key.agreement : line.agreement),
             line.row > 0 ? TableCell::numberCell(QString::number(line.row)) : TableCell::empty(),
             line.tradeDate.isValid() ? TableCell::dateCell(line.tradeDate) : TableCell::empty(),
             TableCell::textCell(StateText(line.state)),
             text(r && r->result == Result::Accepted ? r->registryId : QString()),
             line.receiptDate().isValid() ? TableCell::dateCell(line.receiptDate())
                                          : TableCell::empty(),
             text(rejected ? r->code : QString()),
             text(rejected ? r->text : QString()),
             text(r ? r->file : QString()),
             text(DifferencesText(line.differences()))};
}

} // namespace varnel::reconcile
