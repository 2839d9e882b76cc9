#include "cli/RequestWait.h"

#include "journal/Journal.h"
#include "journal/JournalModels.h"
#include "journal/JournalStore.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <memory>
#include <optional>

namespace varnel::cli {
namespace {

using journal::DealEntry;
using journal::JournalStore;
using journal::RequestEntry;
using journal::Result;

QString resultKey(const DealEntry& deal)
{
    switch (deal.result) {
    case Result::Accepted: return QStringLiteral("accepted");
    case Result::Rejected: return QStringLiteral("rejected");
    case Result::Waiting: break;
    }
    return QStringLiteral("waiting");
}

// The request the journal recorded for the file placed at sent (or later), once it is there.
class JournalLook {
public:
    JournalLook(QString kind, QString file, const QDate& sent)
        : kind_(std::move(kind)), file_(std::move(file)), sent_(sent)
    {
    }

    std::optional<RequestEntry> find()
    {
        std::optional<RequestEntry> found;
        const Outcome read = journal::StoreOutcome([&] {
            if (!store_) {
                const QString folder = journal::Journal::CurrentFolder();
                if (folder.isEmpty())
                    return Outcome::Done();
                store_ = std::make_unique<JournalStore>(JournalStore::FileIn(folder));
            }
            if (!store_->isOpen() && !store_->open(false))
                return Outcome::Done();
            journal::RequestFilter filter;
            filter.from = sent_;
            for (const RequestEntry& entry : store_->requests(filter)) {
                if (!entry.answerOnly && entry.file == file_ && entry.kind == kind_) {
                    found = entry;
                    break;
                }
            }
            return Outcome::Done();
        });
        if (read.failed()) {
            failure_ = read.failure;
            store_.reset();
        }
        return found;
    }

    JournalStore* store() { return store_.get(); }
    const QString& failure() const { return failure_; }

private:
    QString kind_;
    QString file_;
    QDate sent_;
    std::unique_ptr<JournalStore> store_;
    QString failure_;
};

// The deals of the request as the journal lists them. Returns the exit status they make.
int printDeals(const CommandContext& context, JournalStore& store, const RequestEntry& entry)
{
    journal::DealListModel model;
    if (const Outcome read = model.show(&store, entry); read.failed()) {
        Say(read.failure);
        return kExitFailure;
    }
    while (model.canFetchMore(QModelIndex()))
        model.fetchMore(QModelIndex());
    Output out(context.json, JournalDealColumns());
    // A request refused as a whole has every deal (or itself) rejected.
    bool rejected = entry.rejected > 0;
    for (int r = 0; r < model.rows(); ++r) {
        const DealEntry& deal = model.deal(r);
        QList<TableCell> cells{TableCell::textCell(entry.file),
                               TableCell::numberCell(QString::number(deal.n))};
        for (int c = 1; c < journal::DealListModel::ColumnCount; ++c)
            cells << TableCell::textCell(model.data(model.index(r, c), Qt::DisplayRole).toString());
        QJsonObject more;
        more.insert(QStringLiteral("result"), resultKey(deal));
        more.insert(QStringLiteral("code"), deal.code);
        more.insert(QStringLiteral("text"), deal.text);
        out.row(cells, more);
        if (deal.result == Result::Rejected)
            rejected = true;
    }
    out.finish();
    if (!entry.code.isEmpty())
        Say(QStringLiteral("Ответ реестра на запрос ") + entry.file + QStringLiteral(": ") +
            entry.code + (entry.text.isEmpty() ? QString() : u' ' + entry.text));
    return rejected ? kExitRefused : kExitDone;
}

} // namespace

QList<OutputColumn> JournalDealColumns()
{
    static const char* const keys[journal::DealListModel::ColumnCount] = {
        "n",         "agreement",   "reference",   "participant", "issue",
        "direction", "result_text", "registry_id", "message"};
    const journal::DealListModel titles;
    QList<OutputColumn> columns{{QStringLiteral("file"), QStringLiteral("Файл")}};
    for (int c = 0; c < journal::DealListModel::ColumnCount; ++c)
        columns.append({QString::fromLatin1(keys[c]),
                        titles.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()});
    return columns;
}

int PlaceAndFollow(const CommandContext& context, const QString& requestName,
                   const std::function<Outcome(QString* target)>& place, int deals,
                   bool someRefused)
{
    const Arguments& arguments = context.arguments;
    std::optional<int> wait;
    if (arguments.has(QStringLiteral("wait"))) {
        wait = ParseSeconds(arguments.value(QStringLiteral("wait")));
        if (!wait) {
            Say(QStringLiteral("--wait: нужно число секунд, а не ") +
                arguments.value(QStringLiteral("wait")));
            return kExitFailure;
        }
    }

    // The journal of this run: it records the request as the client's journal would, and takes
    // in the answers. Its rounds run beside this thread.
    journal::Journal journal;
    QObject::connect(&journal, &journal::Journal::notice, [](const QString& text) { Say(text); });
    journal.start();
    const QDate sentDay = QDate::currentDate();
    QString target;
    const Outcome placed = place(&target);
    if (!placed.done()) {
        journal.waitForSync();
        if (placed.failed())
            Say(placed.failure);
        return kExitFailure;
    }
    Say(QStringLiteral("Запрос ") + requestName + QStringLiteral(" отправлен: ") + target);
    const QString file = QFileInfo(target).fileName();

    if (!wait) {
        journal.waitForSync();
        Output out(context.json, {{QStringLiteral("request"), QStringLiteral("Запрос")},
                                  {QStringLiteral("file"), QStringLiteral("Файл")},
                                  {QStringLiteral("deals"), QStringLiteral("Сделок")}});
        out.row({TableCell::textCell(requestName), TableCell::textCell(target),
                 TableCell::numberCell(QString::number(deals))});
        out.finish();
        return someRefused ? kExitRefused : kExitDone;
    }

    // Each round of the journal ends in synced: the request is looked up then, until it is
    // answered or the time given is over.
    JournalLook look(requestName, file, sentDay);
    std::optional<RequestEntry> entry;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    const auto lookUp = [&] {
        entry = look.find();
        if (entry && entry->answered && entry->waiting() <= 0)
            loop.quit();
    };
    TerminalProgress progress;
    progress.stage(QStringLiteral("Ожидание ответа реестра на запрос ") + file);
    QObject::connect(&journal, &journal::Journal::synced, &loop, lookUp);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The client or another program on the same folder may take the answer in before a round
    // of this one does, and this one's rounds then find nothing new: the journal tells of
    // every change of its database made elsewhere.
    QObject::connect(&journal, &journal::Journal::changedElsewhere, &loop, lookUp);
    timeout.start(*wait * 1000);
    journal.sync();
    lookUp();
    if (!(entry && entry->answered && entry->waiting() <= 0))
        loop.exec();
    timeout.stop();
    progress.stage(QString());
    journal.waitForSync();
    entry = look.find();
    if (!look.failure().isEmpty())
        Say(look.failure());
    if (!entry || !look.store()) {
        Say(QStringLiteral("Журнал отправок не показывает запрос ") + file);
        return kExitNoAnswer;
    }
    const int status = printDeals(context, *look.store(), *entry);
    if (!entry->answered || entry->waiting() > 0) {
        Say(QStringLiteral("Нет ответа на запрос ") + file + QStringLiteral(" за %1 с").arg(*wait));
        return kExitNoAnswer;
    }
    return someRefused ? kExitRefused : status;
}

} // namespace varnel::cli
