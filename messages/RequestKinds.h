#pragma once

#include <QString>
#include <QStringView>

namespace varnel {

// The two kinds of report: ordinary deals (frmReport) and repo deals (frmReportRepo).
enum class ReportKind { Deals, Repo };

// Every request the client sends.
enum class OutgoingRequest {
    GetIssueList,
    SubscribeIssueList,
    UnsubscribeIssueList,
    Deals,
    RepoDeals,
    RevokeDeals,
    RepoRevokeDeals
};

// One row of the table of requests: the name the documents and the send pipeline know it by
// (also the document element of the handbook requests), the prefix of its file in the send
// folder, the question asked before it is sent, what it carries, and its title in the sending
// journal.
struct RequestKind {
    enum class Carries { Nothing, Report, Revocation };

    OutgoingRequest request;
    const char* name;
    const char* prefix;
    const char16_t* question;
    Carries carries;
    const char16_t* title; // what the sending journal calls it

    QString nameText() const { return QString::fromLatin1(name); }
    QString titleText() const { return QString::fromUtf16(title); }
};

// The row of a request.
const RequestKind& KindOf(OutgoingRequest request);
// The row of a request name, compared exactly or with letter case ignored; null for a name the
// client does not send.
const RequestKind* FindRequestKind(QStringView name,
                                   Qt::CaseSensitivity sensitivity = Qt::CaseSensitive);
// "GetIssueList", "Deals", ...
inline QString RequestName(OutgoingRequest request)
{
    return KindOf(request).nameText();
}

// The request a report of the kind is sent as: Deals or RepoDeals.
inline OutgoingRequest ReportRequest(ReportKind kind)
{
    return kind == ReportKind::Repo ? OutgoingRequest::RepoDeals : OutgoingRequest::Deals;
}
// The revocation request: RevokeDeals or RepoRevokeDeals.
inline OutgoingRequest RevocationRequest(bool repo)
{
    return repo ? OutgoingRequest::RepoRevokeDeals : OutgoingRequest::RevokeDeals;
}

} // namespace varnel
