// The viewers at a whole market's size, each figure next to a baseline measured in the same run:
//   - the handbook viewer on generated handbooks of 100,000 and 200,000 instruments, through the
//     shipped stylesheet: from the file dialog's OK to the first rows on screen and to every row
//     made, the longest the window went without handling its events (painting included), and
//     the peak memory of the client with its browser engine; next to xsltproc on the same files
//     and to the browser engine showing the finished first window from its file; at 200,000 a
//     page turn and a find's jump to a far row (medians of three), and the peak memory of the
//     engine's own drawing process through restore, resize and maximize; at 1,000,000 the first
//     rows alone;
//   - the export of the 100,000-row page to a workbook, next to xmllint reading the page;
//   - the incoming message viewer on a receipt of 10,000 deals, next to xsltproc.
// Each measured run is a child process of its own, so that its peak memory is its own.
//
//   bench_viewer [folder]     data is generated once into the folder (default: temporary)

#include "BenchFigures.h"
#include "BenchProcess.h"
#include "answers/IncomingMessage.h"
#include "core/AppContext.h"
#include "core/NumberLocale.h"
#include "core/PlacementStore.h"
#include "core/TempFiles.h"
#include "tests/support/ScriptedDialogs.h"
#include "tools/HandbookGenerator.h"
#include "viewer/SpreadsheetExport.h"
#include "viewer/window/HtmlView.h"
#include "viewer/window/ViewerCommands.h"
#include "viewer/window/frmBrowseXML.h"
#include "viewer/window/frmIssue.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStringEncoder>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace varnel;
using bench::Measured;

namespace {

constexpr int kSizes[] = {100000, 200000};
constexpr int kHugeSize = 1000000; // only its first rows are timed
constexpr int kReceiptDeals = 10000;

QString HandbookPath(const QString& folder, int instruments)
{
    return folder + QStringLiteral("/IL%1.msg").arg(instruments);
}
QString ReceiptPath(const QString& folder)
{
    return folder + QStringLiteral("/DL10000.msg");
}

// A receipt of the registry for a report of that many deals (docs/incoming-messages.md): every
// tenth deal refused with its code and text.
QByteArray Receipt(int deals)
{
    QStringEncoder cp1251("windows-1251");
    QByteArray text = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";
    text += "<Receipts Language=\"RU\" Created=\"2025-03-10T10:42:07\" Request=\"DL10000.xml\" "
            "Total=\"" +
            QByteArray::number(deals) + "\" Accepted=\"" + QByteArray::number(deals - deals / 10) +
            "\" Rejected=\"" + QByteArray::number(deals / 10) + "\">\r\n";
    for (int i = 1; i <= deals; ++i) {
        const bool refused = i % 10 == 0;
        QString row = QStringLiteral("<Receipt N=\"%1\"").arg(i);
        if (!refused)
            row += QStringLiteral(" Id=\"2503100%1\"").arg(i, 5, 10, QLatin1Char('0'));
        row += QStringLiteral(" Agreement=\"Д-%1/25\" Reference=\"IN-%2\" "
                              "Participant=\"MC0001200000\" Issue=\"AAAA%3\"")
                   .arg(i)
                   .arg(i, 5, 10, QLatin1Char('0'))
                   .arg(i % 900 + 3);
        if (refused)
            row += QStringLiteral(" Status=\"Rejected\" Code=\"S16\" Text=\"(S16) Поле Price (0) "
                                  "должно иметь положительное значение\" />\r\n");
        else
            row += QStringLiteral(" Status=\"Accepted\" />\r\n");
        text += cp1251.encode(row);
    }
    text += "</Receipts>\r\n";
    return text;
}

// Makes what is missing. Runs in a child process of its own, so that the memory it takes does
// not count in the peak memory of the measured runs.
int Prepare(const QString& folder)
{
    QDir().mkpath(folder);
    for (const int n : {kSizes[0], kSizes[1], kHugeSize}) {
        const QString path = HandbookPath(folder, n);
        if (QFileInfo::exists(path))
            continue;
        tools::HandbookOptions options;
        options.instruments = n;
        QString error;
        if (!tools::WriteHandbook(path, options, &error)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error));
            return 1;
        }
    }
    QFile receipt(ReceiptPath(folder));
    if (!receipt.exists() &&
        (!receipt.open(QIODevice::WriteOnly) || receipt.write(Receipt(kReceiptDeals)) <= 0))
        return 1;
    return 0;
}

