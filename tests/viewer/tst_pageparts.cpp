// A stylesheet applied in parts: the page made a few hundred instruments at a time is the page
// the same stylesheet makes whole, byte for byte, at every size around the parts' boundaries;
// a heading without its place for the rows falls back to the whole run; a part that fails ends
// the page with the reason; a stop ends the making; the viewer's own size limit is named. And
// a window's page job: the page it shows as it grows is the file it leaves, or nothing.
#include "answers/IncomingMessage.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/TempFiles.h"
#include "core/XmlLoad.h"
#include "tools/HandbookGenerator.h"
#include "viewer/PageJob.h"
#include "viewer/SpreadsheetExport.h"
#include "viewer/ViewerFiles.h"
#include "viewer/XslEngine.h"
#include "viewer/XslTransform.h"

#include "ViewerTestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <optional>

using namespace varnel;

namespace {

const QString kShipped = QStringLiteral(VARNEL_SOURCE_DIR "/dist/xsl/issue_list.xsl");

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

class Collected : public PageSink {
public:
    void write(const char* data, qint64 size) override { bytes.append(data, size); }
    // Each time what came so far is worth showing, and how much that was.
    void flush() override { shown << bytes.size(); }
    QByteArray bytes;
    QList<qsizetype> shown;
};

} // namespace

class PagePartsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ViewerFolders> dir_;

    // A handbook of that many instruments naming the stylesheet (text given, or the shipped).
    QString handbook(int instruments, const QByteArray& stylesheet = QByteArray())
    {
        const QString xsl = dir_->filePath(QStringLiteral("issue_list.xsl"));
        WriteAll(xsl, stylesheet.isEmpty() ? ReadAll(kShipped) : stylesheet);
        tools::HandbookOptions options;
        options.instruments = instruments;
        QByteArray text = tools::GenerateHandbook(options);
        AttachStylesheet(text, "<ISSUELIST", xsl);
        const QString path = dir_->filePath(QStringLiteral("IL.msg"));
        WriteAll(path, text);
        return path;
    }
    // The shipped stylesheet as one that is always applied whole: its parameter made a variable.
    static QByteArray WholeOnly()
    {
        QByteArray xsl = ReadAll(kShipped);
        const QByteArray param = "<xsl:param name=\"viewer-part\" select=\"''\"/>";
        Q_ASSERT(xsl.contains(param));
        return xsl.replace(param, "<xsl:variable name=\"viewer-part\" select=\"''\"/>");
    }

