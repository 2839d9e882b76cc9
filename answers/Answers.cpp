#include "answers/Answers.h"

namespace varnel {
namespace {

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

const QList<AnswerKindRow>& AnswerKindTable()
{
    static const QList<AnswerKindRow> table = {
        {AnswerKind::Receipts, QStringLiteral("Receipts"), QStringLiteral("Квитанции по отчету"),
         settings::kSchemaDeals, false},
        {AnswerKind::RepoReceipts, QStringLiteral("RepoReceipts"),
         QStringLiteral("Квитанции по отчету РЕПО"), settings::kSchemaRepoDeals, false},
        {AnswerKind::IssueList, QStringLiteral("IssueList"), QStringLiteral("Справочник ЦБ"),
         settings::kSchemaIssueList, false},
        {AnswerKind::SubscribeResult, QStringLiteral("SubscribeResult"),
         QStringLiteral("Ответ о подписке на справочник ЦБ"), settings::kSchemaIssueListSubscribe,
         false},
        {AnswerKind::RevokeReceipts, QStringLiteral("RevokeReceipts"),
         QStringLiteral("Квитанции об удалении сделок"), settings::kSchemaDealsRevoke, true},
        {AnswerKind::RepoRevokeReceipts, QStringLiteral("RepoRevokeReceipts"),
         QStringLiteral("Квитанции об удалении сделок РЕПО"), settings::kSchemaRepoDealsRevoke,
         true},
    };
    return table;
}

const AnswerKindRow* AnswerKindRowOf(AnswerKind kind)
{
    for (const AnswerKindRow& row : AnswerKindTable()) {
        if (row.kind == kind)
            return &row;
    }
    return nullptr;
}

AnswerKind AnswerKindOf(const QString& rootName)
{
    for (const AnswerKindRow& row : AnswerKindTable()) {
        if (rootName.compare(row.root, Qt::CaseInsensitive) == 0)
            return row.kind;
    }
    return AnswerKind::None;
}

QString AnswerKindName(AnswerKind kind)
{
    const AnswerKindRow* row = AnswerKindRowOf(kind);
    return row ? row->root : QString();
}

QString AnswerKindTitle(AnswerKind kind)
{
    const AnswerKindRow* row = AnswerKindRowOf(kind);
    return row ? row->title : QString();
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

} // namespace varnel
