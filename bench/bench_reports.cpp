// A report of 100,000 deals x 25 columns (VARNEL_BENCH_DEALS sets another number): loading it
// into a report document and saving it (each against xmllint --stream on the file), the save
// check (against the load), adding one deal with the duplicate check, many
// deals appended at once, closing the document, and a report window opened on the file (first
// rows painted, the whole report in, the longest stall of its events) and scrolled to its end; each
// figure a row of the bench table with its goal, next to `xmllint --noout --stream` or `cat` on the
// same file in the same run (medians of VARNEL_BENCH_RUNS runs, 9 unless set).
#include "bench/BenchFigures.h"
#include "bench/BenchLayout.h"
#include "core/AppContext.h"
#include "core/Settings.h"
#include "messages/DocumentWriters.h"
#include "reports/DealChecks.h"
#include "reports/ReportDocument.h"
#include "reports/ReportFile.h"
#include "reports/ReportModel.h"
#include "reports/window/frmReport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace varnel;

namespace {

const int kDeals = qEnvironmentVariableIntValue("VARNEL_BENCH_DEALS") > 0
                       ? qEnvironmentVariableIntValue("VARNEL_BENCH_DEALS")
                       : 100000;
const int kRuns = qEnvironmentVariableIntValue("VARNEL_BENCH_RUNS") > 0
                      ? qEnvironmentVariableIntValue("VARNEL_BENCH_RUNS")
                      : 9;

const bench::DealLayoutOptions kLayoutOptions{.emptyValues = true};
const std::vector<bench::DealField> kLayout = bench::DealFields(kLayoutOptions);

void writeLayout(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bench::DealLayoutXml(kLayoutOptions));
}

QString cellOf(const bench::DealField& f, int r)
{
    const QByteArray name(f.name);
    if (QByteArray(f.type) == "D")
        return bench::DealDate(r);
    if (QByteArray(f.type) == "N")
        return QStringLiteral("%1.%2").arg(r * 37 % 100000).arg(r % 100, 2, 10, QChar(u'0'));
    if (name == "Reference")
        return QStringLiteral("REF-%1").arg(r);
    if (name == "CounterpartyName")
        return QStringLiteral("ООО «Контрагент %1» & партнёры").arg(r % 700);
    return QStringLiteral("%1-%2").arg(QLatin1String(f.name)).arg(r % 997);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Figure {
    double best = 0;
    double mid = 0;
};

// Times `run` `runs` times; `prepare`, when given, runs before each, outside the timing.
Figure timeRuns(int runs, const std::function<void()>& run,
                const std::function<void()>& prepare = {})
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        run();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return {*std::min_element(times.begin(), times.end()), median(times)};
}

// The time of the first paint of the grid with rows in it, on the clock given.
class PaintWatch : public QObject {
public:
    PaintWatch(const ReportModel& rows, const QElapsedTimer& clock) : rows_(rows), clock_(clock) {}
    qint64 firstRows = -1; // ns

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && firstRows < 0 && rows_.rows() > 0)
            firstRows = clock_.nsecsElapsed();
        return QObject::eventFilter(watched, event);
    }