private slots:
    void init() { dir_ = std::make_unique<test::ViewerFolders>(); }
    void cleanup() { dir_.reset(); }

    void partsMakeTheWholePage_data()
    {
        QTest::addColumn<int>("instruments");
        for (const int n : {0, 1, 199, 200, 201, 1199, 1200, 1201, 2500})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }
    void partsMakeTheWholePage()
    {
        QFETCH(int, instruments);
        const QString whole = handbook(instruments, WholeOnly());
        const ViewerPage expected = RenderXmlPage(whole, dir_->path());
        QVERIFY2(expected.notice.isEmpty(), qPrintable(expected.notice));

        const QString parts = handbook(instruments);
        Collected sink;
        qint64 reported = 0;
        qint64 total = 0;
        const ViewerPage page =
            MakeXmlPage(parts, dir_->path(), TransformLimits(), sink, [&](qint64 done, qint64 all) {
                QVERIFY(done >= reported);
                reported = done;
                total = all;
            });
        QVERIFY2(page.notice.isEmpty(), qPrintable(page.notice));
        QCOMPARE(page.stylesheet, dir_->filePath(QStringLiteral("issue_list.xsl")));
        QCOMPARE(sink.bytes, expected.html);
        QCOMPARE(reported, total);
        QVERIFY(QString::fromUtf8(sink.bytes)
                    .contains(QStringLiteral("Инструментов: %1").arg(instruments)));
        // The page is offered while it grows: the heading with the rows made so far, then each
        // part, before its end comes.
        QVERIFY(!sink.shown.isEmpty());
        QVERIFY(sink.shown.first() < sink.bytes.size());
    }

    // The shipped receipts stylesheets too: receipts of 2,500 rows, every seventh refused.
    void receiptsInPartsMakeTheWholePage_data()
    {
        QTest::addColumn<QString>("stylesheet");
        QTest::addColumn<QByteArray>("root");
        QTest::newRow("deals") << "receipts.xsl" << QByteArray("Receipts");
        QTest::newRow("repo deals") << "repo_receipts.xsl" << QByteArray("RepoReceipts");
        QTest::newRow("revocations") << "revoke_receipts.xsl" << QByteArray("RevokeReceipts");
        QTest::newRow("repo revocations")
            << "repo_revoke_receipts.xsl" << QByteArray("RepoRevokeReceipts");
    }
    void receiptsInPartsMakeTheWholePage()
    {
        QFETCH(QString, stylesheet);
        QFETCH(QByteArray, root);
        QByteArray text = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<" + root +
                          " Language=\"RU\" Created=\"2025-03-10T10:42:07\" Request=\"DL1.xml\" "
                          "ReplyType=\"1\" Total=\"2500\" Accepted=\"2143\" Rejected=\"357\">\r\n";
        for (int i = 1; i <= 2500; ++i) {
            const QByteArray n = QByteArray::number(i);
            text += "<Receipt N=\"" + n + "\" Id=\"25031000" + n + "\" Agreement=\"A-" + n +
                    "\" Reference=\"IN-" + n +
                    "\" Participant=\"MC0001200000\" Issue=\"AAAA3\" Direction=\"1\" Status=\"" +
                    (i % 7 ? QByteArray("Accepted")
                           : QByteArray("Rejected\" Code=\"S16\" Text=\"(S16) refused")) +
                    "\" />\r\n";
        }
        text += "</" + root + ">\r\n";
        QByteArray xsl = ReadAll(QStringLiteral(VARNEL_SOURCE_DIR "/dist/xsl/") + stylesheet);
        // The page, and how often it was offered while it grew (never, when made whole).
        const auto render = [&](const QByteArray& sheet, qsizetype* offered) {
            WriteAll(dir_->filePath(stylesheet), sheet);
            QByteArray message = text;
            AttachStylesheet(message, '<' + root.toUpper(), dir_->filePath(stylesheet));
            WriteAll(dir_->filePath(QStringLiteral("DL.msg")), message);
            Collected sink;
            const ViewerPage page = MakeXmlPage(dir_->filePath(QStringLiteral("DL.msg")),
                                                dir_->path(), TransformLimits(), sink);
            *offered = sink.shown.size();
            return page.notice.isEmpty() ? sink.bytes : page.notice.toUtf8();
        };
        // How often depends on when the rows' count ends beside the parts (on a quick machine
        // only after the last part): at least once is what tells the parts from the whole.
        qsizetype offered = 0;
        const QByteArray parts = render(xsl, &offered);
        QVERIFY(offered >= 1);
        const QByteArray param = "<xsl:param name=\"viewer-part\" select=\"''\"/>";
        QVERIFY(xsl.contains(param));
        const QByteArray whole = render(
            xsl.replace(param, "<xsl:variable name=\"viewer-part\" select=\"''\"/>"), &offered);
        QCOMPARE(offered, 0);
        QCOMPARE(parts, whole);
        const QString html = QString::fromUtf8(parts);
        QCOMPARE(html.count(QStringLiteral("<tr id=\"row-")), 2500);
        QCOMPARE(html.count(QStringLiteral("(S16) refused")), 357);
    }

    // A receipt read in parts whose fault lies in the first part, in a later one, at its end or
    // before its rows: the window's job tells it about the file the user chose, with the line
    // and column there, as loading that file would (an envelope of two lines before it shifts
    // the lines), and leaves no page.
    void jobTellsTheChosenFile_data()
    {
        QTest::addColumn<int>("fault"); // the receipt whose attribute is broken; 0: none
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("envelope");
        QTest::newRow("first part") << 3 << true << false;
        QTest::newRow("later part") << 1500 << true << false;
        QTest::newRow("later part, envelope") << 1500 << true << true;
        QTest::newRow("not closed") << 0 << false << false;
        QTest::newRow("not closed, envelope") << 0 << false << true;
        QTest::newRow("root") << -1 << true << true;
    }
    void jobTellsTheChosenFile()
    {
        QFETCH(int, fault);
        QFETCH(bool, closed);
        QFETCH(bool, envelope);
        QByteArray text = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<Receipts "
                          "Request=\"DL1.xml\"";
        text += fault < 0 ? " Total=\"\x01\">\r\n" : " Total=\"2500\">\r\n";
        for (int i = 1; i <= 2500; ++i)
            text += "<Receipt N=\"" + QByteArray::number(i) + "\" Agreement=\"" +
                    (i == fault ? QByteArray("\x01") : QByteArray("A")) +
                    "\" Status=\"Accepted\" />\r\n";
        if (closed)
            text += "</Receipts>\r\n";
        // What loading the receipt itself says.
        const QString plain = dir_->filePath(QStringLiteral("plain.msg"));
        WriteAll(plain, text);
        QString expected;
        try {
            XmlDocument::Load(plain, XmlLoadOptions{kViewerMaxFileBytes, {}});
            QFAIL("the receipt loaded");
        } catch (const Error& e) {
            expected = e.description();
        }
        const QString chosen = dir_->filePath(QStringLiteral("DL1.msg"));
        expected.replace(plain, chosen);
        // Every line it names is two further down behind the envelope.
        for (qsizetype at = 0; envelope;) {
            static const QRegularExpression line(QStringLiteral("(?:line |Строка: )(\\d+)"));
            const QRegularExpressionMatch m = line.match(expected, at);
            if (!m.hasMatch())
                break;
            const QString shifted = QString::number(m.captured(1).toInt() + 2);
            expected.replace(m.capturedStart(1), m.capturedLength(1), shifted);
            at = m.capturedStart(1) + shifted.size();
        }
        WriteAll(chosen,
                 (envelope ? QByteArray("ENVELOPE 1\r\nENVELOPE 2\r\n") : QByteArray()) + text);
        const MessageCopy copy = MakeMessageCopy(chosen);
        const QString pagePath = dir_->filePath(QStringLiteral("page.htm"));
        const CopyOrigin origin = copy.origin;
        PageJob job(
            copy.copy.path, dir_->path(), pagePath,
            [origin](const QString& told) { return origin.describe(told); }, chosen);
        std::optional<PageJob::End> outcome;
        job.start([&](const PageJob::End& o) { outcome = o; });
        QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 60000);
        QCOMPARE(outcome->outcome.failure, expected);
        QVERIFY(job.page()->complete());
        QVERIFY(!QFileInfo::exists(pagePath));
        RemoveFiles(copy.copy.files());
    }

    // A heading whose page has no place for the rows: the stylesheet is applied whole.
    void headingWithoutItsPlaceIsAppliedWhole()
    {
        QByteArray xsl = ReadAll(kShipped);
        xsl.replace("<xsl:comment>viewer-rows</xsl:comment>", "");
        const ViewerPage page = RenderXmlPage(handbook(450, xsl), dir_->path());
        QVERIFY(page.notice.isEmpty());
        QCOMPARE(QString::fromUtf8(page.html).count(QStringLiteral("<tr")), 452);
    }

    // A part that fails ends the page where it stands, with the reason, and the page is closed.
    void failingPartEndsThePage()
    {
        QByteArray xsl = ReadAll(kShipped);
        xsl.replace("<xsl:template match=\"*\" mode=\"rows\">",
                    "<xsl:template match=\"*\" mode=\"rows\"><xsl:if test=\"$viewer-first &gt; "
                    "1\"><xsl:message terminate=\"yes\">second part refused</xsl:message>"
                    "</xsl:if>");
        const ViewerPage page = RenderXmlPage(handbook(700, xsl), dir_->path());
        const QString html = QString::fromUtf8(page.html);
        QVERIFY2(page.notice.contains(QStringLiteral("second part refused")),
                 qPrintable(page.notice));
        QVERIFY(page.notice.endsWith(QStringLiteral("Страница показана не целиком.")));
        QCOMPARE(html.count(QStringLiteral("<tr")), 2 + 200);
        QVERIFY(html.contains(page.notice.toHtmlEscaped()) ||
                html.contains(HtmlEscaped(page.notice)));
        QVERIFY(html.trimmed().endsWith(QStringLiteral("</html>")));
    }

    void stopEndsTheMaking()
    {
        const QString path = handbook(3000);
        std::atomic<bool> stop{false};
        TransformLimits limits;
        limits.stop = &stop;
        Collected sink;
        const ViewerPage page =
            MakeXmlPage(path, dir_->path(), limits, sink,
                        [&](qint64 done, qint64 total) { stop = done > total / 3; });
        QVERIFY(page.stopped);
    }

    // The viewer reads documents far beyond the loader's limit for small files, up to its own,
    // which its refusal names; the loading rule holds for a document read in parts.
    void limitsAndRules()
    {
        const QString path = handbook(100);
        const qint64 size = QFileInfo(path).size();
        Collected sink;
        try {
            MakeXmlPage(path, dir_->path(), TransformLimits(), sink, {}, size - 1);
            QFAIL("read beyond the limit");
        } catch (const Error& e) {
            QVERIFY2(e.description().endsWith(
                         QStringLiteral("больше допустимого (%1 байт)").arg(size - 1)),
                     qPrintable(e.description()));
        }
        QByteArray text = ReadAll(path);
        text.replace("<IssueList", "<!DOCTYPE IssueList [<!ENTITY e \"x\">]>\r\n<IssueList");
        WriteAll(path, text);
        try {
            RenderXmlPage(path, dir_->path());
            QFAIL("a DOCTYPE was read");
        } catch (const Error& e) {
            QVERIFY(e.description().contains(QStringLiteral("DTD is prohibited.")));
        }
    }

    // A stylesheet the message brings that makes a page beyond the page's budget, each part of
    // it well within its own run's limits: the page's size, its memory (its bytes count) and its
    // time bound all its parts together, and so a page made whole as well. The window's job ends
    // with the reason, which names the limit, and leaves nothing on disk.
    void pageBudgetBoundsAllItsParts_data()
    {
        QTest::addColumn<bool>("inParts");
        QTest::addColumn<qint64>("pageBytes");
        QTest::addColumn<qint64>("memoryBytes");
        QTest::addColumn<int>("pageMilliseconds");
        QTest::addColumn<QString>("reason");
        const qint64 mb = 1024 * 1024;
        const TransformLimits usual;
        QTest::newRow("parts, size")
            << true << 2 * mb << usual.memoryBytes << usual.pageMilliseconds
            << "таблица стилей сделала страницу больше 2 МБ и остановлена";
        QTest::newRow("parts, memory")
            << true << usual.pageBytes << 2 * mb << usual.pageMilliseconds
            << "таблица стилей заняла больше 2 МБ памяти и остановлена";
        QTest::newRow("parts, time") << true << usual.pageBytes << usual.memoryBytes << 0
                                     << "таблица стилей выполнялась дольше 0 с и остановлена";
        QTest::newRow("whole, size")
            << false << 2 * mb << usual.memoryBytes << usual.pageMilliseconds
            << "таблица стилей сделала страницу больше 2 МБ и остановлена";
    }
    void pageBudgetBoundsAllItsParts()
    {
        QFETCH(bool, inParts);
        QFETCH(qint64, pageBytes);
        QFETCH(qint64, memoryBytes);
        QFETCH(int, pageMilliseconds);
        QFETCH(QString, reason);
        // 3,000 children of a kilobyte each: a part makes a megabyte at most, the page three.
        const QByteArray xsl =
            "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
            "xmlns:str=\"http://exslt.org/strings\" extension-element-prefixes=\"str\">"
            "<xsl:output method=\"html\"/>" +
            QByteArray(inParts ? "<xsl:param name=\"viewer-part\" select=\"''\"/>" : "") +
            "<xsl:template match=\"/\"><html><body><xsl:for-each select=\"*/*\"><p>"
            "<xsl:value-of select=\"str:padding(1024, 'x')\"/></p></xsl:for-each>"
            "<xsl:comment>viewer-rows</xsl:comment></body></html></xsl:template>"
            "</xsl:stylesheet>";
        const QString stylesheet = dir_->filePath(QStringLiteral("page.xsl"));
        WriteAll(stylesheet, xsl);
        QByteArray message = "<Rows>\n";
        for (int i = 0; i < 3000; ++i)
            message += "<r/>\n";
        message += "</Rows>\n";
        AttachStylesheet(message, "<ROWS", stylesheet);
        const QString document = dir_->filePath(QStringLiteral("rows.msg"));
        WriteAll(document, message);

        // Within the usual budget the page is made, a part at a time when it may be.
        Collected sink;
        const ViewerPage made = MakeXmlPage(document, dir_->path(), TransformLimits(), sink);
        QVERIFY2(made.notice.isEmpty(), qPrintable(made.notice));
        QVERIFY(sink.bytes.size() > 3000 * 1024);
        QCOMPARE(!sink.shown.isEmpty(), inParts);

        TransformLimits limits;
        limits.pageBytes = pageBytes;
        limits.memoryBytes = memoryBytes;
        limits.pageMilliseconds = pageMilliseconds;
        const QString pagePath = dir_->filePath(QStringLiteral("page.htm"));
        PageJob job(document, dir_->path(), pagePath, {}, QString(), limits);
        std::optional<PageJob::End> outcome;
        job.start([&](const PageJob::End& o) { outcome = o; });
        QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 60000);
        QCOMPARE(outcome->outcome.failure, QStringLiteral("Ошибка при применении таблицы стилей ") +
                                               stylesheet + QStringLiteral(": ") + reason +
                                               QStringLiteral(". Страница не показана."));
        QVERIFY(job.page()->complete());
        QCOMPARE(QDir(dir_->path())
                     .entryList({QStringLiteral("*page.htm*")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // A whole run of a big document gets more time and memory, a whole market's handbook
    // enough, and the biggest document the viewer reads no more than the machine can give.
    void wholeRunLimitsGrowWithinBounds_data()
    {
        QTest::addColumn<qint64>("megabytes");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<qint64>("memoryMegabytes");
        QTest::newRow("message") << qint64(1) << 10 << qint64(1024);
        QTest::newRow("handbook of 200,000") << qint64(62) << 72 << qint64(62 * 30);
        QTest::newRow("viewer's largest")
            << kViewerMaxFileBytes / (1024 * 1024) << 522 << qint64(4096);
    }
    void wholeRunLimitsGrowWithinBounds()
    {
        QFETCH(qint64, megabytes);
        QFETCH(int, seconds);
        QFETCH(qint64, memoryMegabytes);
        const TransformLimits grown = LimitsForDocument(TransformLimits(), megabytes << 20);
        QCOMPARE(grown.milliseconds, seconds * 1000);
        QCOMPARE(grown.memoryBytes, memoryMegabytes << 20);
        QCOMPARE(grown.pageBytes, TransformLimits().pageBytes);
    }

    // A window's page job: what the view reads as the page grows is the page, which its file,
    // private to the user, holds once the job has ended; progress comes to its end.
    // A page made in parts and kept apart for the viewer's windows of rows: each window is the
    // heading's page with its rows, the first one is what the view is shown as it grows, and
    // all the rows together make the page made whole.
    void jobKeepsWindowsOfRows_data()
    {
        QTest::addColumn<int>("instruments");
        for (const int n : {0, 1000, 2500})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }
    void jobKeepsWindowsOfRows()
    {
        QFETCH(int, instruments);
        const QString document = handbook(instruments);
        const QByteArray expected = RenderXmlPage(document, dir_->path()).html;
        const qsizetype rowsAt = expected.indexOf("<div class=\"chunk\"");
        const QByteArray before = expected.left(rowsAt < 0 ? expected.indexOf("</body>") : rowsAt);
        const QByteArray after = expected.mid(expected.indexOf("</body>"));
        const QString pagePath = dir_->filePath(QStringLiteral("page.htm"));
        PageJob job(document, dir_->path(), pagePath, {}, QString(), TransformLimits(),
                    dir_->filePath(QStringLiteral("rows.htm")), 1000);
        std::optional<PageJob::End> outcome;
        job.start([&](const PageJob::End& o) { outcome = o; });
        QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 60000);
        QVERIFY2(outcome->outcome.failure.isEmpty(), qPrintable(outcome->outcome.failure));
        QVERIFY(job.windowed());
        QCOMPARE(job.rowCount(), instruments);
        QCOMPARE(job.rowsMade(), instruments);
        PageSource source;
        QVERIFY(job.wholePage(&source));
        QCOMPARE(source.size, expected.size());
        QByteArray whole;
        char piece[4096];
        for (qint64 got; (got = source.read(piece, sizeof piece)) > 0;)
            whole.append(piece, got);
        QCOMPARE(whole, expected);
        const int windows = std::max(1, (instruments + 999) / 1000);
        for (int w = 0; w < windows; ++w) {
            QByteArray html;
            QVERIFY(job.windowPage(w, &html));
            QVERIFY(html.startsWith(before) && html.endsWith(after));
            const int first = w * 1000 + 1;
            const int last = std::min(instruments, first + 999);
            QCOMPARE(html.count("<tr id=\"row-"), last - first + 1);
            if (instruments > 0)
                QVERIFY(html.contains("id=\"row-" + QByteArray::number(first) + '"') &&
                        html.contains("id=\"row-" + QByteArray::number(last) + '"'));
            // The first window shows before the rows are counted.
            if (w == 0)
                QCOMPARE(ReadAll(pagePath),
                         html.replace("Инструментов: " + QByteArray::number(instruments),
                                      "Инструментов: …"));
        }
        QByteArray none;
        QVERIFY(!job.windowPage(windows, &none));
    }

    void jobShowsWhatItWrites()
    {
        const QString document = handbook(2500);
        const QString pagePath = dir_->filePath(QStringLiteral("page.htm"));
        const QByteArray expected = RenderXmlPage(document, dir_->path()).html;
        PageJob job(document, dir_->path(), pagePath);
        std::shared_ptr<GrowingPage> page = job.page();
        QByteArray seen;
        int growths = 0;
        const auto take = [&] {
            ++growths;
            char piece[100000];
            for (qint64 n; (n = page->read(seen.size(), piece, sizeof piece)) > 0;)
                seen.append(piece, n);
        };
        page->setGrowthHandler(take);
        std::optional<PageJob::End> outcome;
        job.start([&](const PageJob::End& o) { outcome = o; });
        QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 60000);
        QTRY_VERIFY(page->complete());
        take();
        QVERIFY(outcome->outcome.failure.isEmpty() && !outcome->outcome.cancelled());
        QVERIFY(!job.running());
        QCOMPARE(job.permille(), 1000);
        QCOMPARE(seen, expected);
        QCOMPARE(ReadAll(pagePath), expected);
        // A whole market's handbook (200,000 instruments) keeps well inside the page's size.
        QVERIFY(expected.size() * (200000 / 2500) < TransformLimits().pageBytes / 2);
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFileInfo(pagePath).permissions() & others, QFileDevice::Permissions());
        QVERIFY(growths >= 2);
    }

    // A job whose window goes stops at once and leaves no page behind; a document the loading
    // rule refuses ends the job with the rule's text and no page either.
    void jobsThatEndEarlyLeaveNoPage()
    {
        const QString document = handbook(20000);
        const QString pagePath = dir_->filePath(QStringLiteral("page.htm"));
        {
            PageJob job(document, dir_->path(), pagePath);
            job.start([](const PageJob::End&) { QFAIL("a gone job reported"); });
        }
        QCoreApplication::processEvents();
        QCOMPARE(QDir(dir_->path())
                     .entryList({QStringLiteral("*page.htm*")}, QDir::Files | QDir::Hidden),
                 QStringList());

        QByteArray text = ReadAll(document);
        text.replace("<IssueList", "<!DOCTYPE IssueList>\r\n<IssueList");
        WriteAll(document, text);
        PageJob refused(document, dir_->path(), pagePath);
        std::optional<PageJob::End> outcome;
        refused.start([&](const PageJob::End& o) { outcome = o; });
        QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 60000);
        QVERIFY2(outcome->outcome.failure.contains(QStringLiteral("DTD is prohibited.")),
                 qPrintable(outcome->outcome.failure));
        QVERIFY(refused.page()->complete());
        QVERIFY(!QFileInfo::exists(pagePath));
    }
};

QTEST_GUILESS_MAIN(PagePartsTest)
#include "tst_pageparts.moc"
