// Making the page of an XML document: the document read, its stylesheet applied, the result
// written to a sink as it is made; or, for a stylesheet that can be applied in parts, the
// document read and transformed a few hundred children at a time.
#include "answers/IncomingMessage.h"
#include "core/Error.h"
#include "core/XmlLoad.h"
#include "core/XmlText.h"
#include "viewer/TransformBudget.h"
#include "viewer/XslEngine.h"
#include "viewer/XslTransform.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringDecoder>

#include <libxml/HTMLtree.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxslt/imports.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <future>
#include <optional>

namespace varnel {
namespace {

using xmltext::FromXml;

// The children of the document element in the first part (shown at once), in the second, and in
// the others: from the third on the parts begin at multiples of 1000, where the viewer's windows
// of rows begin.
constexpr int kFirstPart = 200;
constexpr int kSecondPart = 800;
constexpr int kPart = 1000;
// Where the heading's page takes the rows.
constexpr char kRowsMarker[] = "<!--viewer-rows-->";
// The number of rows in a heading made before they are counted.
constexpr char kUncounted[] = "'…'";

QString DocumentTitle(xmlDocPtr doc)
{
    const xmlNode* root = xmlDocGetRootElement(doc);
    return root ? XmlNodeName(root) : QString();
}

QByteArray PageOf(const QByteArray& body)
{
    return QByteArrayLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body>") +
           body + QByteArrayLiteral("</body></html>\n");
}

QByteArray PreformattedPage(const QString& text)
{
    return PageOf("<pre>" + HtmlEscaped(text).toUtf8() + "</pre>");
}

// Whether a result holds nothing to show (no node, or its document type alone): libxslt then
// writes not a byte.
bool IsEmptyResult(xmlDocPtr result)
{
    for (const xmlNode* node = result->children; node; node = node->next) {
        if (node->type != XML_DTD_NODE)
            return false;
    }
    return true;
}

class BytesSink : public PageSink {
public:
    void write(const char* data, qint64 size) override { bytes.append(data, size); }
    QByteArray bytes;
};

void Write(PageSink& sink, const QByteArray& bytes)
{
    sink.write(bytes.constData(), bytes.size());
}

// What a stylesheet makes on its way into the page, within the page's budget: bytes that go into
// the page are counted (counted), bytes held for a while before they do (a heading's page, a
// text) only weighed with it. Raises PageOverBudget when the page would grow beyond its size.
class BudgetedSink : public PageSink {
public:
    BudgetedSink(PageSink& to, PageBudget& budget, bool counted)
        : to_(to), budget_(budget), counted_(counted)
    {
    }
    void write(const char* data, qint64 size) override
    {
        if (counted_) {
            budget_.make(size);
        } else {
            held_ += size;
            budget_.check(held_);
        }
        to_.write(data, size);
    }
    void flush() override { to_.flush(); }

private:
    PageSink& to_;
    PageBudget& budget_;
    bool counted_;
    qint64 held_ = 0;
};

// libxml2's serializer writing into a sink; a sink that raises ends the output.
struct SinkOutput {
    PageSink& sink;
    std::exception_ptr failure;
};

int WriteOutput(void* context, const char* buffer, int size)
{
    auto* output = static_cast<SinkOutput*>(context);
    try {
        output->sink.write(buffer, size);
    } catch (...) {
        // Nothing may leave through the C library's writer: it is kept, the writer told the
        // output failed, and the making raises it again once the library has returned.
        output->failure = std::current_exception();
        return -1;
    }
    return size;
}

// An output buffer in the stylesheet's output encoding, as libxslt makes one for its result.
xmlOutputBufferPtr OutputFor(xsltStylesheetPtr style, SinkOutput& output)
{
    const xmlChar* encoding = nullptr;
    XSLT_GET_IMPORT_PTR(encoding, style, encoding);
    xmlCharEncodingHandlerPtr encoder =
        encoding ? xmlFindCharEncodingHandler(reinterpret_cast<const char*>(encoding)) : nullptr;
    if (encoder && xmlStrEqual(reinterpret_cast<const xmlChar*>(encoder->name), BAD_CAST "UTF-8"))
        encoder = nullptr;
    return xmlOutputBufferCreateIO(WriteOutput, nullptr, &output, encoder);
}

void Close(xmlOutputBufferPtr buffer, SinkOutput& output)
{
    xmlOutputBufferClose(buffer);
    if (output.failure)
        std::rethrow_exception(output.failure);
}

// The result as the stylesheet's output says: HTML (or XHTML) as it is, text in a page of its
// own, other XML as its tree.
void SaveResult(xmlDocPtr result, xsltStylesheetPtr style, PageSink& sink, PageBudget& budget)
{
    const xmlChar* method = nullptr;
    XSLT_GET_IMPORT_PTR(method, style, method);
    const xmlChar* encoding = nullptr;
    XSLT_GET_IMPORT_PTR(encoding, style, encoding);
    const xmlNode* resultRoot = xmlDocGetRootElement(result);
    const QString methodName = FromXml(method);
    // A stylesheet that makes nothing makes an empty page, still a whole HTML document.
    if (methodName != u"text" && IsEmptyResult(result)) {
        Write(sink, PageOf(QByteArray()));
        return;
    }
    if (methodName == u"xml" && resultRoot &&
        FromXml(resultRoot->name).compare(u"html", Qt::CaseInsensitive) != 0) {
        Write(sink, XmlTreePage(result, DocumentTitle(result), QString()));
        return;
    }
    if (methodName == u"text") {
        BytesSink text;
        BudgetedSink held(text, budget, false);
        SinkOutput output{held, nullptr};
        xmlOutputBufferPtr buffer = OutputFor(style, output);
        xsltSaveResultTo(buffer, result, style);
        Close(buffer, output);
        QStringDecoder decoder(encoding ? reinterpret_cast<const char*>(encoding) : "UTF-8");
        if (!decoder.isValid())
            decoder = QStringDecoder(QStringDecoder::Utf8);
        Write(sink, PreformattedPage(decoder.decode(text.bytes)));
        return;
    }
    SinkOutput output{sink, nullptr};
    xmlOutputBufferPtr buffer = OutputFor(style, output);
    xsltSaveResultTo(buffer, result, style);
    Close(buffer, output);
}

// The nodes of a part's result, without the document type a page would start with.
void SaveFragment(xmlDocPtr result, xsltStylesheetPtr style, PageSink& sink)
{
    const xmlChar* encoding = nullptr;
    XSLT_GET_IMPORT_PTR(encoding, style, encoding);
    SinkOutput output{sink, nullptr};
    xmlOutputBufferPtr buffer = OutputFor(style, output);
    for (xmlNodePtr node = result->children; node; node = node->next) {
        if (node->type != XML_DTD_NODE)
            htmlNodeDumpFormatOutput(buffer, result, node, reinterpret_cast<const char*>(encoding),
                                     0);
    }
    Close(buffer, output);
}

bool IsHtmlOutput(xsltStylesheetPtr style)
{
    const xmlChar* method = nullptr;
    XSLT_GET_IMPORT_PTR(method, style, method);
    return !method || xmlStrEqual(method, BAD_CAST "html");
}

QByteArray Quoted(const QByteArray& text)
{
    return '\'' + text + '\'';
}

// One document's page: the readers, the stylesheet's run and where the page goes.
class PageMaking {
public:
    PageMaking(const QString& path, const QString& relativeBase, const TransformLimits& limits,
               PageSink& sink, const std::function<void(qint64, qint64)>& progress, qint64 maxBytes)
        : path_(path), relativeBase_(relativeBase), limits_(limits), sink_(sink),
          progress_(progress), size_(QFileInfo(path).size())
    {
        options_.maxBytes = maxBytes;
    }