// ---- child runs; each prints its figures on one line

// Where a handbook's run leaves the page it showed, a finished file the engine can show alone.
QString ShownPagePath(const QString& data, const QString& handbook)
{
    return data + QStringLiteral("/shown-") + QFileInfo(handbook).completeBaseName() +
           QStringLiteral(".htm");
}

// The longest stretch the user-interface thread went without handling a timer that wants to
// run every 5 ms: a window that does not get to its events does not paint either.
class FreezeMeter {
public:
    FreezeMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longest_ = std::max(longest_, now - last_);
            if (now - last_ > 100000000 && qEnvironmentVariableIsSet("VARNEL_BENCH_GAPS"))
                std::fprintf(stderr, "gap %.3f s ending at %.3f s\n", (now - last_) / 1e9,
                             now / 1e9);
            last_ = now;
        });
    }
    void start()
    {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        timer_.start();
    }
    // Seconds, including the stretch up to now.
    double longest() const { return std::max(longest_, clock_.nsecsElapsed() - last_) / 1e9; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

// Peak resident memory, in kilobytes, of this process and of the processes it started (the
// browser engine's), each its own peak.
long PeakKilobytes(pid_t pid)
{
    long total = 0;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                total += line.mid(6).trimmed().split(' ').first().toLong();
    }
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t child = entry.toInt(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // pid (comm) state ppid ...
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toInt() == pid)
            total += PeakKilobytes(child);
    }
    return total;
}

// The viewer's copies and pages lie in the user's runtime folder, which the system keeps in
// memory: a child run's lie in a private folder in memory too where there is one (else in
// fallback), removed when the run ends.
QString TemporaryFolderInMemory(const QString& fallback)
{
    static struct Folder {
        QString path;
        ~Folder()
        {
            if (!path.isEmpty())
                QDir(path).removeRecursively();
        }
    } folder;
    if (folder.path.isEmpty() && QFileInfo(QStringLiteral("/dev/shm")).isDir()) {
        QByteArray pattern = "/dev/shm/varnel-bench-XXXXXX";
        if (::mkdtemp(pattern.data()))
            folder.path = QFile::decodeName(pattern);
    }
    return folder.path.isEmpty() ? fallback : folder.path;
}

