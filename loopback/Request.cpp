#include "Request.h"

namespace loopback {
namespace {

constexpr KindInfo kKinds[] = {
    {RequestKind::GetIssueList, "GetIssueList", "", "GIL"},
    {RequestKind::SubscribeIssueList, "SubscribeIssueList", "", "SIL"},
    {RequestKind::UnsubscribeIssueList, "UnsubscribeIssueList", "", "UIL"},
    {RequestKind::Deals, "deals", "deal", "DL"},
    {RequestKind::RepoDeals, "RepoDeals", "RepoDeal", "DR"},
    {RequestKind::RevokeDeals, "RevokeDeals", "RevokeDeal", "RD"},
    {RequestKind::RepoRevokeDeals, "RepoRevokeDeals", "RepoRevokeDeal", "RR"},
};

} // namespace

const KindInfo& InfoOf(RequestKind kind)
{
    for (const KindInfo& info : kKinds) {
        if (info.kind == kind)
            return info;
    }
    return kKinds[0];
}

const KindInfo* KindByRoot(QStringView root)
{
    for (const KindInfo& info : kKinds) {
        if (root == QLatin1StringView(info.root))
            return &info;
    }
    return nullptr;
}

const KindInfo* KindByFileName(QStringView fileName)
{
    // The three-letter prefixes come first in the table, so GIL is never taken for anything
    // shorter.
    for (const KindInfo& info : kKinds) {
        if (fileName.startsWith(QLatin1StringView(info.prefix), Qt::CaseInsensitive))
            return &info;
    }
    return nullptr;
}

QString ValueOf(const Attributes& attributes, QStringView name)
{
    for (const Attribute& attribute : attributes) {
        if (attribute.name == name)
            return attribute.value;
    }
    return QString();
}

} // namespace loopback
