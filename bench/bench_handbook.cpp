// The handbook pick list and handbook discovery on the generated 100,000-instrument handbook
// (Windows-1251), each next to a baseline measured in the same run:
//   - pick dialog from PickData to its first paint, with peak memory, next to
//     `xmllint --noout --stream` on the same file;
//   - a sort toggle (same column, other direction), a first sort of another column, a search
//     keystroke (prefix and "внутри строк", the worst case scanning every row) and F3;
//   - discovery over 2,000 .msg files of which one is the handbook, next to `cat` of the same
//     files; and over a 1 GB file without a marker beside the handbook, next to `cat` of it.
// Each measured run is a child process, so its peak memory is its own.
//
//   bench_handbook [folder]     data is generated once into the folder (default: temporary)

#include "BenchFigures.h"
#include "BenchProcess.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "handbook/HandbookDiscovery.h"
#include "handbook/PickModel.h"
#include "handbook/window/dlgPickXMLFile.h"
#include "tests/support/ScriptedDialogs.h"
#include "tools/HandbookGenerator.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace varnel;

using varnel::bench::Measured;
using varnel::bench::Run;

namespace {

constexpr int kInstruments = 100000;
constexpr int kMessages = 2000;

double Seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// ---- data

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// A receipt such as the registry sends for a report: a few kilobytes of XML.
QByteArray Receipt(int n)
{
    QByteArray text =
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<RECEIPTS Date=\"2025-03-"
        "10T09:30:12\" Count=\"20\">\r\n";
    for (int i = 0; i < 20; ++i)
        text += QByteArray("<Receipt Id=\"") + QByteArray::number(n * 100 + i) +
                "\" Agreement=\"AG-" + QByteArray::number(n) + "\" Reference=\"REF/2025/03/10/" +
                QByteArray::number(i) +
                "\" Status=\"Accepted\" Code=\"0\" Text=\"Deal registered in the trade "
                "registry, check passed\"/>\r\n";
    text += "</RECEIPTS>\r\n";
    return text;
}

struct Data {
    QString folder;
    QString handbook;   // 100,000 instruments
    QString receive;    // 2,000 .msg files, the handbook among them
    QString sparse;     // folder: a 1 GB file without a marker and the handbook
    QString definition; // the shipped pick definition
};

Data PathsOf(const QString& folder)
{
    Data d;
    d.folder = folder;
    d.handbook = folder + QStringLiteral("/handbook.msg");
    d.receive = folder + QStringLiteral("/receive");
    d.sparse = folder + QStringLiteral("/sparse");
    d.definition = QStringLiteral(VARNEL_SOURCE_DIR "/dist/issuelist_pick.xml");
    return d;
}

// Makes what is missing. Runs in a child process of its own, so that the memory it takes does
// not count in the peak memory of the measured runs (a child starts from its parent's).
int Prepare(const QString& folder)
{
    const Data d = PathsOf(folder);
    QDir().mkpath(folder);
    if (!QFileInfo::exists(d.handbook)) {
        tools::HandbookOptions options;
        options.instruments = kInstruments;
        QElapsedTimer timer;
        timer.start();
        WriteBytes(d.handbook, tools::GenerateHandbook(options));
        std::printf("generated %s in %.1f s\n", qPrintable(d.handbook), Seconds(timer));
    }
    if (!QFileInfo::exists(d.receive + QStringLiteral("/R1999.msg"))) {
        QDir().mkpath(d.receive);
        for (int i = 0; i < kMessages - 1; ++i)
            WriteBytes(d.receive + QStringLiteral("/R%1.msg").arg(i, 4, 10, QLatin1Char('0')),
                       Receipt(i));
        QFile::remove(d.receive + QStringLiteral("/ISSUELIST.msg"));
        QFile::copy(d.handbook, d.receive + QStringLiteral("/ISSUELIST.msg"));
        WriteBytes(d.receive + QStringLiteral("/R1999.msg"), Receipt(1999));
    }
    QDir().mkpath(d.sparse);
    const QString big = d.sparse + QStringLiteral("/big.msg");
    if (!QFileInfo::exists(big)) {
        QFile file(big);
        if (file.open(QIODevice::WriteOnly))
            file.resize(qint64(1) << 30);
        QFile::copy(d.handbook, d.sparse + QStringLiteral("/ISSUELIST.msg"));
    }
    return 0;
}

// A program folder of its own for a child run.
QString ProgramFolderFor(const QString& data, const QString& receive, const QString& handbook)
{
    const QString program = data + QStringLiteral("/program");
    QDir().mkpath(program + QStringLiteral("/work"));
    SetProgramFolder(program);
    SetSettingsFilePath(program + QStringLiteral("/varnel_client.ini"));
    QFile::remove(SettingsFilePath());
    PlacementStore::SetRoot(program + QStringLiteral("/store"));
    WriteSetting(QStringLiteral("Path"), QStringLiteral("FolderReceive"), receive);
    WriteSetting(QStringLiteral("Path"), QStringLiteral("FolderWork"), program + "/work");
    WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookPath"), handbook);
    return program;
}

// ---- child runs; each prints its figures on one line

// Signals the first paint of the list's rows.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

int RunPick(const QString& dataFolder, const QString& handbook, const QString& definition)
{
    ProgramFolderFor(dataFolder, dataFolder, handbook);
    const QString tag = definition;

    ScriptedDialogs dialogs;
    QElapsedTimer total;
    double firstPaint = 0, flip = 0, newColumn = 0, back = 0;
    std::vector<double> prefixKeys, insideKeys, f3;
    int rows = 0;
    dialogs.onModal([&](QDialog& d) {
        auto& dialog = static_cast<dlgPickXMLFile&>(d);
        PaintWatch watch;
        dialog.lvGrid()->viewport()->installEventFilter(&watch);
        dialog.show();
        while (!watch.painted)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        firstPaint = Seconds(total);
        rows = dialog.model()->rowTotal();

        const auto timed = [&](auto&& action) {
            QElapsedTimer t;
            t.start();
            action();
            QApplication::processEvents();
            return Seconds(t);
        };
        flip = timed([&] { dialog.sortByColumn(1); });
        newColumn = timed([&] { dialog.sortByColumn(2); });
        back = timed([&] { dialog.sortByColumn(1); });

        // Typing a code letter by letter; the last letters match nothing, so the search runs
        // through every row.
        const QString typed = QStringLiteral("RU000A0Z9ZZ");
        for (QChar c : typed)
            prefixKeys.push_back(timed([&] { dialog.txtFind()->insert(QString(c)); }));
        dialog.chkFind()->setChecked(true);
        dialog.txtFind()->clear();
        for (QChar c : QStringLiteral("9ZZQ"))
            insideKeys.push_back(timed([&] { dialog.txtFind()->insert(QString(c)); }));

        // F3 through the matches of a frequent text.
        dialog.chkFind()->setChecked(false);
        dialog.txtFind()->setText(QStringLiteral("RU000A"));
        for (int i = 0; i < 200; ++i)
            f3.push_back(timed([&] { dialog.findNext(); }));
        return int(QDialog::Rejected);
    });
    total.start();
    dlgPickXMLFile dialog;
    dialog.PickData(tag, QString(), 1000, 1000, QStringLiteral("Pick_Issue"));

    const auto worst = [](const std::vector<double>& v) {
        return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
    };
    const auto median = [](std::vector<double> v) {
        if (v.empty())
            return 0.0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("%.4f %d %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n", firstPaint, rows, flip,
                newColumn, back, worst(prefixKeys), worst(insideKeys), median(f3), worst(f3),
                median(prefixKeys));
    return rows == kInstruments ? 0 : 4;
}

int RunDiscovery(const QString& dataFolder, const QString& receive)
{
    ProgramFolderFor(dataFolder, receive, QString());
    ScriptedDialogs dialogs;
    dialogs.answer(Answer::No);
    QElapsedTimer timer;
    timer.start();
    HandbookFindContext context;
    context.dateTimeText = [](const QDateTime& t) { return t.toString(Qt::ISODate); };
    RunFindHandbook(context);
    const double seconds = Seconds(timer);
    const bool asked =
        !dialogs.shown().isEmpty() && dialogs.shown().first().buttons == MessageButtons::YesNo;
    std::printf("%.4f %d\n", seconds, asked ? 1 : 0);
    return asked ? 0 : 5;
}

// ---- parent

// Best of three runs by wall time.
Measured Best(const std::vector<std::string>& args)
{
    Measured best;
    for (int round = 0; round < 3; ++round) {
        Measured m = Run(args);
        if (m.status != 0)
            return m;
        if (round == 0 || m.wallSeconds < best.wallSeconds)
            best = m;
    }
    return best;
}

std::vector<double> Numbers(const std::string& line)
{
    std::vector<double> values;
    const QStringList parts = QString::fromStdString(line).simplified().split(u' ');
    for (const QString& p : parts)
        values.push_back(p.toDouble());
    return values;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--prepare") {
        QCoreApplication app(argc, argv);
        return Prepare(app.arguments().at(2));
    }
    if (argc >= 2 && std::string(argv[1]) == "--child") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        const QStringList args = app.arguments();
        try {
            if (args.size() == 6 && args[2] == "pick")
                return RunPick(args[3], args[4], args[5]);
            if (args.size() == 5 && args[2] == "discover")
                return RunDiscovery(args[3], args[4]);
            if (args.size() >= 3 && args[2] == "idle") {
                std::printf("0\n");
                return 0;
            }
        } catch (const Error& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.description()));
            return 2;
        }
        return 3;
    }

    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString folder =
        args.size() > 1 ? args[1] : QDir::temp().filePath(QStringLiteral("varnel_bench_pick"));
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const Measured prepared = Run({self, "--prepare", folder.toStdString()});
    std::printf("%s", prepared.output.c_str());
    if (prepared.status != 0)
        return 1;
    const Data data = PathsOf(folder);
    std::printf("handbook: %s, %.1f MB, %d instruments, Windows-1251\n\n",
                qPrintable(data.handbook), QFileInfo(data.handbook).size() / 1e6, kInstruments);

    const std::string handbook = data.handbook.toStdString();
    const std::string dataFolder = (folder + QStringLiteral("/run")).toStdString();

    // Warm the page cache for every run alike.
    Run({"sh", "-c", "cat '" + handbook + "' > /dev/null"});

    const Measured idle = Best({self, "--child", "idle"});
    const Measured xmllint = Best({"xmllint", "--noout", "--stream", handbook});
    const Measured pick =
        Best({self, "--child", "pick", dataFolder, handbook, data.definition.toStdString()});
    std::printf("process start with QApplication: %.3f s, %.1f MB\n", idle.wallSeconds,
                idle.peakKilobytes / 1024.0);
    if (pick.status != 0) {
        std::printf("pick dialog run failed (status %d)\n", pick.status);
        return 1;
    }
    const std::vector<double> p = Numbers(pick.output);
    if (p.size() < 10) {
        std::printf("pick dialog run printed: %s\n", pick.output.c_str());
        return 1;
    }

    // Discovery.
    const std::string receive = data.receive.toStdString();
    Run({"sh", "-c", "cat '" + receive + "'/*.msg > /dev/null"});
    const Measured cat = Best({"sh", "-c", "cat '" + receive + "'/*.msg > /dev/null"});
    const Measured discover = Best({self, "--child", "discover", dataFolder, receive});
    const std::string sparse = data.sparse.toStdString();
    const Measured catBig = Best({"sh", "-c", "cat '" + sparse + "'/*.msg > /dev/null"});
    const Measured discoverBig = Best({self, "--child", "discover", dataFolder, sparse});

    // Each measured run is a child process (best of 3); the pick dialog is timed inside its child
    // from PickData to the list's first paint, and its peak memory is the child's whole.
    using bench::AtMost;
    using bench::Report;
    bench::Begin("bench_handbook");
    const std::string lint = "xmllint --stream " + bench::Amount(xmllint.wallSeconds, "s");
    Report("pick dialog, 100,000 instruments: PickData to first paint (peak " +
               bench::Amount(pick.peakKilobytes / 1024.0, "MB") + ")",
           p[0], "s", bench::TimesBaseline(2, "xmllint", xmllint.wallSeconds, "s"), lint);
    Report("pick dialog: sort toggle (column 1, other direction)", p[2] * 1e3, "ms",
           AtMost(150, "ms"));
    Report("pick dialog: sort by another column, first time", p[3] * 1e3, "ms", AtMost(150, "ms"));
    Report("pick dialog: sort back to column 1 (kept order)", p[4] * 1e3, "ms", AtMost(150, "ms"));
    Report("pick dialog: search keystroke, prefix, median", p[9] * 1e3, "ms", AtMost(10, "ms"));
    Report("pick dialog: search keystroke, prefix, worst", p[5] * 1e3, "ms", AtMost(10, "ms"));
    Report("pick dialog: search keystroke inside rows, worst", p[6] * 1e3, "ms", AtMost(10, "ms"));
    Report("pick dialog: F3, median of 200", p[7] * 1e3, "ms", AtMost(10, "ms"));
    Report("pick dialog: F3, worst of 200", p[8] * 1e3, "ms", AtMost(10, "ms"));
    const auto seconds = [](const Measured& m) { return m.status == 0 ? m.wallSeconds : NAN; };
    Report("discovery over 2,000 .msg files, the handbook among them", seconds(discover), "s",
           bench::TimesBaseline(2, "cat", cat.wallSeconds, "s"),
           "cat of the files " + bench::Amount(cat.wallSeconds, "s"));
    Report("discovery over a 1 GB file without a marker and the handbook", seconds(discoverBig),
           "s", bench::TimesBaseline(2, "cat", catBig.wallSeconds, "s"),
           "cat of the files " + bench::Amount(catBig.wallSeconds, "s"));
    return 0;
}
