#pragma once

#include <QHashFunctions>
#include <QList>
#include <QPair>
#include <QString>

#include <algorithm>

namespace varnel::journal {

// An element's attributes in document order, as they were written or read.
using Attributes = QList<QPair<QString, QString>>;

// What the registry said of one deal (or of a request that carries none).
enum class Result { Waiting = 0, Accepted = 1, Rejected = 2 };

// Parts of a deal revoked in the registry, learnt from accepted revocations.
enum Revoked : int {
    RevokedDeal = 1,    // the deal (RevokeDeals)
    RevokedInitial = 2, // the initial part of a repo deal
    RevokedSecond = 4   // its second part
};

// One request of the list: what was sent, and how far the registry has answered it. A request
// without deals (the handbook requests) counts as one item of its own in accepted, rejected
// and waiting.
struct RequestEntry {
    qint64 id = 0;
    QString kind;        // the request name: Deals, RepoDeals, RevokeDeals, GetIssueList, ...
    QString file;        // its name in the send folder
    QString sent;        // when it was placed, local time: yyyy-MM-ddTHH:mm:ss.zzz
    QString participant; // the options' participant when it was sent
    // The participants its deals name, the least and the greatest (empty: none names one).
    QString firstDealParticipant;
    QString lastDealParticipant;
    int deals = 0;
    int accepted = 0;
    int rejected = 0;
    int corrected = 0; // rejected deals accepted since in a later report of the same kind
    bool answered = false;
    QString code; // the request refused as a whole, or a notice's own code
    QString text;
    QString answerPath; // the answer taken in last; empty while there is none
    // An answer that matches no request: kind is the answer's root, file its file name, sent
    // the time it names (Created), and the counts those it carries.
    bool answerOnly = false;

    int waiting() const { return std::max(deals, 1) - accepted - rejected; }
    // Rejected deals that no later report has brought through.
    int openRejected() const { return std::max(rejected - corrected, 0); }
};

// One deal of a request with its result. For revocations the deal is the row of the request,
// target the Id it named.
struct DealEntry {
    int n = 0; // 1-based number in the request
    QString agreement;
    QString reference;
    QString participant;
    QString issue;
    QString direction;
    QString target;
    Result result = Result::Waiting;
    QString registryId; // accepted deals: the registry's number
    QString code;
    QString text;
    int revoked = 0; // Revoked bits
    // A rejected deal accepted since in a later report of the same kind (the same participant
    // and Reference, or Agreement where it has no Reference): that report's file.
    QString correctedIn;
    Attributes fields; // the row's attributes as written in the request
};

// A deal's key in the registry: its participant with its Reference, or with its Agreement where
// it has no Reference (so a deal keyed by its Agreement has an empty reference here). Each part
// is compared exactly, as the deal was written.
struct DealKey {
    QString participant;
    QString reference;
    QString agreement;

    bool operator==(const DealKey&) const = default;
};

inline DealKey KeyOf(const QString& participant, const QString& agreement, const QString& reference)
{
    return reference.isEmpty() ? DealKey{participant, QString(), agreement}
                               : DealKey{participant, reference, QString()};
}

inline size_t qHash(const DealKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.participant, key.reference, key.agreement);
}

// A deal found by its key, with the request that carried it.
struct KeyedDeal {
    int key = -1; // the index of its key in the keys asked for; -1 when none were asked
    DealKey dealKey;
    QString agreement; // also of a deal keyed by its Reference
    qint64 request = 0;
    QString file;
    QString sent;
    int n = 0;
    Result result = Result::Waiting;
    QString registryId;
    QString code;
    QString text;
    int revoked = 0;
    QString receipt;      // the Created of the answer taken last for its request
    QString tradeDate;    // as written: yyyy-mm-dd
    QString packedFields; // accepted deals of dealsOfKeys only, as PackAttributes packs them
};

} // namespace varnel::journal