// The program folder of a child run: the shipped stylesheets, settings naming them.
void ProgramFolderIn(const QString& folder)
{
    const QString program = folder + QStringLiteral("/program");
    for (const char* sub : {"/xsl", "/tmp", "/store"})
        QDir().mkpath(program + QLatin1String(sub));
    for (const char* name : {"issue_list.xsl", "receipts.xsl"}) {
        const QString target = program + QStringLiteral("/xsl/") + QLatin1String(name);
        QFile::remove(target);
        QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/xsl/") + QLatin1String(name), target);
    }
    QFile ini(program + QStringLiteral("/varnel_client.ini"));
    if (ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ini.write("[Path]\r\nSchemaIssueList=.\\xsl\\issue_list.xsl\r\n"
                  "SchemaDeals=.\\xsl\\receipts.xsl\r\n");
    SetProgramFolder(program);
    SetTemporaryFolder(TemporaryFolderInMemory(program + QStringLiteral("/tmp")));
    PlacementStore::SetRoot(program + QStringLiteral("/store"));
    SetPageViewPluginFolder(QStringLiteral(VARNEL_PROGRAM_DIR "/plugins"));
    // A big list is looked at in a maximised window.
    for (const QString& record :
         {kAppTitle + QStringLiteral("_IssueList"), kAppTitle + QStringLiteral("brwRECEIPTS")})
        PlacementStore::Write(record, QStringLiteral("Maximized"), QStringLiteral("1"));
}

// A main window of the client's size with its frame for child windows.
struct Host {
    QMainWindow window;
    QMdiArea* area = new QMdiArea;
    Host()
    {
        window.setCentralWidget(area);
        window.resize(1400, 900);
        window.show();
    }
    AddChildWindow adder()
    {
        return [this](QWidget* w) {
            QMdiSubWindow* sub = area->addSubWindow(w);
            w->show();
            sub->show();
            return sub;
        };
    }
};

// True when the lower half of the view shows something besides its background: rows.
bool ShowsRows(QWebEngineView* view)
{
    const QImage image = view->grab().toImage();
    if (image.isNull())
        return false;
    int marked = 0;
    const int top = image.height() / 2;
    for (int y = top; y < image.height(); ++y) {
        const QRgb first = image.pixel(2, y);
        for (int x = 2; x < image.width() - 20; x += 3) {
            if (image.pixel(x, y) != first) {
                ++marked;
                break;
            }
        }
    }
    return marked > (image.height() - top) / 4;
}

// Waits for the window's page: the moment its first rows are on screen (the browser has laid
// out more than the view shows) and the moment it has loaded completely, in seconds on the
// clock.
struct PageTimes {
    double firstRows = NAN;
    double whole = NAN;
    double longest = NAN; // the longest the events waited until then, in seconds
};
PageTimes WaitForPage(BrowserWindow* window, const QElapsedTimer& clock, int timeoutMs)
{
    PageTimes times;
    if (!window)
        return times;
    auto* view = qobject_cast<QWebEngineView*>(window->wbPage()->widget());
    QEventLoop loop;
    if (view)
        QObject::connect(view->page(), &QWebEnginePage::contentsSizeChanged, &loop,
                         [&](const QSizeF& size) {
                             if (std::isnan(times.firstRows) && size.height() > view->height())
                                 times.firstRows = clock.nsecsElapsed() / 1e9;
                         });
    QObject::connect(window, &BrowserWindow::pageLoaded, &loop, [&](bool ok) {
        if (!ok)
            return;
        times.whole = clock.nsecsElapsed() / 1e9;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    // A page shorter than the view: its rows are there once it has loaded.
    if (std::isnan(times.firstRows))
        times.firstRows = times.whole;
    return times;
}

// The rows looked for on the screen itself, once the timing is over: a page whose rows do not
// show has no first-rows time.
void ConfirmRows(BrowserWindow* window, PageTimes& times)
{
    auto* view = window ? qobject_cast<QWebEngineView*>(window->wbPage()->widget()) : nullptr;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (view && ShowsRows(view))
            return;
        QEventLoop settle;
        QTimer::singleShot(200, &settle, &QEventLoop::quit);
        settle.exec();
    }
    times.firstRows = NAN;
}

// The window's page followed from the clock's start: its times, the longest the events waited
// until it was in, and then its rows looked for on the screen.
PageTimes FollowPage(BrowserWindow* window, const QElapsedTimer& clock, const FreezeMeter& freeze,
                     int timeoutMs)
{
    PageTimes times = WaitForPage(window, clock, timeoutMs);
    times.longest = freeze.longest();
    ConfirmRows(window, times);
    return times;
}

// Runs the events until done() is true or the time is out; true when done.
template <typename Done> bool RunEventsUntil(Done done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Seconds from step() until the window's page has loaded; NaN when it does not.
template <typename Step> double TimeToLoad(BrowserWindow* window, Step step)
{
    QEventLoop loop;
    bool loaded = false;
    QObject::connect(window, &BrowserWindow::pageLoaded, &loop, [&](bool ok) {
        loaded = ok;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    step();
    loop.exec();
    return loaded ? clock.nsecsElapsed() / 1e9 : NAN;
}
// The ISIN of the instrument in that row (from 1) of a handbook.
QString IsinOfRow(const QString& handbook, int row)
{
    QFile file(handbook);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    int seen = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (!line.startsWith("<Issue ") || ++seen < row)
            continue;
        const qsizetype at = line.indexOf("ISIN=\"");
        return at < 0 ? QString()
                      : QString::fromLatin1(line.mid(at + 6, line.indexOf('"', at + 6) - at - 6));
    }
    return QString();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? NAN : values[values.size() / 2];
}

// The page shown through page turns, a find's jumps to far rows, and the window restored,
// resized and maximized again: the median times of three turns and of three jumps, and the
// peak memory of the engine's drawing process, in kilobytes.
void TurnFindResize(Host& host, frmIssue* window, const QString& handbook, int instruments,
                    double* turn, double* jump, long* enginePeak)
{
    std::vector<double> turns;
    for (int i = 0; i < 3; ++i)
        turns.push_back(TimeToLoad(window, [&] { window->showWindow(window->shownWindow() + 1); }));
    *turn = Median(turns);
    std::vector<double> jumps;
    for (const int row : {instruments * 3 / 4, instruments / 4, instruments / 2}) {
        window->findText()->setText(IsinOfRow(handbook, row).toLower());
        const double seconds = TimeToLoad(window, [&] { window->findNext(); });
        jumps.push_back(window->markedRow() == row - 1 ? seconds : NAN);
    }
    *jump = std::any_of(jumps.begin(), jumps.end(), [](double s) { return std::isnan(s); })
                ? NAN
                : Median(jumps);
    const auto settle = [] {
        QEventLoop loop;
        QTimer::singleShot(1500, &loop, &QEventLoop::quit);
        loop.exec();
    };
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget())) {
        frame->showNormal();
        settle();
        frame->resize(frame->width() * 2 / 3, frame->height() * 2 / 3);
        settle();
        frame->showMaximized();
        settle();
        host.window.resize(1200, 800);
        settle();
    }
    *enginePeak = [pid = window->wbPage()->rendererPid()] {
        return pid > 0 ? bench::PeakKilobytesOf(pid) : 0;
    }();
}

int RunHandbook(const QString& data, const QString& handbook, bool exportPage, bool firstOnly,
                int instruments)
{
    ProgramFolderIn(data);
    Host host;
    ScriptedDialogs dialogs;
    QString workbook;
    SetWorkbookOpener([&](const QString& path) {
        workbook = path;
        return true;
    });
    FreezeMeter freeze;
    QElapsedTimer clock;
    // The browser engine starts with the first viewer window of a run of the client, before
    // its file dialog shows: timed on its own, before the clock from OK starts.
    freeze.start();
    {
        frmBrowseXML first;
    }
    const double engineStart = freeze.longest();
    dialogs.choosePath(handbook);
    freeze.start();
    clock.start();
    frmIssue* window = BrowseHandbook(&host.window, host.adder());
    if (firstOnly) {
        PageTimes times = WaitForPage(window, clock, 120000);
        ConfirmRows(window, times);
        std::printf("%.4f\n", times.firstRows);
        return window ? 0 : 4;
    }
    PageTimes times = FollowPage(window, clock, freeze, 120000);
    // Every row made: the find and the export reach all of them.
    if (window && RunEventsUntil([window] { return !window->isMakingPage(); }, 600000))
        times.whole = clock.nsecsElapsed() / 1e9;
    else
        times.whole = NAN;
    times.longest = freeze.longest();
    const long peak = PeakKilobytes(getpid());
    if (!exportPage) {
        double turn = NAN;
        double jump = NAN;
        long enginePeak = 0;
        if (window && window->windowCount() > 1)
            TurnFindResize(host, window, handbook, instruments, &turn, &jump, &enginePeak);
        std::printf("%.4f %.4f %.4f %ld %lld %.4f %.4f %.4f %ld\n", times.firstRows, times.whole,
                    times.longest, peak, window ? QFileInfo(window->pageFile()).size() : 0LL,
                    engineStart, turn, jump, enginePeak);
        // The page as shown, for the browser engine's own time on it.
        if (window && !IsHtmlExtension(handbook)) {
            QFile::remove(ShownPagePath(data, handbook));
            QFile::copy(window->pageFile(), ShownPagePath(data, handbook));
        }
        return window ? 0 : 4;
    }
    if (!window)
        return 4;
    // The page as shown, for the baseline.
    const QString page = data + QStringLiteral("/page.html");
    QFile::remove(page);
    QFile::copy(window->pageFile(), page);
    freeze.start();
    clock.restart();
    window->ExportExcel();
    const double exported = clock.nsecsElapsed() / 1e9;
    std::printf("%.4f %.4f %lld\n", workbook.isEmpty() ? NAN : exported, freeze.longest(),
                QFileInfo(workbook).size());
    return workbook.isEmpty() ? 5 : 0;
}

int RunMessage(const QString& data, const QString& receipt)
{
    ProgramFolderIn(data);
    Host host;
    ScriptedDialogs dialogs;
    FreezeMeter freeze;
    QElapsedTimer clock;
    {
        frmBrowseXML first; // the browser engine started, as in the handbook's run
    }
    dialogs.choosePath(receipt);
    freeze.start();
    clock.start();
    frmBrowseXML* window = BrowseIncomingMessage(&host.window, host.adder());
    const PageTimes times = FollowPage(window, clock, freeze, 60000);
    std::printf("%.4f %.4f %.4f\n", times.firstRows, times.whole, times.longest);
    return window ? 0 : 4;
}

// ---- parent

std::vector<double> Numbers(const std::string& output)
{
    std::vector<double> values;
    for (const QString& p : QString::fromStdString(output).section(u'\n', 0, 0).split(u' '))
        values.push_back(p.toDouble());
    return values;
}

// A program whose output goes nowhere, timed with its peak memory.
Measured Quiet(const std::string& command)
{
    return bench::Run({"sh", "-c", "exec " + command + " > /dev/null 2>&1"});
}

std::string Quoted(const QString& path)
{
    return "'" + path.toStdString() + "'";
}

std::string Count(int n)
{
    return QLocale(QLocale::English).toString(n).toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--prepare") {
        QCoreApplication app(argc, argv);
        return Prepare(app.arguments().at(2));
    }
    if (argc >= 4 && std::string(argv[1]) == "--child") {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // The browser engine shares its drawing contexts with Qt, as in the client.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication app(argc, argv);
        varnel::UseCNumbers(); // as the client does at its start
        const QStringList args = app.arguments();
        if (args.size() >= 5 &&
            (args[2] == "handbook" || args[2] == "export" || args[2] == "first"))
            return RunHandbook(args[3], args[4], args[2] == "export", args[2] == "first",
                               args.size() > 5 ? args[5].toInt() : 0);
        if (args.size() == 5 && args[2] == "message")
            return RunMessage(args[3], args[4]);
        return 3;
    }

    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString folder =
        args.size() > 1 ? args[1] : QDir::temp().filePath(QStringLiteral("varnel_bench_viewer"));
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    if (bench::Run({self, "--prepare", folder.toStdString()}).status != 0)
        return 1;
    const std::string xsl = VARNEL_SOURCE_DIR "/dist/xsl/";
    const std::string run = (folder + QStringLiteral("/run")).toStdString();

    bench::Begin("bench_viewer");
    int failures = 0;
    const auto report = [&](const std::string& what, double value, const std::string& unit,
                            const bench::Goal& goal, const std::string& baseline) {
        failures += !bench::Report(what, value, unit, goal, baseline);
    };
    std::string pageOf100000;
    for (const int n : kSizes) {
        const QString handbook = HandbookPath(folder, n);
        Quiet("cat " + Quoted(handbook)); // the page cache warm for every run alike
        const Measured xsltproc = Quiet("xsltproc " + xsl + "issue_list.xsl " + Quoted(handbook));
        const Measured viewer = bench::Run(
            {self, "--child", "handbook", run, handbook.toStdString(), std::to_string(n)});
        const std::vector<double> v = Numbers(viewer.output);
        const bool ok = viewer.status == 0 && v.size() >= 5;
        const auto figure = [&](std::size_t i) { return ok ? v[i] : NAN; };
        // The same page, finished, shown from its file: the browser engine's own part.
        const Measured alone =
            bench::Run({self, "--child", "handbook", run,
                        ShownPagePath(QString::fromStdString(run), handbook).toStdString()});
        const std::vector<double> a = Numbers(alone.output);
        const bool aok = alone.status == 0 && a.size() >= 2;
        const std::string size = Count(n) + " instruments (" +
                                 bench::Amount(QFileInfo(handbook).size() / 1048576.0, "MB") +
                                 ", page " + bench::Amount(figure(4) / 1048576.0, "MB") + ")";
        const std::string baseline = "xsltproc " + bench::Amount(xsltproc.wallSeconds, "s") + ", " +
                                     bench::Amount(xsltproc.peakKilobytes / 1024.0, "MB");
        const std::string engineBaseline = baseline +
                                           "; the finished page from its file: first rows " +
                                           bench::Amount(aok ? a[0] : NAN, "s") + ", whole " +
                                           bench::Amount(aok ? a[1] : NAN, "s");
        const bool big = n > 100000;
        if (!big)
            report("browser engine's first start, once a run of the client (window unpainted)",
                   ok && v.size() >= 6 ? v[5] : NAN, "s", bench::AtMost(0.2, "s"), baseline);
        report("handbook viewer, " + size + ": OK to first rows on screen", figure(0), "s",
               bench::AtMost(1.0, "s"), engineBaseline);
        // The goal the whole page had when the page was shown whole.
        report("handbook viewer, " + Count(n) + ": OK to every row made (find, export)", figure(1),
               "s", bench::AtMost(big ? 8 : 4, "s"), engineBaseline);
        if (big) {
            const bool wok = ok && v.size() >= 9;
            report("handbook viewer, " + Count(n) + ": a page turn (median of 3)", wok ? v[6] : NAN,
                   "s", bench::AtMost(0.3, "s"), engineBaseline);
            report("handbook viewer, " + Count(n) + ": a find's jump to rows " + Count(n * 3 / 4) +
                       ", " + Count(n / 4) + ", " + Count(n / 2) + " (by ISIN, median of 3)",
                   wok ? v[7] : NAN, "s", bench::AtMost(0.3, "s"), engineBaseline);
            report("handbook viewer, " + Count(n) +
                       ": peak memory of the engine's drawing process through restore, resize, "
                       "maximize",
                   wok && v[8] > 0 ? v[8] / 1024.0 : NAN, "MB", bench::AtMost(400, "MB"), baseline);
        }
        report("handbook viewer, " + Count(n) + ": longest the window went unpainted", figure(2),
               "s", bench::AtMost(0.2, "s"), baseline);
        report("handbook viewer, " + Count(n) + ": peak memory, client and browser engine",
               figure(3) / 1024.0, "MB",
               bench::TimesBaseline(1.5, "xsltproc", xsltproc.peakKilobytes / 1024.0, "MB"),
               baseline);
        if (!big) {
            const Measured exported =
                bench::Run({self, "--child", "export", run, handbook.toStdString()});
            const std::vector<double> e = Numbers(exported.output);
            const bool eok = exported.status == 0 && e.size() >= 3;
            const Measured lint = Quiet("xmllint --html --noout " +
                                        Quoted(QString::fromStdString(run) + "/page.html"));
            const std::string pageBaseline =
                "xmllint --html on the page " + bench::Amount(lint.wallSeconds, "s");
            report("export of every row of the " + Count(n) + "-instrument handbook to a workbook",
                   eok ? e[0] : NAN, "s",
                   bench::TimesBaseline(1.2, "xsltproc", xsltproc.wallSeconds, "s"),
                   baseline + "; " + pageBaseline);
            report("export: longest the window went unpainted", eok ? e[1] : NAN, "s",
                   bench::AtMost(0.2, "s"), pageBaseline);
        }
    }

    {
        const QString huge = HandbookPath(folder, kHugeSize);
        Quiet("cat " + Quoted(huge));
        const Measured first = bench::Run({self, "--child", "first", run, huge.toStdString()});
        const std::vector<double> f = Numbers(first.output);
        report("handbook viewer, " + Count(kHugeSize) + " instruments (" +
                   bench::Amount(QFileInfo(huge).size() / 1048576.0, "MB") +
                   "): OK to first rows on screen",
               first.status == 0 && !f.empty() ? f[0] : NAN, "s", bench::AtMost(1.0, "s"),
               "none: a time of its own");
    }

    const QString receipt = ReceiptPath(folder);
    const Measured xsltproc = Quiet("xsltproc " + xsl + "receipts.xsl " + Quoted(receipt));
    const Measured message = bench::Run({self, "--child", "message", run, receipt.toStdString()});
    const std::vector<double> m = Numbers(message.output);
    const bool mok = message.status == 0 && m.size() >= 3;
    const std::string baseline = "xsltproc " + bench::Amount(xsltproc.wallSeconds, "s");
    report("message viewer, receipt of " + Count(kReceiptDeals) + " deals: OK to the whole page",
           mok ? m[1] : NAN, "s", bench::AtMost(1.5, "s"), baseline);
    report("message viewer: longest the window went unpainted", mok ? m[2] : NAN, "s",
           bench::AtMost(0.2, "s"), baseline);
    std::printf("\nTimes run from the file dialog's OK; each run is a child process, its peak "
                "memory the sum of the peaks\nof the client and of each browser engine "
                "process.\n");
    return failures == 0 ? 0 : 1;
}
