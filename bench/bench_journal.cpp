// The sending journal on generated data, each figure next to a baseline of the same run:
//   1. a journal of 10,000 requests and 1,000,000 deals (VARNEL_BENCH_REQUESTS and
//      VARNEL_BENCH_DEALS for other sizes), every request answered, opened as the window opens
//      it: the database, the list of requests in its model and the newest request's deals;
//      next to `cat` of the database file;
//   2. a 10,000-deal request recorded from the spool, and its 10,000-row receipt taken in, each
//      round on a fresh copy of a journal; next to `xmllint --noout --stream` on the receipt.
//
//   bench_journal [folder]     work folder (default: a temporary one)
#include "BenchProcess.h"

#include "journal/JournalDocuments.h"
#include "journal/JournalModels.h"
#include "journal/JournalStore.h"
#include "journal/JournalSync.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace varnel;
using namespace varnel::journal;
using namespace varnel::bench;

namespace {
const int kRequests = Setting("VARNEL_BENCH_REQUESTS", 10000);
const int kDeals = Setting("VARNEL_BENCH_DEALS", 1000000);
constexpr int kReceiptDeals = 10000;
constexpr int kRuns = 3;

// The attributes of a deal as the client writes a row of the shipped layout.
Attributes dealRow(int i)
{
    const QString n = QStringLiteral("%1").arg(i, 7, 10, QLatin1Char('0'));
    return {
        {QStringLiteral("Participant"), QStringLiteral("MC0001200000")},
        {QStringLiteral("Issue"), QStringLiteral("SNEN-AO%1").arg(i % 40)},
        {QStringLiteral("ISIN"), QStringLiteral("RU000ZV0%1").arg(i % 10000, 4, 10, QChar(u'0'))},
        {QStringLiteral("RegNum"), QStringLiteral("1-01-%1-A").arg(i % 99999, 5, 10, QChar(u'0'))},
        {QStringLiteral("Agreement"), QStringLiteral("Д-") + n + QStringLiteral("/24")},
        {QStringLiteral("Reference"), QStringLiteral("IN-") + n},
        {QStringLiteral("TradeDate"), QStringLiteral("2024-03-15")},
        {QStringLiteral("SettleDate"), QStringLiteral("2024-03-18")},
        {QStringLiteral("Side"), i % 2 ? QStringLiteral("S") : QStringLiteral("B")},
        {QStringLiteral("Counterparty"), QStringLiteral("MC00%1").arg(i % 500)},
        {QStringLiteral("Price"), QStringLiteral("%1.25").arg(100 + i % 900)},
        {QStringLiteral("Currency"), QStringLiteral("RUB")},
        {QStringLiteral("Qty"), QString::number(10 + i % 1000)},
        {QStringLiteral("Amount"), QString::number((100 + i % 900) * (10 + i % 1000))},
        {QStringLiteral("Comment"), QStringLiteral("сделка ") + n}};
}

// Every request a report of its share of the deals, sent over the last 60 days, and answered:
// one deal in ten rejected.
void buildJournal(const QString& folder)
{
    QDir().mkpath(folder);
    JournalStore store(JournalStore::FileIn(folder));
    store.open(true);
    const int perRequest = std::max(1, kDeals / kRequests);
    const QDateTime start = QDateTime::currentDateTime().addDays(-60);
    int deal = 0;
    for (int r = 0; r < kRequests; ++r) {
        const QString sent =
            start.addSecs(qint64(r) * 60 * 60 * 24 * 60 / kRequests).toString(Qt::ISODateWithMs);
        const QString file = QStringLiteral("DL%1.xml").arg(r, 4, 16, QLatin1Char('0'));
        int n = 0;
        const qint64 id = store.recordRequest(QStringLiteral("Deals"), file, sent,
                                              QStringLiteral("MC0001200000"), [&](DealEntry& d) {
                                                  if (n == perRequest)
                                                      return false;
                                                  d = DealOfRow(++n, dealRow(deal++));
                                                  return true;
                                              });
        AnswerHead head;
        head.kind = AnswerKind::Receipts;
        head.request = file;
        int k = 0;
        store.takeAnswer(
            {folder + QStringLiteral("/receive/") + file, 100, r}, head, id, [&](AnswerRow& row) {
                if (k == perRequest)
                    return false;
                row = AnswerRow();
                row.n = ++k;
                row.status = k % 10 == 0 ? QStringLiteral("Rejected") : QStringLiteral("Accepted");
                row.id =
                    row.status == u"Accepted" ? QString::number(qint64(r) * 1000 + k) : QString();
                row.code = k % 10 == 0 ? QStringLiteral("S16") : QString();
                return true;
            });
    }
}

QByteArray cp1251(const QString& text)
{
    QStringEncoder encode("windows-1251");
    return encode.encode(text);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QByteArray requestDocument()
{
    QString body = QStringLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<!-- "
                                  "Message has been generated with Varnel Client version 2.1.0 "
                                  "-->\r\n<deals Language=\"RU\">\r\n");
    for (int i = 0; i < kReceiptDeals; ++i) {
        body += QStringLiteral("<deal");
        for (const auto& [name, value] : dealRow(i))
            body += u' ' + name + QStringLiteral("=\"") + value + u'"';
        body += QStringLiteral(" />\r\n");
    }
    return cp1251(body + QStringLiteral("</deals>\r\n"));
}

QByteArray receiptDocument()
{
    QString body = QStringLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                                  "<Receipts Language=\"RU\" Created=\"2024-03-15T10:42:07\" "
                                  "Request=\"DL1A2B.xml\" Total=\"%1\" Accepted=\"%2\" "
                                  "Rejected=\"%3\">\r\n")
                       .arg(kReceiptDeals)
                       .arg(kReceiptDeals - kReceiptDeals / 10)
                       .arg(kReceiptDeals / 10);
    for (int i = 0; i < kReceiptDeals; ++i) {
        const Attributes row = dealRow(i);
        const QString keys = QStringLiteral(" Agreement=\"") + ValueOf(row, u"Agreement") +
                             QStringLiteral("\" Reference=\"") + ValueOf(row, u"Reference") +
                             QStringLiteral("\" Participant=\"MC0001200000\" Issue=\"") +
                             ValueOf(row, u"Issue") + u'"';
        if (i % 10 == 9)
            body += QStringLiteral("<Receipt N=\"%1\"%2 Status=\"Rejected\" Code=\"S16\" "
                                   "Text=\"(S16) Поле Price (0) должно иметь положительное "
                                   "значение\" />\r\n")
                        .arg(i + 1)
                        .arg(keys);
        else
            body +=
                QStringLiteral("<Receipt N=\"%1\" Id=\"2403150%2\"%3 Status=\"Accepted\" />\r\n")
                    .arg(i + 1)
                    .arg(i, 5, 10, QLatin1Char('0'))
                    .arg(keys);
    }
    return cp1251(body + QStringLiteral("</Receipts>\r\n"));
}

