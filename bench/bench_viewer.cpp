// A 20,000-instrument handbook through the shipped handbook stylesheet, from the file dialog's
// OK to the page shown in the handbook viewer (the copy, libxml2 and libxslt, the browser
// engine), and the export of that page to a workbook; next to xsltproc on the same files, and a
// plain write of the same bytes, in the same run.
//
//   bench_viewer [instruments]     default 20000; VARNEL_XSLTPROC names xsltproc if not on PATH,
//                                  VARNEL_BENCH_RUNS the number of runs (3), VARNEL_BENCH_KEEP
//                                  keeps the files

#include "core/AppContext.h"
#include "core/PlacementStore.h"
#include "core/TempFiles.h"
#include "handbook/viewer/HtmlView.h"
#include "handbook/viewer/SpreadsheetExport.h"
#include "handbook/viewer/ViewerFiles.h"
#include "handbook/viewer/XslTransform.h"
#include "handbook/viewer/frmIssue.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace varnel;

namespace {

QString Isin(int n)
{
    const QString base = QStringLiteral("RU000Z%1").arg(n, 5, 36, QLatin1Char('0')).toUpper();
    QString digits;
    for (const QChar c : base)
        digits += QString::number(QString(c).toInt(nullptr, 36));
    int total = 0;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        int d = digits.at(digits.size() - 1 - i).digitValue();
        if (i % 2 == 0) {
            d *= 2;
            if (d > 9)
                d -= 9;
        }
        total += d;
    }
    return base + QString::number((10 - total % 10) % 10);
}

// A handbook in the shape docs/incoming-messages.md gives, Windows-1251, CR LF.
void GenerateHandbook(const QString& path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    QStringEncoder cp1251("windows-1251");
    file.write("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n");
    file.write(QStringLiteral("<IssueList Language=\"RU\" Created=\"2024-03-15T18:30:00\" "
                              "Count=\"%1\">\r\n")
                   .arg(count)
                   .toLatin1());
    static const char16_t* kinds[] = {u"Акция", u"Облигация", u"Пай", u"Депозитарная расписка"};
    for (int i = 0; i < count; ++i) {
        const bool bond = i % 3 == 1;
        const QString issuer = QStringLiteral("ПАО &quot;Компания %1&quot;").arg(i / 3 + 1);
        QString row =
            QStringLiteral("<Issue Code=\"C%1\" ShortName=\"Комп%2 %3\" "
                           "Name=\"%4, %5 выпуск %6\" ISIN=\"%7\" RegNum=\"%8-01-%9-A\" "
                           "Issuer=\"%4\" Kind=\"%10\" FaceValue=\"%11\" Currency=\"RUB\" "
                           "IssueSize=\"%12\" IssueDate=\"20%13-%14-15\"")
                .arg(i, 6, 10, QLatin1Char('0'))
                .arg(i / 3 + 1)
                .arg(bond ? QStringLiteral("БО") : QStringLiteral("ао"))
                .arg(issuer)
                .arg(bond ? QStringLiteral("облигация") : QStringLiteral("акция"))
                .arg(i % 7 + 1)
                .arg(Isin(i))
                .arg(bond ? 4 : 1)
                .arg(i, 5, 10, QLatin1Char('0'))
                .arg(QString::fromUtf16(kinds[i % 4]))
                .arg(bond ? QStringLiteral("1000") : QStringLiteral("0.01"))
                .arg(1000000 + i * 37)
                .arg(10 + i % 14, 2, 10, QLatin1Char('0'))
                .arg(i % 12 + 1, 2, 10, QLatin1Char('0'));
        if (bond)
            row += QStringLiteral(" MaturityDate=\"20%1-06-20\"").arg(25 + i % 10);
        row += QStringLiteral(" />\r\n");
        file.write(cp1251.encode(row));
    }
    file.write("</IssueList>\r\n");
}

double Run(const QString& program, const QStringList& args, const QString& output = QString())
{
    QProcess process;
    if (!output.isEmpty())
        process.setStandardOutputFile(output);
    else
        process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return -1;
    }
    return timer.elapsed();
}

