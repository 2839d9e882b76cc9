#pragma once

#include "core/Outcome.h"
#include "journal/JournalDocuments.h"
#include "journal/JournalTypes.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

namespace varnel::journal {

// A failure of the journal's database: its file is damaged or not a journal (Corrupt), or it
// cannot be opened, read or written now (a full disk, a read-only folder, a lock).
class StoreError : public std::exception {
public:
    enum class Kind { Corrupt, Unavailable };
    StoreError(Kind kind, QString text);
    Kind kind() const { return kind_; }
    bool corrupt() const { return kind_ == Kind::Corrupt; }
    const QString& text() const { return text_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    Kind kind_;
    QString text_;
    QByteArray what_;
};

// The journal's boundary: StoreError stays inside the journal. Runs work over a store and hands
// back what it hands back, or the StoreError it raises as a failed outcome with the store's
// text; JournalDamaged tells a damaged database (which the next round sets aside) from one that
// cannot be used now.
Outcome StoreOutcome(const std::function<Outcome()>& work);
bool JournalDamaged(const Outcome& outcome);

// What the list shows.
struct RequestFilter {
    enum class Status {
        All,
        Waiting,      // an item still without an answer
        WithRejected, // at least one item rejected and not accepted since in a later report
        Accepted,     // answered, nothing rejected, nothing waiting
        AnswersOnly   // the answers that match no request
    };
    Status status = Status::All;
    QDate from; // null: no bound
    QDate to;
};

// An answer file as it was found in the receive folder.
struct AnswerFile {
    QString path;
    qint64 size = 0;
    qint64 modified = 0; // ms since the epoch
};

// The sending journal's database (SQLite, docs/sending-journal.md), one connection used on one
// thread. The writing operations each run in one transaction; every failure raises StoreError.
class JournalStore {
public:
    explicit JournalStore(QString path);
    ~JournalStore();
    JournalStore(const JournalStore&) = delete;
    JournalStore& operator=(const JournalStore&) = delete;

    // The database file in the journal's folder.
    static QString FileIn(const QString& folder);

    // Opens the database. With create, a missing file is made with its tables; without it,
    // false when there is no journal yet. A file that is no journal (another version, without
    // a table or column the journal needs, another program's database) or a damaged one raises
    // Corrupt. An open that fails leaves behind no file it made.
    bool open(bool create);
    void close();
    bool isOpen() const;
    const QString& path() const { return path_; }
    // Reads the whole file over: empty when it is sound, otherwise what is wrong.
    QString check();

    // ---- Writing

    // The writes that take rows one after another (recordRequest, takeAnswer) look at stop
    // before each row; once it is set such a write is undone whole and returns 0, and
    // stopped() says so until the next of them begins.
    void stopWhen(const std::atomic_bool* stop) { stop_ = stop; }
    bool stopped() const { return stopped_; }

    // Records a request placed at sent (yyyy-MM-ddTHH:mm:ss.zzz) with the deals nextDeal gives
    // one after another. Returns the request's id (0 when stopped).
    qint64 recordRequest(const QString& kind, const QString& file, const QString& sent,
                         const QString& participant,
                         const std::function<bool(DealEntry&)>& nextDeal);
    // Forgets the answers kept as matching no request that name this request file, so that
    // they are read again. Returns how many.
    int forgetUnmatchedAnswers(const QString& requestFile);
    // The request an answer answers: of the file name it names (or, when it names none, the
    // request its own file is named after), the newest still waiting whose kind it can answer,
    // else the newest answered; 0 when none.
    qint64 matchRequest(const AnswerHead& head, const QString& answerPath);
    // Takes in an answer: the answer kept, each row's result set on the deal of its number
    // where the keys the row names agree, the counts of the request brought up to date. With
    // request 0 it is kept as an answer that matches no request, and its rows are not read.
    // Returns how many rows matched no deal (0 when stopped).
    int takeAnswer(const AnswerFile& file, const AnswerHead& head, qint64 request,
                   const std::function<bool(AnswerRow&)>& nextRow);
    // Keeps a file that could not be read, or is no answer the journal knows, so that it is
    // not read again while it stays the same.
    void keepUnreadable(const AnswerFile& file, const QString& reason);
    // The answers taken in (or kept) before, by AnswerKey.
    QSet<QString> knownAnswers();
    static QString AnswerKey(const AnswerFile& file);

    // ---- Reading

    QList<RequestEntry> requests(const RequestFilter& filter);
    std::optional<RequestEntry> request(qint64 id);
    // Deals of a request in their order, numbers after `after`, at most limit of them.
    QList<DealEntry> deals(qint64 request, int after, int limit);
    QList<DealEntry> dealsWithResult(qint64 request, Result result);
    qint64 requestCount();
    qint64 dealCount();

    // ---- Deals by their key (JournalKeys.cpp)

    // Every deal of the requests of a kind (Deals, RepoDeals) whose key is one of keys, handed
    // to take with the index of its key, in no particular order; the attributes only of
    // accepted deals. The keys are looked up through the journal's index, never by reading
    // every deal.
    void dealsOfKeys(const QString& kind, const QList<DealKey>& keys,
                     const std::function<void(KeyedDeal&& deal)>& take);
    // The accepted deals of the requests of a kind whose TradeDate lies in from..to (both
    // included), in no particular order: their keys, Agreement and TradeDate only.
    void acceptedTradedIn(const QString& kind, const QDate& from, const QDate& to,
                          const std::function<void(KeyedDeal&& deal)>& take);

private:
    QSqlQuery query() const;
    void exec(QSqlQuery& q, const char* what);
    void exec(const QString& statement, const char* what);
    void prepare(QSqlQuery& q, const QString& statement, const char* what);
    // The statement prepared, the values bound in their order and run.
    QSqlQuery run(const QString& statement, const QVariantList& binds, const char* what);
    // The first column of the one row the statement reads.
    QVariant single(const QString& statement, const char* what);
    // For each request with rejected deals accepted since in a later report, how many.
    QHash<qint64, int> correctedCounts();
    // The deals of a request, in their order, where the condition holds.
    QList<DealEntry> dealsWhere(const QString& condition, const QVariantList& binds);
    [[noreturn]] void fail(const QSqlError& error, const char* what) const;
    bool openConnection(bool create);
    // The first table or column the journal needs that the file lacks, or a view or trigger
    // the journal never makes; empty when none.
    QString missingPart();
    void createTables();
    // The indexes of the lookups by key and by trade date, made where they are missing; a
    // journal that cannot be written now (read only, busy) goes on without them.
    void addKeyIndexes();
    int userVersion();
    // Whether a write that takes rows is to stop now; notes it for stopped().
    bool stopNow();
    class Transaction;

    QString path_;
    QString connection_;
    std::unique_ptr<QSqlDatabase> db_;
    bool counted_ = false; // among the open connections of its file
    const std::atomic_bool* stop_ = nullptr;
    bool stopped_ = false;
};

// The attributes of a row in one text and back (names and values hold no control characters:
// XML 1.0 has none).
QString PackAttributes(const Attributes& attributes);
Attributes UnpackAttributes(const QString& packed);
// The value of one attribute of a packed row, without unpacking the others; nothing when the
// row has no attribute of that name.
std::optional<QStringView> PackedValue(QStringView packed, QStringView name);

} // namespace varnel::journal
