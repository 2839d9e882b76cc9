#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace loopback {

// The requests the client sends, by the document element it writes and the prefix of the
// file name it gives them.
enum class RequestKind {
    Deals,
    RepoDeals,
    RevokeDeals,
    RepoRevokeDeals,
    GetIssueList,
    SubscribeIssueList,
    UnsubscribeIssueList,
};

struct KindInfo {
    RequestKind kind;
    const char* root;   // document element, exact letter case
    const char* row;    // row element, empty for the handbook requests
    const char* prefix; // start of the file name, any letter case
};

const KindInfo& InfoOf(RequestKind kind);
const KindInfo* KindByRoot(QStringView root);
// The kind a file name announces by its prefix (GIL1A.xml, DL1A2B.xml), or null.
const KindInfo* KindByFileName(QStringView fileName);

struct Attribute {
    QString name;
    QString value;
};
using Attributes = QList<Attribute>;

// The value of the attribute of exactly that name; empty when absent.
QString ValueOf(const Attributes& attributes, QStringView name);

} // namespace loopback