bool WaitFor(frmIssue& window, int timeoutMs)
{
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&window, &BrowserWindow::pageLoaded, &loop, [&](bool loaded) {
        ok = loaded;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;

    QTemporaryDir dir;
    dir.setAutoRemove(!qEnvironmentVariableIsSet("VARNEL_BENCH_KEEP"));
    if (!dir.autoRemove())
        std::printf("files kept in %s\n", qPrintable(dir.path()));
    SetProgramFolder(dir.path());
    QDir(dir.path()).mkdir(QStringLiteral("xsl"));
    QDir(dir.path()).mkdir(QStringLiteral("tmp"));
    QDir(dir.path()).mkdir(QStringLiteral("store"));
    SetTemporaryFolder(dir.filePath(QStringLiteral("tmp")));
    PlacementStore::SetRoot(dir.filePath(QStringLiteral("store")));
    SetPageViewPluginFolder(QStringLiteral(VARNEL_PROGRAM_DIR "/plugins"));
    const QString xsl = dir.filePath(QStringLiteral("xsl/issue_list.xsl"));
    QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/xsl/issue_list.xsl"), xsl);
    {
        QFile ini(dir.filePath(QStringLiteral("varnel_client.ini")));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Path]\r\nSchemaIssueList=.\\xsl\\issue_list.xsl\r\n");
    }
    const QString handbook = dir.filePath(QStringLiteral("IL20240315183000.msg"));
    GenerateHandbook(handbook, count);
    SetWorkbookOpener([](const QString&) { return true; });

    std::printf("handbook: %d instruments, %.1f MB\n", count,
                QFileInfo(handbook).size() / 1048576.0);

    ScriptedDialogs dialogs;
    QString page;
    QByteArray pageBytes;
    const int runs = qEnvironmentVariableIsSet("VARNEL_BENCH_RUNS")
                         ? std::max(1, qEnvironmentVariableIntValue("VARNEL_BENCH_RUNS"))
                         : 3;
    for (int run = 0; run < runs; ++run) {
        dialogs.choosePath(handbook);
        QElapsedTimer timer;
        timer.start();
        auto* window = new frmIssue;
        const qint64 created = timer.elapsed();
        window->LoadHandbook(nullptr);
        const qint64 rendered = timer.elapsed();
        window->show();
        const bool ok = WaitFor(*window, 60000);
        const qint64 shown = timer.elapsed();
        page = window->pageFile();
        QFile pageFile(page);
        pageFile.open(QIODevice::ReadOnly);
        pageBytes = pageFile.readAll();
        const qint64 htmlSize = pageBytes.size();
        std::printf("run %d (%s): OK to page shown %lld ms = window and engine start %lld + copy, "
                    "libxml2 and libxslt %lld + engine load %lld  (page %.1f MB, %s)%s\n",
                    run + 1, run == 0 ? "engine cold" : "engine warm", shown, created,
                    rendered - created, shown - rendered, htmlSize / 1048576.0,
                    qPrintable(window->wbPage()->engineName()), ok ? "" : "  NOT LOADED");
        if (run < runs - 1) {
            window->close();
            delete window;
        } else {
            QElapsedTimer e;
            e.start();
            const QString workbook = ExportPageToWorkbook(nullptr, page, QStringLiteral("bench"));
            const qint64 exported = e.elapsed();
            e.restart();
            Sheet sheet = ReadPageSheet(pageBytes);
            const qint64 read = e.elapsed();
            RemoveRowsToSaveAs(sheet);
            FitColumns(sheet);
            e.restart();
            WriteWorkbook(sheet, dir.filePath(QStringLiteral("tmp/second.xlsx")),
                          dir.filePath(QStringLiteral("tmp")));
            const qint64 written = e.elapsed();
            e.restart();
            SaveWorkbook(sheet, dir.filePath(QStringLiteral("tmp/third.xlsx")));
            const qint64 saved = e.elapsed();
            std::printf("export: %lld ms (page read into the sheet %lld, libxlsxwriter %lld, "
                        "workbook saved atomically %lld; %lld rows, workbook %.1f MB)\n",
                        exported, read, written, saved, qlonglong(sheet.rows.size()),
                        QFileInfo(workbook).size() / 1048576.0);
            delete window;
        }
    }

    // The parts of the libxslt side one by one.
    for (int run = 0; run < 2; ++run) {
        QElapsedTimer t;
        t.start();
        const HandbookFile copy = PrepareHandbookFile(handbook);
        const qint64 copied = t.elapsed();
        t.restart();
        const ViewerPage rendered = RenderXmlPage(copy.shown, dir.path());
        const qint64 made = t.elapsed();
        t.restart();
        const TemporaryFile html = ReserveTemporaryFile(QStringLiteral(".htm"));
        WriteTemporaryFile(html, rendered.html);
        const qint64 written = t.elapsed();
        std::printf("parts: copy with the stylesheet attached %lld ms, libxml2 load %lld ms, "
                    "libxslt transform and output %lld ms, page written %lld ms\n",
                    copied, rendered.loadMs, made - rendered.loadMs, written);
        RemoveFiles(copy.copy.files() + html.files());
    }

    // Baselines on the same files.
    QString xsltproc = qEnvironmentVariable("VARNEL_XSLTPROC");
    if (xsltproc.isEmpty())
        xsltproc = QStandardPaths::findExecutable(QStringLiteral("xsltproc"));
    if (!xsltproc.isEmpty()) {
        const double t =
            Run(xsltproc, {xsl, handbook}, dir.filePath(QStringLiteral("xsltproc.html")));
        std::printf("baseline xsltproc issue_list.xsl on the handbook: %.0f ms\n", t);
    } else {
        std::printf("baseline xsltproc: not installed (set VARNEL_XSLTPROC)\n");
    }
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (!xmllint.isEmpty())
        std::printf(
            "baseline xmllint --noout --stream on the handbook: %.0f ms\n",
            Run(xmllint, {QStringLiteral("--noout"), QStringLiteral("--stream"), handbook}));
    {
        const QByteArray& bytes = pageBytes;
        QElapsedTimer timer;
        timer.start();
        QFile out(dir.filePath(QStringLiteral("plain.html")));
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        out.close();
        std::printf("baseline plain write of the page's bytes: %lld ms\n", timer.elapsed());
    }
    return 0;
}
