#pragma once

#include "core/Outcome.h"
#include "core/Progress.h"
#include "journal/JournalTypes.h"
#include "messages/RequestKinds.h"
#include "reports/DealImport.h"
#include "reports/ReportModel.h"
#include "tables/TableWriter.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace varnel::reconcile {

// The reconciliation of a back office's table of deals with the sending journal, free of
// widgets (docs/reconciliation.md): every deal of the file, read and mapped as the import reads
// it, lined up by its key with the deals the journal holds, and the deals the journal holds as
// accepted in the period that the file does not have. The window (window/) and the command-line
// program both run Reconcile() and show or write its lines.

// The state of a line, in the order the counts are shown.
enum class State {
    NotSent,  // no request of the kind carried it
    Waiting,  // its latest request has no answer for it yet
    Accepted, // accepted, and its fields are the file's
    Differs,  // accepted, but a field differs from the file's
    Rejected, // its latest request was rejected
    Revoked,  // accepted, then revoked in the registry
    Missing   // accepted in the period, and not in the file
};
inline constexpr int kStateCount = 7;

// "не отправлена", "ждет ответа", "принята", "расходится", "отклонена", "удалена в реестре",
// "нет в файле".
QString StateText(State state);
// The state as a fixed word for machine-read output: not_sent, waiting, accepted, differs,
// rejected, revoked, missing.
QString StateName(State state);

// A field whose value differs between the file and the deal accepted.
struct Difference {
    QString field;  // its name (Price)
    QString title;  // its title as the grid shows it
    QString inFile; // the file's value as the import reads it
    QString sent;   // the value the accepted request carried, as a report shows it
};

// One request that carried the deal, with what the registry said of it.
struct SentRequest {
    qint64 request = 0;
    QString file; // the request file
    QString sent; // when it was placed, yyyy-MM-ddTHH:mm:ss.zzz
    int n = 0;    // the deal's number in the request
    journal::Result result = journal::Result::Waiting;
    QString registryId;
    QString code;
    QString text;
    int revoked = 0; // journal::Revoked bits
    QString receipt; // the Created of the answer, yyyy-MM-ddTHH:mm:ss; empty while none
    QList<Difference> differences; // of an accepted request, against the file's deal
};

// One deal of the file (or of the journal only, for Missing) with its state.
struct Line {
    State state = State::NotSent;
    journal::DealKey key;
    QString agreement; // shown also beside a Reference
    int row = 0;       // its row in the file (the title row being 1); 0 for Missing
    int deal = -1;     // its field cells in ReconcileResult::deals; -1 for Missing
    QDate tradeDate;
    QList<SentRequest> requests; // every request that carried it, oldest first
    int decisive = -1;           // the request whose state it takes; -1 when none

    const SentRequest* decisiveRequest() const
    {
        return decisive >= 0 ? &requests.at(decisive) : nullptr;
    }
    // The differences of the accepted request it takes its state from.
    const QList<Difference>& differences() const;
    // "MC0001 R-1", or "MC0001 договор A-1" for a deal without a Reference.
    QString keyText() const;
    // The date of the receipt of an accepted deal; null otherwise.
    QDate receiptDate() const;
};

// What to reconcile.
struct ReconcileQuery {
    ReportKind kind = ReportKind::Deals;
    QString path; // the back office's CSV or .xlsx file
    // The period of trade dates, both ends included; an end left null is taken from the file's
    // own trade dates.
    QDate since;
    QDate until;
    // Where the file's columns go; without it, the one the import settles on by itself (the
    // user's choice for files of these titles, else the titles), and a failure when there is
    // none.
    std::optional<ImportMapping> mapping;
    // The journal's folder; empty: the journal of the work folder the settings name.
    QString journalFolder;
    QDate today = QDate::currentDate(); // for the import's checks and defaults
};

struct ReconcileResult {
    ReportKind kind = ReportKind::Deals;
    QString path;
    QDate since; // the period reconciled (null when the file gives no trade date)
    QDate until;
    bool journalFound = false;
    QList<ReportColumn> columns; // the report's columns, 0 being the row number
    QList<int> compared;         // the columns the file fills, compared with the journal's
    QList<QStringList> deals;    // the file's deals as field cells (column 1 onwards)
    QList<Line> lines;           // the file's deals in its order, then the Missing ones
    int rowsRead = 0;            // rows of the file, the title row not counted
    int refusedRows = 0;         // rows the import's checks refused: not reconciled
    QList<RefusedRow> refused;   // the first of them, with their reasons
    int outsidePeriod = 0;       // deals of the file traded outside the period
    std::array<int, kStateCount> counts{};

    int count(State state) const { return counts[size_t(state)]; }
};

// A date of the period as the command line takes it: yyyy-mm-dd or dd.mm.yyyy; null when the
// text is neither or names no day.
QDate PeriodDate(const QString& text);

// Reads the file as the import reads it and reconciles its deals with the journal. Failed when
// the file cannot be read, its columns are not settled, or the journal cannot be read;
// Cancelled when the progress asks to stop. A work folder without a journal yet leaves every
// deal not sent.
Outcome Reconcile(const ReconcileQuery& query, Progress& progress, ReconcileResult& result);

// True when every deal of the file is accepted and equal, every row of it was read, and the
// journal holds no accepted deal of the period that the file lacks.
bool AllAcceptedAndEqual(const ReconcileResult& result);

// "принята 97, расходится 1, отклонена 2" (the states that have lines), with the rows refused
// and the deals outside the period.
QString CountsText(const ReconcileResult& result);

// The file's deals not sent or rejected, as field cells for a new report of the kind.
QList<QStringList> DealsToSend(const ReconcileResult& result);

// The differences as one text: "Цена ЦБ: в файле 10.60, в отчете 10.50; ...".
QString DifferencesText(const QList<Difference>& differences);

// The lines as a table (all of them, or those given by their indexes) for the export and the
// command line: "Участник", "Внутр. номер", "№ договора", "Строка", "Дата сделки",
// "Состояние", "Номер в реестре", "Квитанция" (its date), "Код", "Текст", "Запрос", "Расхождения".
// Row numbers are number cells, dates date cells.
class ReconcileTable : public TableSource {
public:
    explicit ReconcileTable(const ReconcileResult& result, const QList<int>* lines = nullptr)
        : result_(result), lines_(lines)
    {
    }
    QStringList columnTitles() const override;
    int rowCount() const override;
    void rowCells(int row, QList<TableCell>& cells) const override;

private:
    const ReconcileResult& result_;
    const QList<int>* lines_;
};

// How two values of a field compare: numbers as numbers ("1000.50" and "1000.5"), dates as
// dates ("07.03.2024" and "2024-03-07"), texts exactly as they are.
bool SameValue(const ReportColumn& column, const QString& a, const QString& b);

} // namespace varnel::reconcile