    ViewerPage make()
    {
        // The stylesheet instruction stands before the document element: the document is read
        // that far first.
        std::optional<XmlSubtreeReader> reader;
        reader.emplace(path_, loadOptions(-1));
        const QString href = StylesheetHrefOf(reader->document());
        if (href.isEmpty()) {
            reader.reset();
            const XmlDocument document = loadWhole();
            Write(sink_, XmlTreePage(document.doc(), DocumentTitle(document.doc()), QString()));
            return page_;
        }
        QString refusal;
        const QString stylesheetPath = LocalStylesheetPath(href, relativeBase_, &refusal);
        if (stylesheetPath.isEmpty())
            return showTree(reader, QStringLiteral("Таблица стилей ") + href +
                                        QStringLiteral(" не загружена: ") + refusal + u'.');
        if (!QFileInfo(stylesheetPath).isFile())
            return showTree(reader, QStringLiteral("Таблица стилей ") + stylesheetPath +
                                        QStringLiteral(" не найдена."));

        XslRun run(limits_, limits_.readableFolders.isEmpty()
                                ? StylesheetReadableFolders(relativeBase_)
                                : limits_.readableFolders);
        QString failure;
        xsltStylesheetPtr style = run.load(stylesheetPath, &failure);
        if (!style)
            return showTree(reader, QStringLiteral("Таблица стилей ") + stylesheetPath +
                                        QStringLiteral(" не загружена: ") + failure + u'.');
        const std::unique_ptr<xsltStylesheet, void (*)(xsltStylesheetPtr)> owner(
            style, xsltFreeStylesheet);
        page_.stylesheet = stylesheetPath;
        // A page beyond its budget is not made at all: what was made of it is dropped.
        try {
            if (DeclaresParameter(style, "viewer-part") && IsHtmlOutput(style) &&
                inParts(run, style, *reader, stylesheetPath))
                return page_;

            reader.reset();
            const XmlDocument document = loadWhole();
            QElapsedTimer timer;
            timer.start();
            const TransformLimits whole = LimitsForDocument(limits_, size_);
            run.setLimits(whole);
            PageBudget budget(whole);
            run.setPage(&budget);
            xmlDocPtr result = run.apply(style, document.doc(), {}, &failure);
            run.setPage(nullptr);
            page_.transformMs = timer.elapsed();
            if (!result)
                return showTree(document, QStringLiteral("Ошибка при применении таблицы стилей ") +
                                              stylesheetPath + QStringLiteral(": ") + failure +
                                              u'.');
            const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> resultOwner(result, xmlFreeDoc);
            BudgetedSink page(sink_, budget, true);
            SaveResult(result, style, page, budget);
        } catch (const PageOverBudget& over) {
            Fail(QStringLiteral("Ошибка при применении таблицы стилей ") + stylesheetPath +
                 QStringLiteral(": ") + over.reason + QStringLiteral(". Страница не показана."));
        }
        return page_;
    }

private:
    // The document read through a loader: its bytes read so far counted from offset, out of
    // twice the file when it is read twice (in parts: counted, then transformed); an offset
    // below 0 reports nothing (the first look, up to the document element).
    XmlLoadOptions loadOptions(qint64 offset)
    {
        XmlLoadOptions options = options_;
        options.progress = [this, offset](qint64 read, qint64) {
            if (limits_.stop && limits_.stop->load())
                throw PageStopped();
            if (progress_ && offset >= 0)
                progress_(offset + read, total_);
        };
        return options;
    }

