// Deals imported from table files: a 10,000-row CSV file and a 10,000-row workbook of a
// 25-field layout, each read, mapped, put through every check and appended to a report
// document, in a process of its own so that its peak memory is its own; next to
// `xmllint --noout --stream` on the same deals as a report file, timed the same way (medians of
// three runs each). Then 100,000 rows into a report window as the command runs it: the time to
// the end, next to xmllint on the same 100,000 deals as a report file, whether the progress
// showed, and the longest the window went without its events. Then varnel-cli checking the same
// 100,000 rows, and its help.
// VARNEL_BENCH_DEALS sets another number for the small files.
#include "BenchFigures.h"
#include "BenchLayout.h"
#include "BenchProcess.h"

#include "core/AppContext.h"
#include "core/NumberLocale.h"
#include "core/Settings.h"
#include "messages/DocumentWriters.h"
#include "reports/DealImport.h"
#include "reports/ReportDocument.h"
#include "reports/ReportExport.h"
#include "reports/ReportModel.h"
#include "reports/window/frmReport.h"
#include "tables/TableReader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

using namespace varnel;
using namespace varnel::bench;

namespace {

const int kDeals = Setting("VARNEL_BENCH_DEALS", 10000);
constexpr int kBigDeals = 100000;
constexpr int kRuns = 3;

const DealLayoutOptions kLayoutOptions{.trader = true};
const std::vector<DealField> kLayout = DealFields(kLayoutOptions);

void setUpFolder(const QString& folder)
{
    SetUpDealsFolder(folder, kLayoutOptions);
}

QString cellOf(const DealField& f, int r)
{
    const QByteArray name(f.name);
    if (QByteArray(f.type) == "D")
        return DealDate(r);
    if (QByteArray(f.type) == "N")
        return QStringLiteral("%1.%2").arg(1 + r * 37 % 100000).arg(r % 100, 2, 10, QChar(u'0'));
    if (name == "Reference")
        return QStringLiteral("REF-%1").arg(r);
    if (name == "Currency" || name == "SettlCurrency")
        return QStringLiteral("RUB");
    if (name == "CounterpartyName")
        return QStringLiteral("ООО «Контрагент %1» & партнёры").arg(r % 700);
    return QStringLiteral("%1-%2").arg(QLatin1String(f.name)).arg(r % 997);
}

// A report of count checked deals, each field as the field check leaves it.
void fill(ReportDocument& doc, int count)
{
    const QDate today = QDate::currentDate();
    QList<QStringList> deals;
    for (int r = 0; r < count; ++r) {
        QStringList fields;
        int c = 1;
        for (const DealField& f : kLayout)
            fields << doc.checkField(c++, cellOf(f, r), today).text;
        deals.append(fields);
    }
    doc.appendDeals(deals);
}
// The child's part: one file imported into an empty report document; prints the rows loaded
// and the milliseconds it took, from opening the file to the rows in the grid.
int importOnce(const QString& folder, const QString& path)
{
    setUpFolder(folder);
    ReportDocument doc(ReportKind::Deals);
    if (!doc.buildFromLayout().done())
        return 1;
    const long before = PeakKilobytesOf();
    const double cpuBefore = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<TableReader> reader = OpenTableFile(path);
    TableRecord record;
    if (!reader->next(record))
        return 1;
    const MappingProposal proposal = ProposeMapping(doc, record.row(), QDate::currentDate());
    if (!proposal.complete)
        return 1;
    DealImport import(doc, proposal.mapping, QDate::currentDate());
    while (reader->next(record))
        import.check(record);
    doc.appendDeals(import.takeDeals());
    const double wall = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%d %.4f %.4f %ld %ld\n", doc.rowCount(), wall, CpuSeconds() - cpuBefore, before,
                PeakKilobytesOf());
    return 0;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The median wall time of kRuns runs of a program; NaN when one fails.
double MedianWall(const std::vector<std::string>& args)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const Measured m = Run(args);
        if (m.status != 0)
            return NAN;
        times.push_back(m.wallSeconds);
    }
    return Median(times);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::strcmp(argv[1], "--import") == 0) {
        QCoreApplication app(argc, argv);
        UseCNumbers();
        return importOnce(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QApplication app(argc, argv);
    UseCNumbers(); // as the client does at its start
    QTemporaryDir dir;
    setUpFolder(dir.path());

    // The same deals as a report file, a CSV file and a workbook.
    const QString xml = dir.filePath(QStringLiteral("report.xml"));
    const QString csv = dir.filePath(QStringLiteral("deals.csv"));
    const QString xlsx = dir.filePath(QStringLiteral("deals.xlsx"));
    const QString bigCsv = dir.filePath(QStringLiteral("big.csv"));
    const QString bigXml = dir.filePath(QStringLiteral("big.xml"));
    {
        ReportDocument doc(ReportKind::Deals);
        if (!doc.buildFromLayout().done())
            return 1;
        fill(doc, kDeals);
        WriteDealsXml(xml, doc.rows());
        for (const QString& path : {csv, xlsx}) {
            const TableFormat format = TableFormatOfPath(path);
            WriteTableFile(path, ReportExportTable(doc.rows(), ReportKind::Deals, format), format);
        }
        ReportDocument big(ReportKind::Deals);
        if (!big.buildFromLayout().done())
            return 1;
        fill(big, kBigDeals);
        WriteDealsXml(bigXml, big.rows());
        WriteTableFile(bigCsv, ReportExportTable(big.rows(), ReportKind::Deals, TableFormat::Csv),
                       TableFormat::Csv);
    }
    std::printf("%d deals x %d fields: report %lld bytes, CSV %lld bytes, workbook %lld bytes\n",
                kDeals, int(std::size(kLayout)), static_cast<long long>(QFile(xml).size()),
                static_cast<long long>(QFile(csv).size()),
                static_cast<long long>(QFile(xlsx).size()));

    Begin("bench_import");
    const std::string xmllint =
        QStandardPaths::findExecutable(QStringLiteral("xmllint")).toStdString();
    const double lint =
        xmllint.empty() ? NAN : MedianWall({xmllint, "--noout", "--stream", xml.toStdString()});
    const double bigLint =
        xmllint.empty() ? NAN : MedianWall({xmllint, "--noout", "--stream", bigXml.toStdString()});
    const std::string lintName = "xmllint --stream";
    const std::string lintText =
        xmllint.empty() ? std::string("xmllint not found") : lintName + " " + Amount(lint, "s");
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    bool ok = true;
    for (const QString& path : {csv, xlsx}) {
        std::vector<double> walls;
        std::vector<double> cpus;
        long before = 0;
        long peak = 0;
        for (int run = 0; run < kRuns; ++run) {
            const Measured m =
                Run({self, "--import", dir.path().toStdString(), path.toStdString()});
            int rows = 0;
            double wall = NAN;
            double cpu = NAN;
            long runBefore = 0;
            long runPeak = 0;
            if (m.status != 0 ||
                std::sscanf(m.output.c_str(), "%d %lf %lf %ld %ld", &rows, &wall, &cpu, &runBefore,
                            &runPeak) != 5 ||
                rows != kDeals)
                wall = cpu = NAN;
            walls.push_back(wall);
            cpus.push_back(cpu);
            before = std::max(before, runBefore);
            peak = std::max(peak, runPeak);
        }
        const bool measured =
            std::none_of(walls.begin(), walls.end(), [](double w) { return std::isnan(w); });
        const double wall = measured ? Median(walls) : NAN;
        const double cpu = measured ? Median(cpus) : NAN;
        const std::string what =
            std::string(path == csv ? "CSV" : "workbook") + ", " + std::to_string(kDeals) + " rows";
        // The CSV file against the reader of the same deals as a report; the workbook, unzipped
        // and read as XML on the way, against its own bound.
        if (path == csv)
            ok &= Report(what + ": import to the grid", wall, "s",
                         TimesBaseline(4, lintName, lint, "s"), lintText);
        else
            ok &= Report(what + ": import to the grid", wall, "s", AtMost(1, "s"), lintText);
        Report(what + ": of it on the processor", cpu, "s", AtMost(1, "s"));
        ok &= Report(what + ": peak memory of the process", double(peak) / 1024, "MB",
                     AtMost(double(before) / 1024 + 128, "MB"),
                     "the same process before the file: " + Amount(double(before) / 1024, "MB"));
    }

    // The command-line program's check of the same 100,000 rows (the same flow, without a
    // window) is no slower than the window's import, and its help comes without any set-up of a
    // user interface. Both run first, while this process is small: a child forked from a big
    // process pays for what the parent holds.
    const std::string cli = CLI_PATH;
    const Measured checked = Run({cli, "--program-folder", dir.path().toStdString(), "check",
                                  "--kind", "deals", bigCsv.toStdString()});
    const double help = MedianWall({cli, "--help"});
    const double bare = xmllint.empty() ? NAN : MedianWall({xmllint, "--version"});

    // 100,000 rows into a window, as the command runs them: the window's events keep coming
    // while the rows are read and checked; the progress dialog shows.
    std::unique_ptr<ReportEditorWindow> window(
        static_cast<ReportEditorWindow*>(NewReportWindow(ReportKind::Deals)));
    if (window->loadFailed())
        return 1;
    window->resize(window->sizeHint());
    window->show();
    QElapsedTimer sinceTick;
    double longestGap = 0;
    bool progressShown = false;
    QTimer ticks;
    ticks.setInterval(20);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, double(sinceTick.restart()) / 1000);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<QProgressDialog*>(w) && w->isVisible())
                progressShown = true;
        }
    });
    QElapsedTimer timer;
    timer.start();
    sinceTick.start();
    ticks.start();
    const bool imported = window->importDeals(bigCsv);
    ticks.stop();
    longestGap = std::max(longestGap, double(sinceTick.elapsed()) / 1000);
    const double total = double(timer.nsecsElapsed()) / 1e9;
    const bool complete = imported && window->document().rowCount() == kBigDeals;
    ok &= Report("CSV, 100,000 rows into a window: to the end", complete ? total : NAN, "s",
                 TimesBaseline(4, lintName, bigLint, "s"),
                 lintName + " on the 100,000 as a report " + Amount(bigLint, "s") +
                     (progressShown ? ", progress shown" : ", progress NOT shown"));
    ok &= Report("CSV, 100,000 rows into a window: longest without events", longestGap, "s",
                 AtMost(0.5, "s"));
    window->document().discardChanges();

    ok &= Report("varnel-cli check, 100,000 CSV rows",
                 checked.status == 0 ? checked.wallSeconds : NAN, "s",
                 TimesBaseline(1, "the window's import", total, "s"),
                 "the window's import of the same file " + Amount(total, "s"));
    ok &= Report("varnel-cli --help", help, "s", AtMost(0.05, "s"),
                 "xmllint --version " + Amount(bare, "s"));
    return ok ? 0 : 2;
}
