// A report of 100,000 deals x 25 columns (VARNEL_BENCH_DEALS sets another number): loading it
// into a report document, the save check, saving, adding one deal with the duplicate check, many
// deals appended at once, closing the document, and a report window opened on the file to its
// first paint; each next to `xmllint --noout --stream` on the same file in the same run, with its
// goal where there is one.
#include "core/AppContext.h"
#include "core/Settings.h"
#include "messages/DocumentWriters.h"
#include "reports/DealChecks.h"
#include "reports/ReportDocument.h"
#include "reports/ReportFile.h"
#include "reports/ReportModel.h"
#include "reports/frmReport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace varnel;

namespace {

const int kDeals = qEnvironmentVariableIntValue("VARNEL_BENCH_DEALS") > 0
                       ? qEnvironmentVariableIntValue("VARNEL_BENCH_DEALS")
                       : 100000;
constexpr int kFields = 24; // and the row-number column: 25 columns
const int kRuns = qEnvironmentVariableIntValue("VARNEL_BENCH_RUNS") > 0
                      ? qEnvironmentVariableIntValue("VARNEL_BENCH_RUNS")
                      : 9;

struct Field {
    const char* name;
    const char* type;
    const char* format;
};

const Field kLayout[kFields] = {{"Participant", "", ""},
                                {"Issue", "", ""},
                                {"ISIN", "", ""},
                                {"RegNum", "", ""},
                                {"Agreement", "", ""},
                                {"Reference", "", ""},
                                {"TradeDate", "D", ""},
                                {"SettleDate", "D", ""},
                                {"Side", "", ""},
                                {"Counterparty", "", ""},
                                {"CounterpartyName", "", ""},
                                {"Price", "N", "0.00########"},
                                {"Currency", "", ""},
                                {"Qty", "N", "0"},
                                {"QtyFrac", "N", ""},
                                {"Amount", "N", "#,##0.00"},
                                {"AccruedInt", "N", "#,##0.00"},
                                {"SettlCurrency", "", ""},
                                {"SettlAmount", "N", "#,##0.00"},
                                {"Settle", "N", "0"},
                                {"Block", "N", "0"},
                                {"TradePlace", "", ""},
                                {"Broker", "", ""},
                                {"Comment", "", ""}};

void writeLayout(const QString& path)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DealsStructure>\r\n";
    for (const Field& f : kLayout)
        xml += QStringLiteral("  <Field Name=\"%1\" Title=\"%1\" Width=\"1200\" Type=\"%2\" "
                              "Format=\"%3\" Empty=\"%4\" />\r\n")
                   .arg(QLatin1String(f.name), QLatin1String(f.type), QLatin1String(f.format),
                        QLatin1String(QByteArray(f.name) == "AccruedInt" ? "0" : ""))
                   .toUtf8();
    xml += "</DealsStructure>\r\n";
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(xml);
}

QString cellOf(const Field& f, int r)
{
    const QByteArray name(f.name);
    if (QByteArray(f.type) == "D")
        return QStringLiteral("%1.%2.2024")
            .arg(1 + r % 28, 2, 10, QChar(u'0'))
            .arg(1 + (r / 28) % 12, 2, 10, QChar(u'0'));
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

// Ends the timing at the first paint of the grid's rows.
class PaintWatch : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
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
            for (const Field& f : kLayout)
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
    Figure lint{};
    if (!xmllint.isEmpty()) {
        lint = timeRuns(kRuns, [&] {
            QProcess p;
            p.start(xmllint, {QStringLiteral("--noout"), QStringLiteral("--stream"), file});
            p.waitForFinished(-1);
        });
    }
    const auto line = [&](const char* what, const Figure& f, double target) {
        std::printf("%-38s %8.2f / %8.2f", what, f.best, f.mid);
        if (lint.mid > 0)
            std::printf("   x%5.2f of xmllint", f.mid / lint.mid);
        if (target > 0)
            std::printf("   goal %4.0f ms %s", target, f.mid <= target ? "ok" : "over");
        std::printf("\n");
    };
    if (lint.mid > 0)
        line("xmllint --noout --stream", lint, 0);
    else
        std::printf("xmllint not found: no baseline\n");

    // Everything a report does without a window, on its document.
    // Each load goes into a new, empty document, as opening a report does; freeing the rows of
    // the one before is closing a report and stays outside the timing.
    std::unique_ptr<ReportDocument> document;
    bool built = true;
    line("load (ReportDocument::load)",
         timeRuns(
             kRuns, [&] { document->load(file); },
             [&] {
                 document = std::make_unique<ReportDocument>(ReportKind::Deals);
                 built = built && document->buildFromLayout().done();
             }),
         1000);
    ReportDocument& loaded = *document;
    if (!built || loaded.rowCount() != kDeals)
        return 1;

    bool correct = false;
    line("IsReportCorrect",
         timeRuns(kRuns,
                  [&] {
                      QString error;
                      correct = loaded.isCorrect(error);
                  }),
         200);
    if (!correct)
        return 1;

    const QString saved = dir.filePath(QStringLiteral("saved.xml"));
    line("save (ReportDocument::saveAs, atomic)", timeRuns(kRuns, [&] { loaded.saveAs(saved); }),
         500);

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
    line("add one deal (window, duplicates)", add, 16);
    if (window->model().rows() != kDeals + kRuns)
        return 1;

    // 10,000 deals more at once: each through the deal check against the rows and the deals
    // before it, then one append.
    QList<QStringList> more;
    for (int r = kDeals; r < kDeals + 10000; ++r) {
        QStringList cells;
        for (const Field& f : kLayout)
            cells << cellOf(f, r);
        more.append(cells);
    }
    line("check and append 10,000 deals",
         timeRuns(1,
                  [&] {
                      CheckedDeals keys(loaded.rows());
                      QList<QStringList> passed;
                      for (const QStringList& d : more) {
                          if (!loaded.checkDeal(d, keys, DealCheckMode::Add).isEmpty())
                              continue;
                          keys.remember(d);
                          passed.append(d);
                      }
                      loaded.appendDeals(passed);
                  }),
         0);
    window->model().clearRows();

    // Closing a loaded report: its rows freed.
    std::unique_ptr<ReportDocument> closing;
    line("close (a loaded document freed)",
         timeRuns(
             kRuns, [&] { closing.reset(); },
             [&] {
                 closing = std::make_unique<ReportDocument>(ReportKind::Deals);
                 if (closing->buildFromLayout().done())
                     closing->load(file);
             }),
         0);

    std::vector<double> opens;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        auto* w = static_cast<ReportEditorWindow*>(NewReportWindow(ReportKind::Deals));
        PaintWatch watch;
        w->grid()->viewport()->installEventFilter(&watch);
        w->resize(w->sizeHint());
        w->show();
        w->LoadFile(file);
        while (!watch.painted)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        opens.push_back(double(t.nsecsElapsed()) / 1e6);
        w->model().clearRows();
        w->grid()->viewport()->removeEventFilter(&watch);
        delete w;
    }
    line("window opened to its first paint",
         {*std::min_element(opens.begin(), opens.end()), median(opens)}, 500);
    return 0;
}