    // One of the two readings of a page made in parts (the count, the parts): its bytes read
    // so far kept in `read`, both readings reported together.
    XmlLoadOptions partsLoadOptions(std::atomic<qint64>& read)
    {
        XmlLoadOptions options = options_;
        options.progress = [this, &read](qint64 bytes, qint64) {
            if ((limits_.stop && limits_.stop->load()) || quit_.load())
                throw PageStopped();
            read.store(bytes);
            report();
        };
        return options;
    }

    XmlDocument loadWhole()
    {
        QElapsedTimer timer;
        timer.start();
        total_ = size_;
        XmlDocument document = XmlDocument::Load(path_, loadOptions(0));
        page_.loadMs = timer.elapsed();
        return document;
    }

    ViewerPage showTree(const XmlDocument& document, const QString& notice)
    {
        page_.notice = notice + QStringLiteral(" Сообщение показано без неё.");
        page_.stylesheet.clear();
        Write(sink_, XmlTreePage(document.doc(), DocumentTitle(document.doc()), page_.notice));
        return page_;
    }
    ViewerPage showTree(std::optional<XmlSubtreeReader>& reader, const QString& notice)
    {
        reader.reset();
        return showTree(loadWhole(), notice);
    }

    // The heading's page for that many children, split where the rows go; false when the
    // stylesheet fails on it or its page says nowhere where the rows go. Raises PageOverBudget
    // when the page is spent.
    bool heading(XslRun& run, xsltStylesheetPtr style, PageBudget& budget, xmlDocPtr head,
                 const QByteArray& count, QByteArray* before, QByteArray* after)
    {
        QString failure;
        xmlDocPtr result = run.apply(
            style, head, {{"viewer-part", Quoted("head")}, {"viewer-count", count}}, &failure);
        if (!result) {
            if (const QString why = budget.exhausted(); !why.isEmpty())
                throw PageOverBudget{why};
            return false;
        }
        BytesSink page;
        {
            const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> owner(result, xmlFreeDoc);
            BudgetedSink held(page, budget, false);
            SaveResult(result, style, held, budget);
        }
        const qsizetype marker = page.bytes.indexOf(kRowsMarker);
        if (marker < 0)
            return false;
        *before = page.bytes.left(marker);
        *after = page.bytes.mid(marker + qsizetype(sizeof kRowsMarker) - 1);
        return true;
    }