private:
    const ReportModel& rows_;
    const QElapsedTimer& clock_;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetProgramFolder(dir.path());
    SetSettingsFilePath(dir.filePath(QStringLiteral("varnel_client.ini")));
    {
        QFile ini(SettingsFilePath());
        if (!ini.open(QIODevice::WriteOnly) ||
            ini.write("[Main]\r\nParticipant=MC0001\r\nLanguage=RU\r\n") <= 0)
            return 1;
    }
    writeLayout(dir.filePath(QStringLiteral("deals_struct_client.xml")));

    // The report file, written by the client's own writer from a grid of the layout.
    std::unique_ptr<ReportEditorWindow> maker(
        static_cast<ReportEditorWindow*>(NewReportWindow(ReportKind::Deals)));
    if (maker->loadFailed())
        return 1;
    ReportModel& grid = maker->model();
    {
        QList<QStringList> rows;
        for (int r = 0; r < kDeals; ++r) {
            QStringList cells{QString::number(r + 1)};
            for (const bench::DealField& f : kLayout)
                cells << cellOf(f, r);
            rows.append(cells);
        }
        grid.resetRows(rows);
    }
    const QString file = dir.filePath(QStringLiteral("report.xml"));
    WriteDealsXml(file, grid);
    const qint64 bytes = QFile(file).size();
    std::printf("report: %d deals x %d columns, %lld bytes, %d runs (best / median ms)\n", kDeals,
                grid.columnCount(), static_cast<long long>(bytes), kRuns);

    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    const auto runTool = [](const QString& program, const QStringList& arguments) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(program, arguments);
        p.waitForFinished(-1);
    };
    // The baselines: the XML reader alone over the file, and the file copied by cat.
    const double lint =
        xmllint.isEmpty()
            ? NAN
            : timeRuns(kRuns, [&] {
                  runTool(xmllint, {QStringLiteral("--noout"), QStringLiteral("--stream"), file});
              }).mid;
    const double cat = timeRuns(kRuns, [&] {
                           runTool(QStringLiteral("sh"),
                                   {QStringLiteral("-c"), QStringLiteral("cat \"$0\" > \"$1\""),
                                    file, dir.filePath(QStringLiteral("copy.xml"))});
                       }).mid;
    const std::string lintText = "xmllint --stream " + bench::Amount(lint / 1000, "s");
    const std::string catText = "cat " + bench::Amount(cat / 1000, "s");
    bench::Begin("bench_reports");
    bool ok = true;
    const auto seconds = [&](const std::string& what, double ms, double goal,
                             const std::string& baseline) {
        ok = bench::Report(what, ms / 1000, "s", bench::AtMost(goal, "s"), baseline) && ok;
    };
    const auto millis = [&](const std::string& what, double ms, double goal,
                            const std::string& baseline) {
        ok = bench::Report(what, ms, "ms", bench::AtMost(goal, "ms"), baseline) && ok;
    };
    const std::string size = std::to_string(kDeals) + " deals";

    // Everything a report does without a window, on its document. Each load goes into a new,
    // empty document, as opening a report does; freeing the rows of the one before is closing a
    // report and stays outside the timing.
    std::unique_ptr<ReportDocument> document;
    bool built = true;
    // The goals of loading, checking and saving are multiples of a baseline of the same run.
    const auto times = [&](const std::string& what, double ms, double factor,
                           const std::string& baselineName, double baselineMs,
                           const std::string& baseline) {
        ok = bench::Report(what, ms / 1000, "s",
                           bench::TimesBaseline(factor, baselineName, baselineMs / 1000, "s"),
                           baseline) &&
             ok;
    };
    const double loadMs = timeRuns(
                              kRuns, [&] { document->load(file); },
                              [&] {
                                  document = std::make_unique<ReportDocument>(ReportKind::Deals);
                                  built = built && document->buildFromLayout().done();
                              })
                              .mid;
    times("load, " + size, loadMs, 1.2, "xmllint --stream", lint, lintText);
    ReportDocument& loaded = *document;
    if (!built || loaded.rowCount() != kDeals)
        return 1;

    bool correct = false;
    times("IsReportCorrect, " + size,
          timeRuns(kRuns, [&] { correct = loaded.isCorrect().done(); }).mid, 0.5, "the load",
          loadMs, "the load " + bench::Amount(loadMs / 1000, "s"));
    if (!correct)
        return 1;

    const QString saved = dir.filePath(QStringLiteral("saved.xml"));
    times("save (checked, atomic), " + size, timeRuns(kRuns, [&] { loaded.saveAs(saved); }).mid,
          1.2, "xmllint --stream", lint, lintText + ", " + catText);

    // One deal more through the window's add command: deal check, duplicate rules over every
    // row, the new row in the grid. The first add builds the rows' key index; each later one
    // asks it.
    std::unique_ptr<ReportEditorWindow> window(
        static_cast<ReportEditorWindow*>(NewReportWindow(ReportKind::Deals)));
    window->LoadFile(file);
    const auto set = [&](const char* name, const QString& text) {
        window->txtEdit(window->editor().slotOfName(QLatin1String(name)))->setText(text);
    };
    int added = 0;
    const Figure add = timeRuns(kRuns, [&] {
        set("Reference", QStringLiteral("NEW-%1").arg(added++));
        set("Price", QStringLiteral("101.5"));
        set("Qty", QStringLiteral("10"));
        window->addDeal();
    });
    millis("add one deal with the duplicate check (window), " + size, add.mid, 16, lintText);
    if (window->model().rows() != kDeals + kRuns)
        return 1;

    // 10,000 deals more at once: each through the deal check against the rows and the deals
    // before it, then one append.
    QList<QStringList> more;
    for (int r = kDeals; r < kDeals + 10000; ++r) {
        QStringList cells;
        for (const bench::DealField& f : kLayout)
            cells << cellOf(f, r);
        more.append(cells);
    }
    seconds("check and append 10,000 deals, onto " + size,
            timeRuns(1,
                     [&] {
                         CheckedDeals keys(loaded.rows());
                         QList<QStringList> passed;
                         for (const QStringList& d : more) {
                             if (!loaded.checkDeal(d, keys, DealCheckMode::Add).passed)
                                 continue;
                             keys.remember(d);
                             passed.append(d);
                         }
                         loaded.appendDeals(passed);
                     })
                .mid,
            1.0, lintText);
    window->model().clearRows();

    // Closing a loaded report: its rows freed.
    std::unique_ptr<ReportDocument> closing;
    seconds("close (a loaded document freed), " + size,
            timeRuns(
                kRuns, [&] { closing.reset(); },
                [&] {
                    closing = std::make_unique<ReportDocument>(ReportKind::Deals);
                    if (closing->buildFromLayout().done())
                        closing->load(file);
                })
                .mid,
            0.5, lintText);

    // A window opened on the file as the user sees it: the first rows painted, the whole
    // report in, and the longest time the window went without handling its events meanwhile
    // (a timer that should tick every 10 ms). Then the grid scrolled a page at a time to the
    // end, each page painted: the longest page.
    std::vector<double> firsts;
    std::vector<double> opens;
    std::vector<double> stalls;
    std::vector<double> pages;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        auto* w = static_cast<ReportEditorWindow*>(NewReportWindow(ReportKind::Deals));
        PaintWatch watch(w->model(), t);
        w->grid()->viewport()->installEventFilter(&watch);
        w->resize(1200, 800);
        w->show();
        QElapsedTimer since;
        double stall = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            stall = std::max(stall, double(since.nsecsElapsed()) / 1e6);
            since.start();
        });
        ticker.start(10);
        since.start();
        w->LoadFile(file);
        opens.push_back(double(t.nsecsElapsed()) / 1e6);
        stall = std::max(stall, double(since.nsecsElapsed()) / 1e6);
        ticker.stop();
        firsts.push_back(watch.firstRows < 0 ? NAN : double(watch.firstRows) / 1e6);
        stalls.push_back(stall);

        QScrollBar* bar = w->grid()->verticalScrollBar();
        double longest = 0;
        for (int step = 0; step < 40 && bar->value() < bar->maximum(); ++step) {
            QElapsedTimer page;
            page.start();
            bar->setValue(step == 39 ? bar->maximum()
                                     : bar->value() + (bar->maximum() - bar->minimum()) / 39);
            w->grid()->viewport()->repaint();
            QApplication::processEvents();
            longest = std::max(longest, double(page.nsecsElapsed()) / 1e6);
        }
        pages.push_back(longest);
        w->model().clearRows();
        w->grid()->viewport()->removeEventFilter(&watch);
        delete w;
    }
    seconds("window opened: first rows painted, " + size, median(firsts), 1.5, lintText);
    seconds("window opened: whole report in, " + size, median(opens), 1.5, lintText);
    millis("window opened: longest stall of its events", median(stalls), 200, "a 10 ms timer");
    millis("grid scrolled to the end a page at a time: longest page", median(pages), 200,
           "a 10 ms timer");
    return ok ? 0 : 1;
}
