// The reconciliation of a day's file with the sending journal, each figure next to a baseline
// of the same run: a CSV file of 100,000 deals of one trade day (VARNEL_BENCH_FILE_DEALS),
// against a journal of 1,000,000 deals (VARNEL_BENCH_DEALS) over ten trade days, the file's
// day among them, every request answered (one deal in fifty rejected). The reconciliation runs
// in a process of its own, so that its peak memory is its own; next to it, the same file read
// with the import's reader alone, timed the same way.
//
//   bench_reconcile [folder]     work folder (default: a temporary one)
#include "BenchFigures.h"
#include "BenchLayout.h"
#include "BenchProcess.h"

#include "core/AppContext.h"
#include "core/NumberLocale.h"
#include "core/Settings.h"
#include "journal/JournalDocuments.h"
#include "journal/JournalStore.h"
#include "messages/DocumentWriters.h"
#include "reconcile/Reconcile.h"
#include "reports/ReportDocument.h"
#include "reports/ReportExport.h"
#include "reports/ReportModel.h"
#include "tables/TableReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <ctime>

using namespace varnel;
using namespace varnel::bench;

namespace {
const int kFileDeals = Setting("VARNEL_BENCH_FILE_DEALS", 100000);
const int kJournalDeals = Setting("VARNEL_BENCH_DEALS", 1000000);
constexpr int kPerRequest = 1000;
const QDate kDay(2024, 3, 15);

const DealLayoutOptions kLayoutOptions{.trader = true};
const std::vector<DealField> kLayout = DealFields(kLayoutOptions);

void setUpFolder(const QString& folder)
{
    SetUpDealsFolder(folder, kLayoutOptions);
}

QString cellOf(const DealField& f, int r)
{
    const QByteArray name(f.name);
    if (name == "TradeDate")
        return kDay.toString(QStringLiteral("dd.MM.yyyy"));
    if (QByteArray(f.type) == "D")
        return DealDate(r);
    if (QByteArray(f.type) == "N")
        return QStringLiteral("%1.%2").arg(1 + r * 37 % 100000).arg(r % 100, 2, 10, QChar(u'0'));
    if (name == "Participant")
        return QStringLiteral("MC000%1").arg(r % 7);
    if (name == "Reference")
        return QStringLiteral("REF-%1").arg(r);
    if (name == "Currency" || name == "SettlCurrency")
        return QStringLiteral("RUB");
    return QStringLiteral("%1-%2").arg(QLatin1String(f.name)).arg(r % 997);
}
// The day's file, and the same deals as the client writes them in a report.
bool writeDay(const QString& csv, const QString& xml)
{
    ReportDocument day(ReportKind::Deals);
    if (!day.buildFromLayout().done())
        return false;
    const QDate today = QDate::currentDate();
    QList<QStringList> deals;
    deals.reserve(kFileDeals);
    for (int r = 0; r < kFileDeals; ++r) {
        QStringList fields;
        int c = 1;
        for (const DealField& f : kLayout)
            fields << day.checkField(c++, cellOf(f, r), today).text;
        deals.append(std::move(fields));
    }
    day.appendDeals(std::move(deals));
    WriteTableFile(csv, ReportExportTable(day.rows(), ReportKind::Deals, TableFormat::Csv),
                   TableFormat::Csv);
    WriteDealsXml(xml, day.rows());
    return true;
}

// The journal: the day's deals reported as they are, and for each other day the same deals
// under other References traded that day; in requests of kPerRequest deals, each answered.
void buildJournal(const QString& folder, const QString& xml)
{
    QDir().mkpath(folder);
    journal::JournalStore store(journal::JournalStore::FileIn(folder));
    store.open(true);
    const int days = std::max(1, kJournalDeals / kFileDeals);
    int request = 0;
    for (int d = 0; d < days; ++d) {
        journal::RequestDocumentReader reader(xml);
        const QString prefix = QStringLiteral("D%1-").arg(d);
        const QString date = kDay.addDays(-d).toString(Qt::ISODate);
        bool more = true;
        while (more) {
            ++request;
            const QString file = QStringLiteral("DL%1.xml").arg(request, 5, 16, QChar(u'0'));
            const QString sent = QDateTime(kDay.addDays(-d), QTime(18, 0))
                                     .addSecs(request)
                                     .toString(Qt::ISODateWithMs);
            int n = 0;
            const qint64 id =
                store.recordRequest(QStringLiteral("Deals"), file, sent, QStringLiteral("MC0001"),
                                    [&](journal::DealEntry& deal) {
                                        journal::Attributes row;
                                        if (n == kPerRequest || !(more = reader.next(row)))
                                            return false;
                                        if (d > 0) {
                                            for (auto& [name, value] : row) {
                                                if (name == u"Reference")
                                                    value = prefix + value;
                                                else if (name == u"TradeDate")
                                                    value = date;
                                            }
                                        }
                                        deal = journal::DealOfRow(++n, std::move(row));
                                        return true;
                                    });
            if (n == 0)
                break;
            varnel::AnswerHead head;
            head.kind = varnel::AnswerKind::Receipts;
            head.request = file;
            head.created = sent.left(19);
            int k = 0;
            store.takeAnswer({folder + QStringLiteral("/in/") + file, 1, request}, head, id,
                             [&](varnel::AnswerRow& row) {
                                 if (k == n)
                                     return false;
                                 row = varnel::AnswerRow();
                                 row.n = ++k;
                                 const bool rejected = k % 50 == 0;
                                 row.status = rejected ? QStringLiteral("Rejected")
                                                       : QStringLiteral("Accepted");
                                 if (rejected)
                                     row.code = QStringLiteral("S16");
                                 else
                                     row.id = QStringLiteral("%1-%2").arg(request).arg(k);
                                 return true;
                             });
        }
    }
}

// Tells on the error output how long each stage took.
class StageClock final : public Progress {
public:
    StageClock() { timer_.start(); }
    ~StageClock() override { end(); }
    void stage(const QString& text, qint64 = 0) override
    {
        end();
        text_ = text;
    }
    void advance(qint64) override {}
    bool stopRequested() const override { return false; }

private:
    void end()
    {
        if (!text_.isEmpty())
            std::fprintf(stderr, "  %s: %.3f s, on the processor %.3f s\n", qPrintable(text_),
                         double(timer_.nsecsElapsed()) / 1e9, CpuSeconds() - cpu_);
        timer_.restart();
        cpu_ = CpuSeconds();
    }
    QElapsedTimer timer_;
    double cpu_ = CpuSeconds();
    QString text_;
};

// The child's parts: each prints what it found, its wall and processor seconds, and its peak
// memory before and after, in kilobytes.
int reconcileOnce(const QString& folder, const QString& csv)
{
    setUpFolder(folder);
    const long before = PeakKilobytesOf();
    const double cpuBefore = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    reconcile::ReconcileQuery query;
    query.path = csv;
    query.journalFolder = folder + QStringLiteral("/journal");
    reconcile::ReconcileResult result;
    StageClock progress;
    const Outcome outcome = reconcile::Reconcile(query, progress, result);
    progress.stage(QStringLiteral("the end"));
    const double wall = double(timer.nsecsElapsed()) / 1e9;
    if (!outcome.done()) {
        std::fprintf(stderr, "%s\n", qPrintable(outcome.failure));
        return 1;
    }
    std::fprintf(stderr, "%s\n", qPrintable(reconcile::CountsText(result)));
    std::printf("%d %.4f %.4f %ld %ld\n", int(result.lines.size()), wall, CpuSeconds() - cpuBefore,
                before, PeakKilobytesOf());
    return 0;
}

int readOnce(const QString& csv)
{
    const long before = PeakKilobytesOf();
    const double cpuBefore = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<TableReader> reader = OpenTableFile(csv);
    TableRecord record;
    int rows = -1; // the title row
    while (reader->next(record))
        ++rows;
    const double wall = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%d %.4f %.4f %ld %ld\n", rows, wall, CpuSeconds() - cpuBefore, before,
                PeakKilobytesOf());
    return 0;
}

