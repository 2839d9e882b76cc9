// revoke, journal and handbook: the revocation dialogs' request, the sending journal's list and
// its round, and the handbook commands of the main menu.
#include "cli/Commands.h"
#include "cli/RequestWait.h"
#include "core/SettingKeys.h"
#include "handbook/HandbookDiscovery.h"
#include "journal/Journal.h"
#include "journal/JournalModels.h"
#include "journal/JournalStore.h"
#include "journal/JournalSync.h"
#include "journal/JournalTable.h"
#include "messages/RequestKinds.h"
#include "messages/SendPipeline.h"
#include "revoke/RevocationForm.h"

#include <QDateTime>
#include <QLocale>
#include <QSet>

namespace varnel::cli {
namespace {

using journal::DealEntry;
using journal::RequestEntry;
using journal::Result;

// The state a deal is in, as --state names it.
QString dealState(const DealEntry& deal)
{
    if (deal.revoked != 0)
        return QStringLiteral("revoked");
    switch (deal.result) {
    case Result::Accepted: return QStringLiteral("accepted");
    case Result::Rejected: return QStringLiteral("rejected");
    case Result::Waiting: break;
    }
    return QStringLiteral("waiting");
}

QList<DealEntry> allDeals(journal::JournalStore& store, const RequestEntry& entry)
{
    QList<DealEntry> deals;
    for (;;) {
        const QList<DealEntry> page =
            store.deals(entry.id, deals.isEmpty() ? 0 : deals.last().n, 1000);
        if (page.isEmpty())
            return deals;
        deals << page;
    }
}

int journalRound()
{
    journal::SyncJob job;
    job.folder = journal::Journal::CurrentFolder();
    job.receive = journal::Journal::CurrentReceiveFolder();
    if (job.folder.isEmpty()) {
        Say(QStringLiteral("Рабочий каталог не задан или не существует: журнала отправок нет"));
        return kExitFailure;
    }
    const journal::SyncReport report = journal::RunSync(job);
    if (!report.setAside.isEmpty())
        Say(QStringLiteral("Журнал отправок был поврежден и сохранен как ") + report.setAside);
    if (!report.failure.isEmpty()) {
        Say(report.failure);
        return kExitFailure;
    }
    return kExitDone;
}

} // namespace

int RunRevoke(const CommandContext& context)
{
    const Arguments& arguments = context.arguments;
    const QString kindText = arguments.value(QStringLiteral("kind"));
    if (kindText != u"deals" && kindText != u"repo") {
        Say(QStringLiteral("--kind: deals или repo"));
        return kExitFailure;
    }
    const bool repo = kindText == u"repo";
    if (arguments.positional().isEmpty()) {
        Say(QStringLiteral("не заданы номера сделок в реестре"));
        return kExitFailure;
    }
    RevocationForm form(repo ? RevocationKind::Repo : RevocationKind::Deal);
    for (const QString& id : arguments.positional()) {
        RevocationFields fields = RevocationForm::OpeningFields();
        fields.id = id;
        if (repo) {
            // A repo deal is revoked a part at a time: ID:I or ID:S.
            const qsizetype colon = id.lastIndexOf(u':');
            if (colon < 0) {
                Say(id + QStringLiteral(": нужна часть сделки РЕПО, ID:I или ID:S"));
                return kExitFailure;
            }
            fields.id = id.left(colon);
            fields.direction = id.mid(colon + 1).trimmed().toUpper();
        }
        if (fields.id.trimmed().isEmpty() || !RevocationForm::IsIdAccepted(fields.id)) {
            Say(id + QStringLiteral(": ") + IdFormatText());
            return kExitFailure;
        }
        const Outcome added = Trapping([&] { form.Add(fields); });
        if (!added.done()) {
            Say(id + QStringLiteral(": ") + added.failure);
            return kExitFailure;
        }
    }
    const QString reply = arguments.has(QStringLiteral("reply"))
                              ? arguments.value(QStringLiteral("reply"))
                              : QStringLiteral("Short");
    return PlaceAndFollow(
        context, form.requestName(), [&](QString* target) { return form.Place(reply, target); },
        form.list().rowCount(), false);
}

int RunJournal(const CommandContext& context)
{
    const Arguments& arguments = context.arguments;
    const QStringList& positional = arguments.positional();
    if (positional == QStringList{QStringLiteral("take")})
        return journalRound();
    if (!positional.isEmpty()) {
        Say(QStringLiteral("journal: лишние аргументы: ") + positional.join(u' '));
        return kExitFailure;
    }

    journal::RequestFilter filter;
    if (!PeriodOptions(arguments, filter.from, filter.to))
        return kExitFailure;
    const bool deals = arguments.has(QStringLiteral("deals"));
    QString state;
    if (arguments.has(QStringLiteral("state"))) {
        state = arguments.value(QStringLiteral("state"));
        static const QStringList states{QStringLiteral("waiting"), QStringLiteral("accepted"),
                                        QStringLiteral("rejected"), QStringLiteral("revoked")};
        if (!states.contains(state)) {
            Say(QStringLiteral("--state: waiting, accepted, rejected или revoked"));
            return kExitFailure;
        }
        // The list's own filters for the requests; revoked deals are looked for below.
        if (!deals && state == u"waiting")
            filter.status = journal::RequestFilter::Status::Waiting;
        else if (!deals && state == u"accepted")
            filter.status = journal::RequestFilter::Status::Accepted;
        else if (!deals && state == u"rejected")
            filter.status = journal::RequestFilter::Status::WithRejected;
    }

    const QString folder = journal::Journal::CurrentFolder();
    journal::JournalStore store(folder.isEmpty() ? QString()
                                                 : journal::JournalStore::FileIn(folder));
    journal::RequestListModel list;
    QList<RequestEntry> kept;
    QSet<int> listed; // the rows of the list kept
    const Outcome printed = journal::StoreOutcome([&] {
        if (!folder.isEmpty() && store.open(false)) {
            if (const Outcome read = list.reload(&store, filter); !read.done())
                return read;
        }
        for (int r = 0; r < list.rows(); ++r) {
            const RequestEntry& entry = list.entry(r);
            if (entry.answerOnly && (deals || !state.isEmpty()))
                continue;
            if (!deals && state == u"revoked") {
                bool revoked = false;
                for (const DealEntry& deal : allDeals(store, entry))
                    revoked = revoked || deal.revoked != 0;
                if (!revoked)
                    continue;
            }
            kept << entry;
            listed.insert(r);
        }

        if (!deals) {
            // The columns of the journal window's list and its export.
            const journal::RequestTable table(list);
            static const char* const keys[] = {"time",  "kind",     "file",     "participant",
                                               "deals", "accepted", "rejected", "waiting",
                                               "code",  "message"};
            QList<OutputColumn> columns;
            const QStringList titles = table.columnTitles();
            for (int c = 0; c < titles.size(); ++c)
                columns.append({QString::fromLatin1(keys[c]), titles.at(c)});
            Output out(context.json, columns);
            QList<TableCell> cells;
            for (int r = 0; r < list.rows(); ++r) {
                const RequestEntry& entry = list.entry(r);
                if (!listed.contains(r))
                    continue;
                cells.clear();
                table.rowCells(r, cells);
                QJsonObject more;
                more.insert(QStringLiteral("request"), entry.kind);
                more.insert(QStringLiteral("sent"), entry.sent);
                more.insert(QStringLiteral("answered"), entry.answered);
                more.insert(QStringLiteral("answer_only"), entry.answerOnly);
                more.insert(QStringLiteral("corrected"), entry.corrected);
                out.row(cells, more);
            }
            out.finish();
            return Outcome::Done();
        }

        Output out(context.json, JournalDealColumns());
        for (const RequestEntry& entry : kept) {
            journal::DealListModel model;
            if (const Outcome read = model.show(&store, entry); !read.done())
                return read;
            while (model.canFetchMore(QModelIndex()))
                model.fetchMore(QModelIndex());
            for (int r = 0; r < model.rows(); ++r) {
                const DealEntry& deal = model.deal(r);
                const QString dealStateText = dealState(deal);
                if (!state.isEmpty() && dealStateText != state)
                    continue;
                QList<TableCell> cells{TableCell::textCell(entry.file),
                                       TableCell::numberCell(QString::number(deal.n))};
                for (int c = 1; c < journal::DealListModel::ColumnCount; ++c)
                    cells << TableCell::textCell(
                        model.data(model.index(r, c), Qt::DisplayRole).toString());
                QJsonObject more;
                more.insert(QStringLiteral("request"), entry.kind);
                more.insert(QStringLiteral("result"), dealStateText);
                more.insert(QStringLiteral("code"), deal.code);
                more.insert(QStringLiteral("text"), deal.text);
                out.row(cells, more);
            }
        }
        out.finish();
        return Outcome::Done();
    });
    if (printed.failed()) {
        Say(printed.failure);
        return kExitFailure;
    }
    return kExitDone;
}

int RunHandbook(const CommandContext& context)
{
    const QStringList& positional = context.arguments.positional();
    if (positional == QStringList{QStringLiteral("request")}) {
        const QString requestName = RequestName(OutgoingRequest::GetIssueList);
        return PlaceAndFollow(
            context, requestName,
            [&](QString* target) { return PlaceRequest(requestName, {}, target); }, 0, false);
    }
    if (positional != QStringList{QStringLiteral("find")}) {
        Say(QStringLiteral("handbook: request или find"));
        return kExitFailure;
    }
    // The user asked for the newest handbook: the command's question is answered Yes.
    context.dialogs.answerQuestions(Answer::Yes);
    HandbookFindContext find;
    find.dateTimeText = [](const QDateTime& time) {
        return QLocale::system().toString(time.toLocalTime(),
                                          QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    };
    bool found = false;
    const Outcome outcome = Trapping([&] { found = FindHandbook(find); });
    context.dialogs.answerQuestions(std::nullopt);
    if (!outcome.done()) {
        Say(outcome.failure);
        return kExitFailure;
    }
    Output out(context.json, {{QStringLiteral("handbook"), QStringLiteral("Справочник ЦБ")},
                              {QStringLiteral("changed"), QStringLiteral("Сделан текущим")}});
    QJsonObject changed;
    changed.insert(QStringLiteral("changed"), found);
    out.row({TableCell::textCell(CurrentHandbookPath()),
             TableCell::textCell(found ? QStringLiteral("да") : QStringLiteral("нет"))},
            changed);
    out.finish();
    return found ? kExitDone : kExitRefused;
}

} // namespace varnel::cli