    // The heading (the root alone, from the reader that has read up to it, with the number of
    // children), then the children a part at a time, each part's rows written where the
    // heading's page takes them. The children are counted in a thread of their own while the
    // first parts are made (and kept) meanwhile. False when the heading's page says nowhere
    // where the rows go: the stylesheet is then applied whole.
    //
    // Each part keeps the run's limits, and all of them together the page's budget, however
    // busy the machine (the window goes on painting meanwhile, and closing it stops them): a
    // page beyond its time, its size or its memory raises PageOverBudget.
    bool inParts(XslRun& run, xsltStylesheetPtr style, XmlSubtreeReader& reader,
                 const QString& stylesheetPath)
    {
        PageBudget budget(limits_);
        run.setPage(&budget);
        const struct PageEnd {
            XslRun& run;
            ~PageEnd() { run.setPage(nullptr); }
        } pageEnd{run};
        const auto spent = [&budget] {
            if (const QString why = budget.exhausted(); !why.isEmpty())
                throw PageOverBudget{why};
        };
        BudgetedSink page(sink_, budget, true);

        xmlDocPtr head = reader.next(0);
        const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> headOwner(head, xmlFreeDoc);
        QByteArray before;
        QByteArray after;
        // A sink that keeps the parts apart shows its first rows before they are all counted:
        // its first heading says so.
        const bool apart = sink_.takesParts();
        if (!heading(run, style, budget, head, apart ? kUncounted : "0", &before, &after))
            return false;
        if (apart)
            sink_.heading(before, after, -1);

        total_ = 2 * size_;
        const XmlLoadOptions counting = partsLoadOptions(counted_);
        std::future<qint64> count = std::async(
            std::launch::async, [this, counting] { return XmlCountChildren(path_, counting); });
        // A page that ends early does not wait for the count to end.
        const struct CountEnd {
            std::atomic<bool>& quit;
            ~CountEnd() { quit.store(true); }
        } countEnd{quit_};
        // The parts made before the count is known wait here.
        BytesSink waiting;
        BudgetedSink waitingPage(waiting, budget, true);
        bool headed = false;
        const auto writeHeading = [&] {
            if (!heading(run, style, budget, head, QByteArray::number(count.get()), &before,
                         &after))
                Fail(QStringLiteral("Таблица стилей ") + stylesheetPath +
                     QStringLiteral(" не сделала заголовок страницы"));
            Write(page, before);
            Write(sink_, waiting.bytes);
            waiting.bytes.clear();
            sink_.flush();
            headed = true;
        };
        // A sink that keeps the parts apart takes the heading as it is.
        const auto headApart = [&] {
            const qint64 children = count.get();
            if (!heading(run, style, budget, head, QByteArray::number(children), &before, &after))
                Fail(QStringLiteral("Таблица стилей ") + stylesheetPath +
                     QStringLiteral(" не сделала заголовок страницы"));
            sink_.heading(before, after, children);
            headed = true;
        };

        QString failure;
        const XmlLoadOptions reading = partsLoadOptions(parted_);
        XmlSubtreeReader rows(path_, reading);
        qint64 first = 1;
        for (int part = kFirstPart; failure.isEmpty();
             part = first == 1 + kFirstPart ? kSecondPart : kPart) {
            if (!headed && count.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
                apart ? headApart() : writeHeading();
            xmlDocPtr slice = rows.next(part);
            if (!slice)
                break;
            const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> sliceOwner(slice, xmlFreeDoc);
            spent();
            xmlDocPtr result = run.apply(
                style, slice,
                {{"viewer-part", Quoted("rows")}, {"viewer-first", QByteArray::number(first)}},
                &failure);
            if (!result) {
                spent();
                break;
            }
            const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> owner(result, xmlFreeDoc);
            if (apart) {
                BytesSink made;
                BudgetedSink counted(made, budget, true);
                SaveFragment(result, style, counted);
                sink_.part(first, xmlDocGetRootElement(slice), made.bytes);
            } else {
                SaveFragment(result, style, headed ? page : waitingPage);
                if (headed)
                    sink_.flush();
            }
            first += XmlChildElements(xmlDocGetRootElement(slice)).size();
        }
        // The last part's run is held to the page's budget as the others were.
        if (failure.isEmpty())
            spent();
        if (!headed)
            apart ? headApart() : writeHeading();
        if (!failure.isEmpty()) {
            page_.notice = QStringLiteral("Ошибка при применении таблицы стилей ") +
                           stylesheetPath + QStringLiteral(": ") + failure +
                           QStringLiteral(". Страница показана не целиком.");
            const QByteArray note = QByteArrayLiteral("<p style=\"color:#b42318\">") +
                                    HtmlEscaped(page_.notice).toUtf8() + QByteArrayLiteral("</p>");
            if (apart)
                sink_.part(first, nullptr, note);
            else
                Write(sink_, note);
        }
        if (!apart)
            Write(page, after);
        return true;
    }

    void report()
    {
        if (progress_)
            progress_(counted_.load() + parted_.load(), total_);
    }

    QString path_;
    QString relativeBase_;
    TransformLimits limits_;
    PageSink& sink_;
    std::function<void(qint64, qint64)> progress_;
    qint64 size_ = 0;
    qint64 total_ = 0;
    std::atomic<qint64> counted_{0};
    std::atomic<qint64> parted_{0};
    std::atomic<bool> quit_{false}; // the parts have ended: the count is not waited for
    XmlLoadOptions options_;
    ViewerPage page_;
};

} // namespace

TransformLimits LimitsForDocument(const TransformLimits& limits, qint64 documentBytes)
{
    constexpr qint64 kSmall = 16LL * 1024 * 1024;
    TransformLimits grown = limits;
    if (documentBytes > kSmall) {
        const qint64 megabytes = documentBytes / (1024 * 1024);
        // A second and 30 MB of memory for each megabyte of the document: a whole market's
        // handbook takes under 2 GB; no document more than 4 GB.
        constexpr qint64 kMostMemory = 4LL << 30;
        grown.milliseconds = int(std::min<qint64>(limits.milliseconds + 1000 * megabytes, 600000));
        grown.memoryBytes = std::max(limits.memoryBytes, std::min(30 * documentBytes, kMostMemory));
    }
    return grown;
}

ViewerPage MakeXmlPage(const QString& documentPath, const QString& relativeBase,
                       const TransformLimits& limits, PageSink& sink,
                       const std::function<void(qint64, qint64)>& progress, qint64 maxDocumentBytes)
{
    try {
        return PageMaking(documentPath, relativeBase, limits, sink, progress, maxDocumentBytes)
            .make();
    } catch (const PageStopped&) {
        // Raised where the stop mark is seen (between two pieces read, by the engine's watch)
        // to leave the making at once; it ends here.
        ViewerPage page;
        page.stopped = true;
        return page;
    }
}

ViewerPage RenderXmlPage(const QString& documentPath, const QString& relativeBase,
                         const TransformLimits& limits)
{
    BytesSink sink;
    ViewerPage page = MakeXmlPage(documentPath, relativeBase, limits, sink);
    page.html = std::move(sink.bytes);
    return page;
}

} // namespace varnel
