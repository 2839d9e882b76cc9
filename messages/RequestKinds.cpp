#include "messages/RequestKinds.h"

#include <iterator>

namespace varnel {
namespace {

using Carries = RequestKind::Carries;

// In the order of the enumeration.
const RequestKind kKinds[] = {
    {OutgoingRequest::GetIssueList, "GetIssueList", "GIL",
     u"Отправить запрос на получение справочника ценных бумаг ?", Carries::Nothing,
     u"Запрос справочника ЦБ"},
    {OutgoingRequest::SubscribeIssueList, "SubscribeIssueList", "SIL",
     u"Отправить запрос на подписку на автоматическое получение справочника ценных бумаг ?",
     Carries::Nothing, u"Подписка на справочник ЦБ"},
    {OutgoingRequest::UnsubscribeIssueList, "UnsubscribeIssueList", "UIL",
     u"Отправить запрос на отказ от подписки на автоматическое получение справочника ценных "
     u"бумаг ?",
     Carries::Nothing, u"Отказ от подписки на справочник ЦБ"},
    {OutgoingRequest::Deals, "Deals", "DL", u"Отправить данный отчет ?", Carries::Report, u"Отчет"},
    {OutgoingRequest::RepoDeals, "RepoDeals", "DR", u"Отправить данный отчет ?", Carries::Report,
     u"Отчет РЕПО"},
    {OutgoingRequest::RevokeDeals, "RevokeDeals", "RD",
     u"Отправить запрос на удаление указанных сделок ?", Carries::Revocation, u"Удаление сделок"},
    {OutgoingRequest::RepoRevokeDeals, "RepoRevokeDeals", "RR",
     u"Отправить запрос на удаление указанных сделок РЕПО ?", Carries::Revocation,
     u"Удаление сделок РЕПО"},
};

static_assert(std::size(kKinds) == size_t(OutgoingRequest::RepoRevokeDeals) + 1);

} // namespace

const RequestKind& KindOf(OutgoingRequest request)
{
    return kKinds[size_t(request)];
}

const RequestKind* FindRequestKind(QStringView name, Qt::CaseSensitivity sensitivity)
{
    for (const RequestKind& kind : kKinds) {
        if (name.compare(QLatin1String(kind.name), sensitivity) == 0)
            return &kind;
    }
    return nullptr;
}

} // namespace varnel