double seconds(const std::function<void()>& step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return double(timer.nsecsElapsed()) / 1e9;
}

void row(const char* what, double ours, const char* baselineName, double baseline, double goal)
{
    std::printf("%-46s %9.3f %-22s %9.3f %8.1f  goal <= %.1f s: %s\n", what, ours, baselineName,
                baseline, ours / baseline, goal, ours <= goal ? "ok" : "OVER");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const QString big = root + QStringLiteral("/big/journal");
    QDir(root + QStringLiteral("/big")).removeRecursively();

    std::printf("building a journal of %d requests and %d deals...\n", kRequests, kDeals);
    const double built = seconds([&] { buildJournal(big); });
    const QString database = JournalStore::FileIn(big);
    std::printf("built in %.1f s, %.0f MB\n\n", built, QFileInfo(database).size() / 1e6);

    std::printf("%-46s %9s %-22s %9s %8s\n", "step (best of 3)", "journal s", "baseline", "s",
                "ratio");
    double open = 1e9;
    double cat = 1e9;
    int listed = 0;
    for (int run = 0; run < kRuns; ++run) {
        open = std::min(open, seconds([&] {
                            JournalStore store(database);
                            store.open(false);
                            RequestListModel requests;
                            requests.reload(&store, RequestFilter());
                            DealListModel deals;
                            deals.show(&store, requests.entry(0));
                            listed = requests.rows() + deals.rows();
                        }));
        cat = std::min(
            cat,
            bench::Run({"sh", "-c", "cat \"$0\" > /dev/null", database.toStdString()}).wallSeconds);
    }
    row("journal opened: list and newest deals", open, "cat of the database", cat, 0.5);
    if (listed != kRequests + std::min(DealListModel::kPage, std::max(1, kDeals / kRequests)))
        std::printf("  (the list holds %d rows, not what was built)\n", listed);

    // One 10,000-deal request recorded from the spool, then its receipt taken in.
    const QString seed = root + QStringLiteral("/seed");
    const QString receipt = root + QStringLiteral("/DL1A2B.msg");
    QDir(seed).removeRecursively();
    QDir().mkpath(SpoolFolderOf(seed));
    writeFile(root + QStringLiteral("/request.xml"), requestDocument());
    writeFile(receipt, receiptDocument());
    double record = 1e9;
    double take = 1e9;
    double lint = 1e9;
    int taken = 0;
    for (int run = 0; run < kRuns; ++run) {
        const QString folder = root + QStringLiteral("/run/journal");
        const QString receive = root + QStringLiteral("/run/receive");
        QDir(root + QStringLiteral("/run")).removeRecursively();
        QDir().mkpath(SpoolFolderOf(folder));
        QDir().mkpath(receive);
        QFile::copy(root + QStringLiteral("/request.xml"),
                    SpoolFolderOf(folder) + u'/' +
                        SpoolName(QDateTime::currentDateTime(), 1, QStringLiteral("Deals"),
                                  QStringLiteral("MC0001200000"), QStringLiteral("DL1A2B.xml")));
        record = std::min(record, seconds([&] { RunSync({folder, receive, false}); }));
        QFile::copy(receipt, receive + QStringLiteral("/DL1A2B.msg"));
        take = std::min(take, seconds([&] { taken = RunSync({folder, receive, false}).taken; }));
        lint = std::min(
            lint,
            bench::Run({"xmllint", "--noout", "--stream", receipt.toStdString()}).wallSeconds);
    }
    row("10,000-deal request recorded from the spool", record, "xmllint --stream receipt", lint,
        1.0);
    row("10,000-deal receipt taken in", take, "xmllint --stream receipt", lint, 1.0);
    if (taken != 1)
        std::printf("  (the receipt was not taken in)\n");
    std::printf("\nReceipt %.1f MB. Each round opens the database, reads the folders, and writes "
                "in one transaction.\n",
                QFileInfo(receipt).size() / 1e6);
    return open <= 0.5 && take <= 1.0 && taken == 1 ? 0 : 1;
}
