// Judging one request: its document read row by row, each row checked and recorded, and the
// answer planned; or the whole request refused.
#include "Registry.h"

#include "Answer.h"
#include "DealRules.h"
#include "RequestReader.h"

#include <QDate>

#include <optional>

namespace loopback {

namespace {

std::optional<Language> languageOf(const QString& text)
{
    if (text.compare(u"RU", Qt::CaseInsensitive) == 0)
        return Language::RU;
    if (text.compare(u"EN", Qt::CaseInsensitive) == 0)
        return Language::EN;
    return std::nullopt;
}

QString languageName(Language language)
{
    return language == Language::EN ? QStringLiteral("EN") : QStringLiteral("RU");
}

const char16_t* answerRoot(RequestKind kind)
{
    switch (kind) {
    case RequestKind::RepoDeals: return u"RepoReceipts";
    case RequestKind::RevokeDeals: return u"RevokeReceipts";
    case RequestKind::RepoRevokeDeals: return u"RepoRevokeReceipts";
    case RequestKind::SubscribeIssueList:
    case RequestKind::UnsubscribeIssueList: return u"SubscribeResult";
    default: return u"Receipts";
    }
}

// The answer to one revocation row: the deal it names, or why none.
struct Revocation {
    std::optional<Message> message;
    DealStore::Found deal;
};

Revocation judgeRevocation(DealStore& store, RequestKind kind, const Attributes& row,
                           Language language)
{
    const bool repo = kind == RequestKind::RepoRevokeDeals;
    const QString id = TrimBlanks(ValueOf(row, u"Id"));
    const QString agreement = TrimBlanks(ValueOf(row, u"Agreement"));
    const QString reference = TrimBlanks(ValueOf(row, u"Reference"));
    const QString participant = TrimBlanks(ValueOf(row, u"Participant"));
    const QString direction = TrimBlanks(ValueOf(row, u"Direction"));
    const QString label = !id.isEmpty() ? id : !reference.isEmpty() ? reference : agreement;
    auto fail = [&](Code code, const QString& v2 = QString()) {
        return Revocation{MakeMessage(code, language, label, v2), {}};
    };

    DealStore::Found deal;
    if (!id.isEmpty()) {
        const std::optional<DealStore::Found> found = store.findById(kind, id);
        if (!found)
            return fail(Code::S80);
        if (!participant.isEmpty() && found->participant != participant)
            return fail(Code::S82);
        deal = *found;
    } else if (!reference.isEmpty() || !agreement.isEmpty()) {
        // A deal is known by its Reference, or by its Agreement when it has no Reference.
        const QList<DealStore::Found> all = store.findByKeys(kind, agreement, reference);
        QList<DealStore::Found> named;
        for (const DealStore::Found& f : all) {
            if (!reference.isEmpty() && !agreement.isEmpty() && f.agreement != agreement)
                continue;
            if (reference.isEmpty() && !f.reference.isEmpty())
                continue;
            named.append(f);
        }
        QList<DealStore::Found> mine, active;
        for (const DealStore::Found& f : named) {
            if (participant.isEmpty() || f.participant == participant)
                mine.append(f);
        }
        for (const DealStore::Found& f : mine) {
            if (f.active)
                active.append(f);
        }
        if (active.size() == 1)
            deal = active.first();
        else if (active.size() > 1) // several participants' deals, and no participant named
            return fail(Code::S80);
        else if (!mine.isEmpty())
            return fail(Code::S81);
        else if (!named.isEmpty())
            return fail(Code::S82);
        else
            return fail(Code::S80);
    } else {
        return fail(Code::S80);
    }

    if (!repo) {
        if (!deal.active)
            return fail(Code::S81);
        return Revocation{std::nullopt, deal};
    }
    if (direction != u"I" && direction != u"S")
        return fail(Code::S83, direction);
    if (!deal.active || (direction == u"I" ? deal.revokedI : deal.revokedS))
        return fail(Code::S81);
    return Revocation{std::nullopt, deal};
}

} // namespace

Registry::Outcome Registry::judge(RequestReader& reader, const QString& requestName, Plan& plan)
{
    const KindInfo* byName = KindByFileName(requestName);
    if (!reader.readRoot()) {
        if (reader.ioError() != 0)
            return Outcome::Retry;
        refuse(byName, Language::RU, QString(), QString(), requestName,
               MakeMessage(Code::S98, Language::RU, reader.faultText(Language::RU)), plan);
        return Outcome::Answered;
    }
    const Attributes& root = reader.rootAttributes();
    const QString languageText = ValueOf(root, u"Language");
    const std::optional<Language> known = languageOf(languageText);
    const Language language = known.value_or(Language::RU);
    const QString replyType = ValueOf(root, u"ReplyType");
    const KindInfo* byRoot = KindByRoot(reader.rootName());
    const QString echo = known ? languageName(language) : languageText;

    if (!byRoot || (byName && byName != byRoot)) {
        const QString why =
            byName ? FormatFaultText(FormatFault::Root, language, QString::fromLatin1(byName->root))
                   : FormatFaultText(FormatFault::UnknownRoot, language, reader.rootName());
        refuse(byName, language, echo, replyType, requestName,
               MakeMessage(Code::S98, language, why), plan);
        return Outcome::Answered;
    }
    if (!known) {
        refuse(byRoot, Language::RU, languageText, replyType, requestName,
               MakeMessage(Code::S99, Language::RU, languageText), plan);
        return Outcome::Answered;
    }

    const RequestKind kind = byRoot->kind;
    reader.expectRows(QString::fromLatin1(byRoot->row));
    switch (kind) {
    case RequestKind::Deals:
    case RequestKind::RepoDeals: return judgeDeals(reader, kind, language, echo, requestName, plan);
    case RequestKind::RevokeDeals:
    case RequestKind::RepoRevokeDeals:
        return judgeRevocations(reader, kind, language, echo, replyType, requestName, plan);
    default: break;
    }

    // The handbook requests hold nothing but their element; the whole document is read.
    Attributes none;
    while (reader.nextRow(none)) {
    }
    if (reader.failed()) {
        if (reader.ioError() != 0)
            return Outcome::Retry;
        refuse(byRoot, language, echo, replyType, requestName,
               MakeMessage(Code::S98, language, reader.faultText(language)), plan);
        return Outcome::Answered;
    }
    if (kind == RequestKind::GetIssueList) {
        if (!handbook_.loaded()) {
            refuse(byRoot, language, echo, replyType, requestName, MakeMessage(Code::S97, language),
                   plan);
            return Outcome::Answered;
        }
        plan.copyOf = handbook_.path();
        plan.summary = QStringLiteral("GetIssueList, the handbook %1 (%2 issues)")
                           .arg(handbook_.path())
                           .arg(handbook_.size());
        return Outcome::Answered;
    }

    const bool subscribe = kind == RequestKind::SubscribeIssueList;
    const bool before = store_.subscribed();
    std::optional<Message> message;
    if (subscribe && before)
        message = MakeMessage(Code::S90, language);
    else if (!subscribe && !before)
        message = MakeMessage(Code::S91, language);
    else
        store_.setSubscribed(subscribe);
    const bool after = message ? before : subscribe;
    plan.head = DeclarationLine();
    AppendStartTag(
        plan.head, u"SubscribeResult",
        {{QStringLiteral("Language"), echo},
         {QStringLiteral("Created"), CreatedText()},
         {QStringLiteral("Request"), requestName},
         {QStringLiteral("Action"),
          subscribe ? QStringLiteral("Subscribe") : QStringLiteral("Unsubscribe")},
         {QStringLiteral("Status"),
          message ? QStringLiteral("Rejected") : QStringLiteral("Accepted")},
         {QStringLiteral("Subscribed"), after ? QStringLiteral("1") : QStringLiteral("0")},
         {QStringLiteral("Code"), message ? message->code : QString()},
         {QStringLiteral("Text"), message ? message->text : QString()}},
        true);
    plan.summary = QStringLiteral("%1, %2").arg(
        QString::fromLatin1(byRoot->root),
        message ? message->text
                : (after ? QStringLiteral("subscribed") : QStringLiteral("unsubscribed")));
    return Outcome::Answered;
}

Registry::Outcome Registry::refuseUnread(RequestReader& reader, RequestKind kind, Language language,
                                         const QString& languageText, const QString& replyType,
                                         const QString& requestName, Plan& plan)
{
    if (reader.ioError() != 0)
        return Outcome::Retry;
    store_.undoToMark();
    refuse(&InfoOf(kind), language, languageText, replyType, requestName,
           MakeMessage(Code::S98, language, reader.faultText(language)), plan);
    return Outcome::Answered;
}

bool Registry::keepRow(Plan& plan, const QByteArray& line)
{
    if (const int result = plan.rows->append(line)) {
        note(QStringLiteral("spool"),
             QStringLiteral("answer rows cannot be kept: %1").arg(ErrorText(result)));
        return false;
    }
    return true;
}

Registry::Outcome Registry::judgeRows(RequestReader& reader, RequestKind kind, Language language,
                                      const QString& languageText, const QString& replyType,
                                      const QString& requestName, Plan& plan,
                                      const RowJudge& judgeRow)
{
    plan.rows = std::make_unique<RowSpool>(answersFolder());
    const QString at = CreatedText();
    int total = 0;
    int accepted = 0;
    Attributes row;
    QByteArray line;
    while (reader.nextRow(row)) {
        if (stopping())
            return Outcome::Stopped;
        ++total;
        line.truncate(0);
        if (judgeRow(row, total, at, line))
            ++accepted;
        if (!keepRow(plan, line))
            return Outcome::Retry;
    }
    if (reader.failed())
        return refuseUnread(reader, kind, language, languageText, replyType, requestName, plan);
    const QString root = QString::fromUtf16(answerRoot(kind));
    Attributes attributes{{QStringLiteral("Language"), languageText},
                          {QStringLiteral("Created"), at},
                          {QStringLiteral("Request"), requestName}};
    if (kind == RequestKind::RepoRevokeDeals)
        attributes.append({QStringLiteral("ReplyType"), replyType});
    attributes.append({QStringLiteral("Total"), QString::number(total)});
    attributes.append({QStringLiteral("Accepted"), QString::number(accepted)});
    attributes.append({QStringLiteral("Rejected"), QString::number(total - accepted)});
    plan.head = DeclarationLine();
    AppendStartTag(plan.head, root, attributes, false);
    AppendEndTag(plan.tail, root);
    plan.summary = QStringLiteral("%1, %2 rows, %3 accepted, %4 rejected")
                       .arg(QString::fromLatin1(InfoOf(kind).root))
                       .arg(total)
                       .arg(accepted)
                       .arg(total - accepted);
    return Outcome::Answered;
}

Registry::Outcome Registry::judgeDeals(RequestReader& reader, RequestKind kind, Language language,
                                       const QString& languageText, const QString& requestName,
                                       Plan& plan)
{
    const QDate today = QDate::currentDate();
    const auto judgeRow = [&](const Attributes& row, int n, const QString& at, QByteArray& line) {
        std::optional<Message> message = CheckDeal(kind, row, language, &handbook_);
        const QString participant = TrimBlanks(ValueOf(row, u"Participant"));
        const QString agreement = TrimBlanks(ValueOf(row, u"Agreement"));
        const QString reference = TrimBlanks(ValueOf(row, u"Reference"));
        // An earlier accepted deal of the participant that is not revoked: the Reference
        // decides; a deal without one is known by its Agreement.
        if (!message && !reference.isEmpty()) {
            if (store_.hasActiveReference(kind, participant, reference))
                message = MakeMessage(Code::S52, language, participant, reference);
        } else if (!message && !agreement.isEmpty()) {
            if (store_.hasActiveAgreement(kind, participant, agreement))
                message = MakeMessage(Code::S54, language, participant, agreement);
        }
        QString id;
        if (!message) {
            id = store_.nextId(today);
            store_.insertDeal({id, kind, participant, agreement, reference,
                               TrimBlanks(ValueOf(row, u"Issue")), requestName, n, row},
                              at);
        }
        AppendStartTag(line, u"Receipt",
                       {{QStringLiteral("N"), QString::number(n)},
                        {QStringLiteral("Id"), id},
                        {QStringLiteral("Agreement"), ValueOf(row, u"Agreement")},
                        {QStringLiteral("Reference"), ValueOf(row, u"Reference")},
                        {QStringLiteral("Participant"), ValueOf(row, u"Participant")},
                        {QStringLiteral("Issue"), ValueOf(row, u"Issue")},
                        {QStringLiteral("Status"),
                         message ? QStringLiteral("Rejected") : QStringLiteral("Accepted")},
                        {QStringLiteral("Code"), message ? message->code : QString()},
                        {QStringLiteral("Text"), message ? message->text : QString()}},
                       true);
        return !message;
    };
    return judgeRows(reader, kind, language, languageText, QString(), requestName, plan, judgeRow);
}

Registry::Outcome Registry::judgeRevocations(RequestReader& reader, RequestKind kind,
                                             Language language, const QString& languageText,
                                             const QString& replyType, const QString& requestName,
                                             Plan& plan)
{
    const bool repo = kind == RequestKind::RepoRevokeDeals;
    const auto judgeRow = [&](const Attributes& row, int n, const QString& at, QByteArray& line) {
        const Revocation revocation = judgeRevocation(store_, kind, row, language);
        const bool ok = !revocation.message;
        if (ok)
            store_.revoke(kind, revocation.deal.id,
                          repo ? TrimBlanks(ValueOf(row, u"Direction")) : QString(), at);
        // What the request named; an accepted row also tells what it left out.
        auto echo = [&](const char16_t* name, const QString& known) {
            const QString given = ValueOf(row, name);
            return ok && TrimBlanks(given).isEmpty() ? known : given;
        };
        Attributes out{
            {QStringLiteral("N"), QString::number(n)},
            {QStringLiteral("Id"), echo(u"Id", revocation.deal.id)},
            {QStringLiteral("Agreement"), echo(u"Agreement", revocation.deal.agreement)},
            {QStringLiteral("Reference"), echo(u"Reference", revocation.deal.reference)}};
        if (repo)
            out.append({QStringLiteral("Direction"), ValueOf(row, u"Direction")});
        else
            out.append(
                {QStringLiteral("Participant"), echo(u"Participant", revocation.deal.participant)});
        out.append({QStringLiteral("Status"),
                    ok ? QStringLiteral("Accepted") : QStringLiteral("Rejected")});
        out.append({QStringLiteral("Code"), ok ? QString() : revocation.message->code});
        out.append({QStringLiteral("Text"), ok ? QString() : revocation.message->text});
        AppendStartTag(line, u"Receipt", out, true);
        return ok;
    };
    return judgeRows(reader, kind, language, languageText, replyType, requestName, plan, judgeRow);
}

void Registry::refuse(const KindInfo* shape, Language language, const QString& languageText,
                      const QString& replyType, const QString& requestName, const Message& message,
                      Plan& plan)
{
    const RequestKind kind = shape ? shape->kind : RequestKind::Deals;
    const QString echo = languageText.isEmpty() ? languageName(language) : languageText;
    plan.rows.reset();
    plan.copyOf.clear();
    plan.tail.clear();
    plan.head = DeclarationLine();
    const QString root = QString::fromUtf16(answerRoot(kind));
    if (kind == RequestKind::SubscribeIssueList || kind == RequestKind::UnsubscribeIssueList) {
        const bool subscribed = store_.subscribed();
        AppendStartTag(
            plan.head, root,
            {{QStringLiteral("Language"), echo},
             {QStringLiteral("Created"), CreatedText()},
             {QStringLiteral("Request"), requestName},
             {QStringLiteral("Action"), kind == RequestKind::SubscribeIssueList
                                            ? QStringLiteral("Subscribe")
                                            : QStringLiteral("Unsubscribe")},
             {QStringLiteral("Status"), QStringLiteral("Rejected")},
             {QStringLiteral("Subscribed"), subscribed ? QStringLiteral("1") : QStringLiteral("0")},
             {QStringLiteral("Code"), message.code},
             {QStringLiteral("Text"), message.text}},
            true);
    } else {
        Attributes attributes{{QStringLiteral("Language"), echo},
                              {QStringLiteral("Created"), CreatedText()},
                              {QStringLiteral("Request"), requestName}};
        if (kind == RequestKind::RepoRevokeDeals)
            attributes.append({QStringLiteral("ReplyType"), replyType});
        attributes.append({QStringLiteral("Code"), message.code});
        attributes.append({QStringLiteral("Text"), message.text});
        AppendStartTag(plan.head, root, attributes, false);
        AppendEndTag(plan.tail, root);
    }
    plan.summary = QStringLiteral("refused, %1").arg(message.text);
}
} // namespace loopback
