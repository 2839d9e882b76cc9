#include "journal/JournalDocuments.h"

#include <array>

namespace varnel::journal {
namespace {

struct KindRow {
    AnswerKind kind;
    const char* root;
    const char16_t* title;
};

const std::array<KindRow, 6> kKinds{{
    {AnswerKind::Receipts, "Receipts", u"Квитанции по отчету"},
    {AnswerKind::RepoReceipts, "RepoReceipts", u"Квитанции по отчету РЕПО"},
    {AnswerKind::RevokeReceipts, "RevokeReceipts", u"Квитанции об удалении сделок"},
    {AnswerKind::RepoRevokeReceipts, "RepoRevokeReceipts", u"Квитанции об удалении сделок РЕПО"},
    {AnswerKind::SubscribeResult, "SubscribeResult", u"Ответ о подписке на справочник ЦБ"},
    {AnswerKind::IssueList, "IssueList", u"Справочник ЦБ"},
}};

const KindRow* rowOf(AnswerKind kind)
{
    for (const KindRow& row : kKinds) {
        if (row.kind == kind)
            return &row;
    }
    return nullptr;
}

// A count of the document element; -1 when absent or not a count.
int countOf(const XmlElement& e, const QString& name)
{
    bool ok = false;
    const int value = e.attribute(name).trimmed().toInt(&ok);
    return ok && value >= 0 ? value : -1;
}

XmlStreamOptions answerOptions()
{
    XmlStreamOptions options;
    options.envelope = true;
    options.regularFileOnly = true;
    options.maxBytes = kMaxAnswerBytes;
    return options;
}

} // namespace

AnswerKind AnswerKindOf(const QString& rootName)
{
    for (const KindRow& row : kKinds) {
        if (rootName.compare(QLatin1String(row.root), Qt::CaseInsensitive) == 0)
            return row.kind;
    }
    return AnswerKind::None;
}

QString AnswerKindName(AnswerKind kind)
{
    const KindRow* row = rowOf(kind);
    return row ? QString::fromLatin1(row->root) : QString();
}

QString AnswerKindTitle(AnswerKind kind)
{
    const KindRow* row = rowOf(kind);
    return row ? QString::fromUtf16(row->title) : QString();
}

bool HasRows(AnswerKind kind)
{
    return kind == AnswerKind::Receipts || kind == AnswerKind::RepoReceipts ||
           kind == AnswerKind::RevokeReceipts || kind == AnswerKind::RepoRevokeReceipts;
}

bool Answers(AnswerKind kind, bool refusal, const QString& requestName)
{
    if (refusal && HasRows(kind))
        return true;
    const auto is = [&](const char* name) { return requestName == QLatin1String(name); };
    switch (kind) {
    case AnswerKind::Receipts: return is("Deals");
    case AnswerKind::RepoReceipts: return is("RepoDeals");
    case AnswerKind::RevokeReceipts: return is("RevokeDeals");
    case AnswerKind::RepoRevokeReceipts: return is("RepoRevokeDeals");
    case AnswerKind::SubscribeResult: return is("SubscribeIssueList") || is("UnsubscribeIssueList");
    case AnswerKind::IssueList: return is("GetIssueList");
    case AnswerKind::None: break;
    }
    return false;
}

AnswerReader::AnswerReader(const QString& path) : reader_(path, answerOptions())
{
    const XmlElement& root = reader_.root();
    head_.root = root.name;
    head_.kind = AnswerKindOf(root.name);
    head_.request = root.attribute(QStringLiteral("Request"));
    head_.created = root.attribute(QStringLiteral("Created"));
    head_.status = root.attribute(QStringLiteral("Status"));
    head_.code = root.attribute(QStringLiteral("Code"));
    head_.text = root.attribute(QStringLiteral("Text"));
    head_.total = countOf(root, QStringLiteral("Total"));
    head_.accepted = countOf(root, QStringLiteral("Accepted"));
    head_.rejected = countOf(root, QStringLiteral("Rejected"));
}

bool AnswerReader::next(AnswerRow& row)
{
    if (!HasRows(head_.kind) || head_.refusal())
        return false;
    while (reader_.next(element_)) {
        if (element_.name.compare(u"Receipt", Qt::CaseInsensitive) != 0)
            continue;
        ++rows_;
        bool ok = false;
        const int n = element_.attribute(QStringLiteral("N")).trimmed().toInt(&ok);
        row.n = ok && n > 0 ? n : rows_;
        row.id = element_.attribute(QStringLiteral("Id"));
        row.agreement = element_.attribute(QStringLiteral("Agreement"));
        row.reference = element_.attribute(QStringLiteral("Reference"));
        row.direction = element_.attribute(QStringLiteral("Direction"));
        row.status = element_.attribute(QStringLiteral("Status"));
        row.code = element_.attribute(QStringLiteral("Code"));
        row.text = element_.attribute(QStringLiteral("Text"));
        return true;
    }
    return false;
}

RequestDocumentReader::RequestDocumentReader(const QString& path)
    : reader_(path, [] {
          XmlStreamOptions options;
          options.regularFileOnly = true;
          return options;
      }())
{
}

bool RequestDocumentReader::next(Attributes& row)
{
    if (!reader_.next(element_))
        return false;
    row = std::move(element_.attributes);
    element_.attributes = {};
    return true;
}

QString ValueOf(const Attributes& attributes, QStringView name)
{
    for (const auto& a : attributes) {
        if (a.first == name)
            return a.second;
    }
    return QString();
}

DealEntry DealOfRow(int n, Attributes row)
{
    DealEntry deal;
    deal.n = n;
    deal.agreement = ValueOf(row, u"Agreement");
    deal.reference = ValueOf(row, u"Reference");
    deal.participant = ValueOf(row, u"Participant");
    deal.issue = ValueOf(row, u"Issue");
    deal.direction = ValueOf(row, u"Direction");
    deal.target = ValueOf(row, u"Id");
    deal.fields = std::move(row);
    return deal;
}

} // namespace varnel::journal
