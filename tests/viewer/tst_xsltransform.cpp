// The pages the viewers show: the shipped stylesheets on the shipped messages, the tree of a
// document without a stylesheet, and stylesheets that reach for the network, write files,
// read what they should not, or never end.
#include "answers/IncomingMessage.h"
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/TempFiles.h"
#include "core/XmlLoad.h"
#include "viewer/PageView.h"
#include "viewer/SpreadsheetExport.h"
#include "viewer/ViewerFiles.h"
#include "viewer/XslTransform.h"

#include "ViewerTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace varnel;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QString PageText(const ViewerPage& page)
{
    return QString::fromUtf8(page.html);
}

const QByteArray kStylesheetHead =
    "<?xml version=\"1.0\"?>\n<xsl:stylesheet version=\"1.0\" "
    "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n<xsl:output method=\"html\"/>\n";
const QByteArray kStylesheetTail = "</xsl:stylesheet>\n";

QByteArray Stylesheet(const QByteArray& body)
{
    return kStylesheetHead + body + kStylesheetTail;
}

} // namespace

class XslTransformTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ViewerFolders> dir_;

    // A message naming the stylesheet file at xslPath (written with the given text).
    QString messageWith(const QByteArray& stylesheet,
                        const QByteArray& root = "<Receipts A=\"1\"/>")
    {
        const QString xsl = dir_->filePath(QStringLiteral("s.xsl"));
        WriteFile(xsl, stylesheet);
        QByteArray text = "<?xml version=\"1.0\"?>\r\n" + root + "\r\n";
        AttachStylesheet(text, "<RECEIPTS", xsl);
        const QString path = dir_->filePath(QStringLiteral("m.xml"));
        WriteFile(path, text);
        return path;
    }

