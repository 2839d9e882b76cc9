#pragma once

#include "Request.h"

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <stdexcept>

namespace loopback {

// A failure of the database (locked too long, disk full, a damaged file); the caller drops
// the work of the current request and tries it again later.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

namespace testing {
// From its statement-th statement on (1: the next one), the store fails as a locked or full
// database fails it, with StoreError; 0 switches the failure off. Process-wide, for tests.
void FailStoreAt(int statement);
} // namespace testing

// The accepted deals, the answered requests and the subscription, in one SQLite file. All
// changes of one request are made in one transaction, so that a request counts wholly or
// not at all, also when the program is stopped or the disk fills half-way.
class DealStore {
public:
    DealStore();
    ~DealStore();
    DealStore(const DealStore&) = delete;
    DealStore& operator=(const DealStore&) = delete;

    // Opens or creates the file. Raises StoreError.
    void open(const QString& path);
    void close();
    bool isOpen() const;

    // One writer at a time: the transaction takes the write lock at once.
    void begin();
    void commit();
    void rollback();
    // A point inside the transaction to go back to, dropping the rows of a request that turns
    // out not to be a document of its kind.
    void mark();
    void undoToMark();

    // Deals and repo deals are two registers: keys and Ids are looked up within the kind.
    struct Deal {
        QString id;
        RequestKind kind = RequestKind::Deals;
        QString participant;
        QString agreement;
        QString reference;
        QString issue;
        QString request;
        int row = 0;
        Attributes attributes;
    };
    // A new registry number: the day as yymmdd and a sequence of six digits (more after the
    // millionth deal of a day).
    QString nextId(const QDate& day);
    void insertDeal(const Deal& deal, const QString& acceptedAt);
    bool hasActiveReference(RequestKind kind, const QString& participant, const QString& reference);
    bool hasActiveAgreement(RequestKind kind, const QString& participant, const QString& agreement);

    struct Found {
        QString id;
        QString participant;
        QString agreement;
        QString reference;
        bool active = true;    // not revoked (repo: not both parts revoked)
        bool revokedI = false; // repo parts
        bool revokedS = false;
    };
    std::optional<Found> findById(RequestKind kind, const QString& id);
    // Deals of the kind with that Reference (when given) or else that Agreement.
    QList<Found> findByKeys(RequestKind kind, const QString& agreement, const QString& reference);
    // Ordinary deals: part empty. Repo deals: part "I" or "S"; the deal is gone with both.
    void revoke(RequestKind kind, const QString& id, const QString& part, const QString& at);

    // Requests taken from the send folder and answered; the answer waits in the archive until
    // it is delivered.
    struct Answered {
        QString archiveName;
        QString request;     // DL1A2B.xml
        QString answerName;  // DL1A2B.msg
        QString staged;      // the answer's path in the archive
        QString deliveredAs; // empty while not delivered
    };
    void recordAnswered(const Answered& answered, const QString& at);
    void recordDelivered(const QString& archiveName, const QString& deliveredAs, const QString& at);
    std::optional<Answered> answered(const QString& archiveName);
    QList<Answered> undelivered();

    bool subscribed();
    void setSubscribed(bool subscribed);

private:
    QSqlQuery& prepared(int slot, const char* sql);
    // Whether an active deal of the kind and participant has the value in the column the
    // query's second parameter names.
    bool hasActive(int slot, const char* sql, RequestKind kind, const QString& value,
                   const QString& participant);
    void exec(const QString& sql);
    void writeCounter();

    QString connection_;
    std::unique_ptr<QSqlDatabase> db_;
    std::array<std::unique_ptr<QSqlQuery>, 16> queries_;
    // The day counter of the open transaction, written back on commit.
    QString counterDay_;
    qint64 counterLast_ = -1;
    bool counterDirty_ = false;
    bool inTransaction_ = false;
};

// The store's transaction for one request: begun when made, rolled back when it goes without
// having been committed (a failure, a request left for later), on every path out of a step.
class StoreTransaction {
public:
    // Raises StoreError when the transaction cannot begin.
    explicit StoreTransaction(DealStore& store) : store_(store) { store_.begin(); }
    ~StoreTransaction()
    {
        if (!done_)
            store_.rollback();
    }
    StoreTransaction(const StoreTransaction&) = delete;
    StoreTransaction& operator=(const StoreTransaction&) = delete;
    void commit()
    {
        store_.commit();
        done_ = true;
    }

private:
    DealStore& store_;
    bool done_ = false;
};

} // namespace loopback