struct ChildFigures {
    int rows = 0;
    double wall = NAN;
    double cpu = NAN;
    long before = 0;
    long peak = 0;
};

ChildFigures runChild(const std::vector<std::string>& args)
{
    const Measured m = Run(args);
    ChildFigures f;
    if (m.status != 0 || std::sscanf(m.output.c_str(), "%d %lf %lf %ld %ld", &f.rows, &f.wall,
                                     &f.cpu, &f.before, &f.peak) != 5)
        f.wall = f.cpu = NAN;
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    UseCNumbers(); // as the client does at its start
    if (argc == 4 && std::strcmp(argv[1], "--reconcile") == 0)
        return reconcileOnce(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "--read") == 0)
        return readOnce(QString::fromLocal8Bit(argv[2]));

    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    QDir().mkpath(folder);
    setUpFolder(folder);
    const QString csv = folder + QStringLiteral("/day.csv");
    const QString xml = folder + QStringLiteral("/day.xml");
    QElapsedTimer setUp;
    setUp.start();
    if (!QFile::exists(csv) || !QFile::exists(journal::JournalStore::FileIn(folder + "/journal"))) {
        if (!writeDay(csv, xml))
            return 1;
        buildJournal(folder + QStringLiteral("/journal"), xml);
    }
    std::fprintf(stderr, "set up in %.1f s\n", double(setUp.elapsed()) / 1000);

    Begin("bench_reconcile");
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const ChildFigures read = runChild({self, "--read", csv.toStdString()});
    const std::string baseline = "the import's reader alone " + Amount(read.wall, "s") + ", " +
                                 Amount(double(read.peak) / 1024, "MB");
    const ChildFigures r = runChild({self, "--reconcile", folder.toStdString(), csv.toStdString()});
    const std::string what = std::to_string(kFileDeals) + "-deal file against " +
                             std::to_string(kJournalDeals) + " deals";
    bool ok = Report(what + ": the result", r.rows >= kFileDeals ? r.wall : NAN, "s",
                     AtMost(3, "s"), baseline);
    Report(what + ": of it on the processor", r.cpu, "s", AtMost(3, "s"));
    ok &= Report(what + ": peak memory of the process", double(r.peak) / 1024, "MB",
                 AtMost(double(r.before) / 1024 + 512, "MB"),
                 "the same process before the file: " + Amount(double(r.before) / 1024, "MB"));
    return ok ? 0 : 2;
}