private slots:
    void init() { dir_ = std::make_unique<test::ViewerFolders>(); }
    void cleanup() { dir_.reset(); }

    // Each shipped message through the stylesheet its kind names in the shipped settings.
    void shippedStylesheets_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("row");
        QTest::newRow("receipts") << "DL1A2B.msg"
                                  << "RECEIPTS"
                                  << "Квитанции на отчет о сделках"
                                  << "(S16) Поле Price (0) должно иметь положительное значение";
        QTest::newRow("repo receipts") << "DR5B6C.msg"
                                       << "REPORECEIPTS"
                                       << "Квитанции на отчет о сделках РЕПО"
                                       << "RP-0108";
        QTest::newRow("handbook") << "ISSUELIST_20250310.msg"
                                  << "ISSUELIST"
                                  << "Справочник ценных бумаг"
                                  << "RU000A00BIX2";
        QTest::newRow("subscription") << "SIL5E6F.msg"
                                      << "SUBSCRIBERESULT"
                                      << "Подписка на справочник ценных бумаг"
                                      << "Выполнен";
        QTest::newRow("revocation") << "RD3C4D.msg"
                                    << "REVOKERECEIPTS"
                                    << "Квитанции на запрос на удаление сделок"
                                    << "(S80) Сделка 240301000777 не найдена";
        QTest::newRow("repo revocation") << "RR7D8E.msg"
                                         << "REPOREVOKERECEIPTS"
                                         << "Квитанции на запрос на удаление сделок РЕПО"
                                         << "Формат ответа: Full";
    }
    void shippedStylesheets()
    {
        QFETCH(QString, message);
        QFETCH(QString, kind);
        QFETCH(QString, heading);
        QFETCH(QString, row);
        const QString path = QStringLiteral(VARNEL_SOURCE_DIR "/dist/receive/") + message;
        const MessageCopy copy = MakeMessageCopy(path);
        QCOMPARE(copy.kind->name, kind);
        const ViewerPage page = RenderXmlPage(copy.copy.path, QFileInfo(path).absolutePath());
        RemoveFiles(copy.copy.files());
        QVERIFY2(page.notice.isEmpty(), qPrintable(page.notice));
        QVERIFY(page.stylesheet.endsWith(QStringLiteral(".xsl")));
        const QString html = PageText(page);
        QVERIFY(html.contains(QStringLiteral("<h1>") + heading + QStringLiteral("</h1>")));
        QVERIFY2(html.contains(row), qPrintable(row));
        // The heading ends in the line the export cuts at, and the hint the user reads there is
        // Russian: the export's workbook begins below it.
        QVERIFY(html.contains(QStringLiteral("Save as")));
        QVERIFY(!html.contains(QStringLiteral("Save as:")));
        Sheet sheet = ReadPageSheet(html.toUtf8());
        QVERIFY(RemoveRowsToSaveAs(sheet) > 0);
        const QString rest = SheetText(sheet);
        QVERIFY2(!rest.contains(heading) && !rest.contains(QStringLiteral("Экспортировать")),
                 qPrintable(rest.left(300)));
        QVERIFY(!rest.trimmed().isEmpty());
    }

    // Rows in tables of 200 are numbered on across the tables, and none is lost or doubled.
    void handbookRowsAcrossTables()
    {
        QByteArray text = "<?xml version=\"1.0\"?>\r\n<IssueList Count=\"450\">\r\n";
        for (int i = 1; i <= 450; ++i)
            text += "<Issue Code=\"C" + QByteArray::number(i) + "\" />\r\n";
        text += "</IssueList>\r\n";
        AttachStylesheet(text, "<ISSUELIST",
                         QStringLiteral(VARNEL_SOURCE_DIR "/dist/xsl/issue_list.xsl"));
        const QString path = dir_->filePath(QStringLiteral("h.xml"));
        WriteFile(path, text);
        const QString html = PageText(RenderXmlPage(path, dir_->path()));
        QCOMPARE(html.count(QStringLiteral("<tr")), 452);
        QCOMPARE(html.count(QStringLiteral("<tr id=\"row-")), 450);
        QCOMPARE(html.count(QStringLiteral("class=\"chunk\"")), 3);
        for (int i : {1, 200, 201, 400, 450})
            QVERIFY(
                html.contains(QStringLiteral("<tr id=\"row-%1\"><td>%1</td><td>C%1</td>").arg(i)));
    }

    // What each output method makes of the result, an empty result included: always a whole
    // HTML page, the stylesheet applied and nothing to say about it.
    void outputMethods_data()
    {
        QTest::addColumn<QByteArray>("stylesheet");
        QTest::addColumn<QString>("expected");
        const auto with = [](const QByteArray& method, const QByteArray& body) {
            return QByteArray(kStylesheetHead).replace("\"html\"", method) + body + kStylesheetTail;
        };
        const QByteArray nothing = "<xsl:template match=\"/\"/>";
        QTest::newRow("html") << Stylesheet("<xsl:template match=\"/\"><html><body><p>R"
                                            "<xsl:value-of select=\"*/@A\"/></p></body></html>"
                                            "</xsl:template>")
                              << QStringLiteral("<p>R1</p>");
        QTest::newRow("text") << with("\"text\"", "<xsl:template match=\"/\">a&lt;b</xsl:template>")
                              << QStringLiteral("<pre>a&lt;b</pre>");
        QTest::newRow("xml, its tree")
            << with("\"xml\"", "<xsl:template match=\"/\"><Out/></xsl:template>")
            << QStringLiteral("&lt;Out</span>");
        QTest::newRow("html, nothing") << Stylesheet(nothing) << QStringLiteral("<body></body>");
        QTest::newRow("no output, nothing")
            << with("\"html\"", nothing).replace("<xsl:output method=\"html\"/>", "")
            << QStringLiteral("<body></body>");
        QTest::newRow("xml, nothing")
            << with("\"xml\"", nothing) << QStringLiteral("<body></body>");
        QTest::newRow("text, nothing")
            << with("\"text\"", nothing) << QStringLiteral("<pre></pre>");
    }
    void outputMethods()
    {
        QFETCH(QByteArray, stylesheet);
        QFETCH(QString, expected);
        const ViewerPage page = RenderXmlPage(messageWith(stylesheet), dir_->path());
        QVERIFY2(page.notice.isEmpty(), qPrintable(page.notice));
        QVERIFY(!page.stylesheet.isEmpty());
        const QString html = PageText(page);
        QVERIFY2(html.contains(expected), qPrintable(html));
        QVERIFY2(html.trimmed().endsWith(QStringLiteral("</html>"), Qt::CaseInsensitive),
                 qPrintable(html));
    }

    void treeWithoutStylesheet()
    {
        const QString path = dir_->filePath(QStringLiteral("t.xml"));
        WriteFile(path,
                  "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<Receipts A=\"&lt;1&amp;\">"
                  "<!-- \xea\xee\xec --><Receipt N=\"1\"/><Note>\xf2\xe5\xea\xf1\xf2</Note>"
                  "</Receipts>");
        const ViewerPage page = RenderXmlPage(path, dir_->path());
        QVERIFY(page.stylesheet.isEmpty());
        QVERIFY(page.notice.isEmpty());
        const QString html = PageText(page);
        QVERIFY(html.contains(QStringLiteral("&lt;Receipts</span> <span class=a>A</span>="
                                             "<span class=v>&quot;&lt;1&amp;&quot;")));
        QVERIFY(html.contains(QStringLiteral("&lt;!-- ком --&gt;")));
        QVERIFY(html.contains(QStringLiteral("&gt;</span>текст<span class=t>&lt;/Note&gt;")));
        QVERIFY(html.contains(QStringLiteral("<details open>")));
    }

    void treeIsBounded()
    {
        QByteArray text = "<r>";
        for (int i = 0; i < 30; ++i)
            text += "<e n=\"" + QByteArray::number(i) + "\"/>";
        text += "</r>";
        const QString path = dir_->filePath(QStringLiteral("b.xml"));
        WriteFile(path, text);
        const XmlDocument doc = XmlDocument::Load(path);
        const QString html = QString::fromUtf8(XmlTreePage(doc.doc(), QStringLiteral("r"), {}, 10));
        QCOMPARE(html.count(QStringLiteral("&lt;e</span>")), 9);
        QVERIFY(html.contains(QStringLiteral("Показаны первые 10 элементов; ещё 21 не показаны.")));

        // Texts and attributes count too: a few elements of long Cyrillic texts stop the page at
        // its size, a text cut between whole characters, the rest left out and said.
        QByteArray big = "<r>";
        for (int i = 0; i < 40; ++i)
            big += "<e a=\"" + QByteArray("ж").repeated(300) + "\">" +
                   QByteArray("щ").repeated(700) + "</e>";
        big += "</r>";
        WriteFile(path, big);
        const XmlDocument large = XmlDocument::Load(path);
        const QByteArray page = XmlTreePage(large.doc(), QStringLiteral("r"), {}, 50000, 20000);
        QVERIFY(page.size() < 20000 + 4096);
        const QString shown = QString::fromUtf8(page);
        QVERIFY(!shown.contains(QChar::ReplacementCharacter));
        QVERIFY(shown.contains(QStringLiteral("…")));
        QVERIFY2(shown.contains(QStringLiteral("Показана часть документа: страница дошла до 0 МБ; "
                                               "элементов не показано: 31.")),
                 qPrintable(shown.right(300)));
    }

    // Documents the loading rule refuses are not shown at all; the rule's own text says why.
    void refusedDocuments_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("doctype") << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY x "
                                               "SYSTEM \"file:///etc/passwd\">]>\n<r>&x;</r>")
                                 << "DTD is prohibited.";
        QTest::newRow("invalid bytes") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                                     "<r a=\"\xff\xfe\"/>")
                                       << "Строка";
        QTest::newRow("binary") << QByteArray("\x00\x01\x02<RECEIPTS", 12) << "Строка";
    }
    void refusedDocuments()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        const QString path = dir_->filePath(QStringLiteral("bad.xml"));
        WriteFile(path, text);
        try {
            RenderXmlPage(path, dir_->path());
            QFAIL("a refused document was shown");
        } catch (const Error& e) {
            QVERIFY2(e.description().startsWith(QStringLiteral("Ошибка загрузки файла ") + path),
                     qPrintable(e.description()));
            QVERIFY2(e.description().contains(reason), qPrintable(e.description()));
        }
    }

    // A stylesheet that cannot be used leaves the document shown as its tree, with the reason
    // above it.
    void stylesheetsShownWithout_data()
    {
        QTest::addColumn<QByteArray>("stylesheet");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not well-formed") << QByteArray("<xsl:stylesheet") << "не загружена";
        QTest::newRow("not a stylesheet") << QByteArray("<html/>") << "не загружена";
        QTest::newRow("remote include")
            << Stylesheet("<xsl:include href=\"http://example.com/x.xsl\"/>")
            << "только локальные файлы";
        QTest::newRow("remote document()")
            << Stylesheet("<xsl:template match=\"/\"><p><xsl:value-of "
                          "select=\"document('http://example.com/a.xml')\"/></p></xsl:template>")
            << "только локальные файлы";
        QTest::newRow("external entity")
            << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE xsl:stylesheet [<!ENTITY e SYSTEM "
                          "\"file:///etc/hostname\">]>\n<xsl:stylesheet version=\"1.0\" "
                          "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:template "
                          "match=\"/\"><p>&e;</p></xsl:template></xsl:stylesheet>")
            << "внешние сущности не загружаются";
        QTest::newRow("terminating message")
            << Stylesheet("<xsl:template match=\"/\"><xsl:message terminate=\"yes\">stop "
                          "here</xsl:message></xsl:template>")
            << "stop here";
        QTest::newRow("endless recursion")
            << Stylesheet("<xsl:template match=\"/\"><xsl:call-template name=\"f\"/>"
                          "</xsl:template><xsl:template name=\"f\"><xsl:call-template "
                          "name=\"f\"/></xsl:template>")
            << "Ошибка при применении таблицы стилей";
    }
    void stylesheetsShownWithout()
    {
        QFETCH(QByteArray, stylesheet);
        QFETCH(QString, reason);
        const QString path = messageWith(stylesheet);
        const ViewerPage page = RenderXmlPage(path, dir_->path());
        QVERIFY(page.stylesheet.isEmpty());
        QVERIFY2(page.notice.contains(reason), qPrintable(page.notice));
        QVERIFY(page.notice.endsWith(QStringLiteral("Сообщение показано без неё.")));
        QVERIFY(PageText(page).contains(QStringLiteral("<div class=n>")));
        QVERIFY(PageText(page).contains(QStringLiteral("&lt;Receipts</span>")));
    }

    // No stylesheet writes a file, by whatever element it asks.
    void noFileWrites_data()
    {
        QTest::addColumn<QByteArray>("element");
        QTest::newRow("exsl:document")
            << QByteArray("<exsl:document xmlns:exsl=\"http://exslt.org/common\" href=\"%1\">"
                          "<x/></exsl:document>");
        QTest::newRow("xsl:document")
            << QByteArray("<xsl:document href=\"%1\"><x/></xsl:document>");
    }
    void noFileWrites()
    {
        QFETCH(QByteArray, element);
        const QString target = dir_->filePath(QStringLiteral("written.txt"));
        QByteArray body = "<xsl:template match=\"/\"><p>page</p>" + element + "</xsl:template>";
        body.replace("%1", QUrl::fromLocalFile(target).toEncoded());
        QByteArray xsl = Stylesheet(body);
        xsl.replace("version=\"1.0\" xmlns:xsl",
                    "version=\"1.1\" xmlns:exsl=\"http://exslt.org/common\" "
                    "extension-element-prefixes=\"exsl\" xmlns:xsl");
        const ViewerPage page = RenderXmlPage(messageWith(xsl), dir_->path());
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(page.stylesheet.isEmpty());
        QVERIFY2(page.notice.contains(QStringLiteral("запрещено")), qPrintable(page.notice));
    }

    // Local files a stylesheet includes and reads are fine; a document it reads follows the
    // loading rule, so a DOCTYPE there is refused as well.
    void localIncludesAndDocuments()
    {
        WriteFile(dir_->filePath(QStringLiteral("parts/common.xsl")),
                  Stylesheet("<xsl:template name=\"t\"><b>included</b></xsl:template>"));
        WriteFile(dir_->filePath(QStringLiteral("data.xml")), "<d v=\"from data\"/>");
        WriteFile(dir_->filePath(QStringLiteral("dtd.xml")),
                  "<!DOCTYPE d [<!ENTITY a \"aaaa\">]><d v=\"&a;\"/>");
        const QByteArray body = "<xsl:include href=\"parts/common.xsl\"/><xsl:template "
                                "match=\"/\"><p><xsl:call-template name=\"t\"/><xsl:value-of "
                                "select=\"document('data.xml')/d/@v\"/></p></xsl:template>";
        ViewerPage page = RenderXmlPage(messageWith(Stylesheet(body)), dir_->path());
        QVERIFY2(page.notice.isEmpty(), qPrintable(page.notice));
        QVERIFY(PageText(page).contains(QStringLiteral("<b>included</b>from data")));

        QByteArray refused = body;
        refused.replace("data.xml", "dtd.xml");
        page = RenderXmlPage(messageWith(Stylesheet(refused)), dir_->path());
        QVERIFY2(page.notice.contains(QStringLiteral("DOCTYPE")), qPrintable(page.notice));
    }

    // What a stylesheet reads (imports, includes, document()) is a regular file in the
    // message's folder or a configured stylesheet's folder, no bigger than the run allows: a
    // device, a pipe, a file elsewhere or a link that leads elsewhere is refused at once, and
    // the message is shown as its tree with the reason. What lies in those folders is read.
    void whatStylesheetsRead_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason"); // empty: read and applied
        const auto read = [](const QByteArray& href) {
            return "<xsl:template match=\"/\"><p><xsl:value-of select=\"document('" + href +
                   "')/*/@v\"/></p></xsl:template>";
        };
        const QString special = QStringLiteral("не обычный файл");
        QTest::newRow("import of a device")
            << QByteArray("<xsl:import href=\"/dev/zero\"/>") << special;
        QTest::newRow("document() of a terminal") << read("/dev/ptmx") << special;
        QTest::newRow("document() of a pipe in the folder") << read("pipe.xml") << special;
        QTest::newRow("include of a pipe in the folder")
            << QByteArray("<xsl:include href=\"pipe.xml\"/>") << special;
        QTest::newRow("file beyond the limit") << read("big.xml") << "больше 16384 байт";
        QTest::newRow("file of another folder") << read("%OTHER%/data.xml") << "каталога сообщения";
        QTest::newRow("parent folder") << read("../data.xml") << "каталога сообщения";
        QTest::newRow("link to another folder") << read("link.xml") << "каталога сообщения";
        QTest::newRow("import from another folder")
            << QByteArray("<xsl:import href=\"%OTHER%/style.xsl\"/>") << "каталога сообщения";
        QByteArray many;
        for (int i = 0; i < 1025; ++i)
            many += " a" + QByteArray::number(i) + "=\"\"";
        QTest::newRow("a start tag of too many attributes")
            << "<xsl:template match=\"/\"><p" + many + "/></xsl:template>"
            << "more than 1024 attributes";
        QTest::newRow("document() of too many attributes")
            << read("wide.xml") << "more than 1024 attributes";
        QTest::newRow("the message's folder") << read("data.xml") << QString();
        QTest::newRow("a configured stylesheet's folder")
            << read(QUrl::fromLocalFile(QStringLiteral(VARNEL_SOURCE_DIR "/dist/xsl/receipts.xsl"))
                        .toEncoded())
            << QString();
    }
    void whatStylesheetsRead()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);
        QTemporaryDir other;
        WriteFile(other.filePath(QStringLiteral("data.xml")), "<d v=\"elsewhere\"/>");
        WriteFile(other.filePath(QStringLiteral("style.xsl")), Stylesheet(""));
        WriteFile(dir_->filePath(QStringLiteral("data.xml")), "<d v=\"here\"/>");
        QByteArray wide = "<d";
        for (int i = 0; i < 1025; ++i)
            wide += " v" + QByteArray::number(i) + "=\"\"";
        WriteFile(dir_->filePath(QStringLiteral("wide.xml")), wide + "/>");
        WriteFile(dir_->filePath(QStringLiteral("big.xml")),
                  "<d v=\"" + QByteArray(32768, 'x') + "\"/>");
        QVERIFY(QFile::link(other.filePath(QStringLiteral("data.xml")),
                            dir_->filePath(QStringLiteral("link.xml"))));
        QCOMPARE(::mkfifo(QFile::encodeName(dir_->filePath(QStringLiteral("pipe.xml"))), 0600), 0);
        body.replace("%OTHER%", QFile::encodeName(other.path()));
        TransformLimits limits;
        limits.fileBytes = 16384;
        QByteArray xsl = Stylesheet(body);
        if (body.startsWith("<xsl:import")) // an import comes first
            xsl.replace("<xsl:output method=\"html\"/>\n" + body,
                        body + "<xsl:output method=\"html\"/>\n");
        const ViewerPage page = RenderXmlPage(messageWith(xsl), dir_->path(), limits);
        if (reason.isEmpty()) {
            QVERIFY2(page.notice.isEmpty(), qPrintable(page.notice));
            QVERIFY(!page.stylesheet.isEmpty());
            return;
        }
        QVERIFY(page.stylesheet.isEmpty());
        QVERIFY2(page.notice.contains(reason), qPrintable(page.notice));
        QVERIFY(!page.notice.contains(QStringLiteral("elsewhere")));
        QVERIFY(PageText(page).contains(QStringLiteral("&lt;Receipts</span>")));
    }

    // The files a run reads count against its limits: a run out of time reads nothing more,
    // and what it has read counts as memory it holds.
    void readsCountAgainstLimits_data()
    {
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<qint64>("memoryBytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("time") << 0 << (qint64(1) << 30) << "дольше";
        QTest::newRow("memory") << 10000 << qint64(100) << "памяти";
    }
    void readsCountAgainstLimits()
    {
        QFETCH(int, milliseconds);
        QFETCH(qint64, memoryBytes);
        QFETCH(QString, reason);
        TransformLimits limits;
        limits.milliseconds = milliseconds;
        limits.memoryBytes = memoryBytes;
        const ViewerPage page = RenderXmlPage(
            messageWith(Stylesheet("<xsl:template match=\"/\"><p>styled</p></xsl:template>")),
            dir_->path(), limits);
        QVERIFY(page.stylesheet.isEmpty());
        QVERIFY2(page.notice.contains(reason), qPrintable(page.notice));
    }

    // A stylesheet that runs on is stopped at its time limit, and one that eats memory at its
    // memory limit; the client comes back either way.
    void runawayStylesheets_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason");
        // One XPath expression of 40 to the sixth steps: it computes without a byte of output.
        QByteArray predicate = "count($n) &gt; 0";
        for (int i = 0; i < 5; ++i)
            predicate = "count($n[" + predicate + "]) &gt; 0";
        const QByteArray nested = "<xsl:template match=\"/\"><xsl:variable name=\"n\" "
                                  "select=\"/*/*\"/><p>"
                                  "<xsl:value-of select=\"" +
                                  predicate + "\"/></p></xsl:template>";
        QTest::newRow("time") << nested << "дольше";
        QByteArray grow =
            "<xsl:template match=\"/\"><xsl:call-template name=\"g\"><xsl:with-param name=\"s\" "
            "select=\"'0123456789012345678901234567890123456789'\"/></xsl:call-template>"
            "</xsl:template><xsl:template name=\"g\"><xsl:param name=\"s\"/><xsl:call-template "
            "name=\"g\"><xsl:with-param name=\"s\" select=\"concat($s, $s)\"/>"
            "</xsl:call-template></xsl:template>";
        QTest::newRow("memory") << grow << "памяти";
    }
    void runawayStylesheets()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);
        TransformLimits limits;
        // Each case has room enough in the other limit (also under a sanitizer's own overhead,
        // or on a busy machine) that only its own can stop it.
        const bool memory = reason == u"памяти";
        limits.milliseconds = memory ? 15000 : 1500;
        limits.memoryBytes = (memory ? 64LL : 1024LL) * 1024 * 1024;
        QElapsedTimer timer;
        timer.start();
        QByteArray root = "<Receipts>";
        for (int i = 0; i < 40; ++i)
            root += "<r/>";
        root += "</Receipts>";
        const ViewerPage page =
            RenderXmlPage(messageWith(Stylesheet(body), root), dir_->path(), limits);
        QVERIFY2(timer.elapsed() < 20000, "the run was not stopped");
        QVERIFY(page.stylesheet.isEmpty());
        QVERIFY2(page.notice.contains(reason), qPrintable(page.notice));
    }

    // The stylesheet is found through the escaped file URL for any path a folder may have.
    void stylesheetInAStrangeFolder()
    {
        const QString folder = dir_->filePath(QStringLiteral("R&D \"Схемы\" <1> 100%"));
        const QString xsl = folder + QStringLiteral("/receipts.xsl");
        WriteFile(xsl, Stylesheet("<xsl:template match=\"/\"><p>styled</p></xsl:template>"));
        QByteArray text = "<?xml version=\"1.0\"?>\r\n<Receipts/>\r\n";
        AttachStylesheet(text, "<RECEIPTS", xsl);
        const QString path = dir_->filePath(QStringLiteral("strange.xml"));
        WriteFile(path, text);
        const ViewerPage page = RenderXmlPage(path, dir_->path());
        QVERIFY2(page.notice.isEmpty(), qPrintable(page.notice));
        QCOMPARE(page.stylesheet, xsl);
        QVERIFY(PageText(page).contains(QStringLiteral("<p>styled</p>")));
    }

    void stylesheetAddresses_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<QString>("path"); // empty: refused
        QTest::newRow("relative") << "xsl/a.xsl"
                                  << "/base/xsl/a.xsl";
        QTest::newRow("relative, escaped") << "my%20style.xsl"
                                           << "/base/my style.xsl";
        QTest::newRow("absolute path") << "/opt/a.xsl"
                                       << "/opt/a.xsl";
        QTest::newRow("file URL") << "file:///opt/a%26b.xsl"
                                  << "/opt/a&b.xsl";
        QTest::newRow("localhost") << "file://localhost/opt/a.xsl"
                                   << "/opt/a.xsl";
        QTest::newRow("Windows path") << "C:\\xsl\\deals.xsl"
                                      << "C:\\xsl\\deals.xsl";
        QTest::newRow("http") << "http://example.com/a.xsl"
                              << "";
        QTest::newRow("remote file host") << "file://server/share/a.xsl"
                                          << "";
        QTest::newRow("ftp") << "ftp://example.com/a.xsl"
                             << "";
    }
    void stylesheetAddresses()
    {
        QFETCH(QString, href);
        QFETCH(QString, path);
        QString refusal;
        QCOMPARE(LocalStylesheetPath(href, QStringLiteral("/base"), &refusal), path);
        QCOMPARE(refusal.isEmpty(), !path.isEmpty());
    }

    // What a page shown from a folder may show or open.
    void pageAddresses_data()
    {
        QTest::addColumn<QString>("address"); // %1: the page's folder
        QTest::addColumn<bool>("allowed");
        QTest::newRow("its folder") << "file://%1/other.htm" << true;
        QTest::newRow("below it") << "file://%1/sub/p.htm" << true;
        QTest::newRow("localhost") << "file://localhost%1/p.htm" << true;
        QTest::newRow("data") << "data:text/html,x" << true;
        QTest::newRow("about") << "about:blank" << true;
        QTest::newRow("the folder above") << "file://%1/../p.htm" << false;
        QTest::newRow("a folder of a longer name") << "file://%1x/p.htm" << false;
        QTest::newRow("a link out of it") << "file://%1/out/p.htm" << false;
        QTest::newRow("another file") << "file:///etc/passwd" << false;
        QTest::newRow("another host") << "file://server%1/p.htm" << false;
        QTest::newRow("http") << "http://example.com/" << false;
    }
    void pageAddresses()
    {
        QFETCH(QString, address);
        QFETCH(bool, allowed);
        QTemporaryDir outside;
        QVERIFY(QFile::link(outside.path(), dir_->filePath(QStringLiteral("out"))));
        QCOMPARE(IsUrlAllowedForPage(QUrl(address.arg(dir_->path())), dir_->path()), allowed);
    }

    // The first text/xsl instruction counts; its pseudo-attributes are decoded.
    void instructionHref()
    {
        const QString path = dir_->filePath(QStringLiteral("pi.xml"));
        WriteFile(path,
                  "<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/css\" href=\"a.css\"?>\n"
                  "<?xml-stylesheet href='b&amp;c&#37;.xsl' type='text/xsl'?>\n"
                  "<?xml-stylesheet type=\"text/xsl\" href=\"second.xsl\"?>\n<r/>");
        const ViewerPage page = RenderXmlPage(path, dir_->path());
        QVERIFY2(page.notice.contains(dir_->filePath(QStringLiteral("b&c%.xsl"))),
                 qPrintable(page.notice));
    }
};

QTEST_GUILESS_MAIN(XslTransformTest)
#include "tst_xsltransform.moc"
