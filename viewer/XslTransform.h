#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

struct _xmlDoc;
struct _xmlNode;

namespace varnel {

// How far one stylesheet run may go before it is stopped.
struct TransformLimits {
    int milliseconds = 10000;       // wall-clock time of the run
    qint64 memoryBytes = 1LL << 30; // growth of the process while it runs
    // One page, however many runs make it (a stylesheet applied in parts runs once a part):
    // the time of all its runs together, and the bytes of the page. Its memory is memoryBytes,
    // counted from its first run, the page's bytes included (its file may lie in a folder kept
    // in memory).
    int pageMilliseconds = 600000;
    qint64 pageBytes = 256LL << 20;
    int templateDepth = 3000;      // nesting of templates
    int templateVariables = 15000; // variables alive at once
    qint64 fileBytes = 64LL << 20; // each file it reads (stylesheets, imports, documents)
    // The folders, with what lies below them, whose files the run may read. Empty: the folder
    // relative addresses are taken from and the folders of the stylesheets the settings name
    // (StylesheetReadableFolders, read then). A page made beside the window gets them from the
    // window, read when the user asked.
    QStringList readableFolders;
    // Set (from any thread) to stop the run; the page is then not made (PageStopped).
    const std::atomic<bool>* stop = nullptr;
};

// The page a viewer shows for an XML document: the HTML its XSL stylesheet makes, or, when it
// names none, the document itself as an indented tree.
struct ViewerPage {
    QByteArray html;    // a complete HTML document
    QString stylesheet; // local path of the stylesheet applied; empty for the tree
    // Why a stylesheet the document names was not applied (then the tree is shown with this
    // text above it), or why a page made in parts stops short (then stylesheet names it and the
    // page ends with this text, "... Страница показана не целиком."); empty otherwise.
    QString notice;
    // The run was stopped (TransformLimits::stop): no page was made, and what the sink took
    // is to be dropped.
    bool stopped = false;
    // The times the parts took, for the bench.
    qint64 loadMs = 0;
    qint64 transformMs = 0;
};

// Where a page goes while it is made, a piece at a time.
class PageSink {
public:
    virtual ~PageSink() = default;
    // Raises when the bytes cannot be kept (the page is then not made).
    virtual void write(const char* data, qint64 size) = 0;
    // What has been written is worth showing now (a part of the page is complete).
    virtual void flush() {}

    // A sink that keeps the parts of a page made in parts apart (the viewer shows such a page a
    // window of rows at a time) takes them here in place of write(): each part's rows as they
    // are made (rows: the document element holding the children they were made of; nullptr for
    // the note that ends a page stopped short), and the heading's page before and after the rows
    // once the number of rows is known (and before that, with count -1, a heading made with the
    // number shown as "…", so that the first rows show at once). Raises when the bytes cannot be
    // kept.
    virtual bool takesParts() const { return false; }
    virtual void part(qint64 first, const _xmlNode* rows, const QByteArray& html)
    {
        (void)first;
        (void)rows;
        (void)html;
    }
    virtual void heading(const QByteArray& before, const QByteArray& after, qint64 count)
    {
        (void)before;
        (void)after;
        (void)count;
    }
};

// Loads the document the client's way (no DOCTYPE, nothing external) and makes its page. The
// stylesheet is the one its first xml-stylesheet instruction names; a relative href is looked
// up in relativeBase (the folder of the message the user chose). The stylesheet, what it
// imports and includes and the documents it reads are regular files of the readable folders,
// each read with a byte cap and counted against the run's time and memory; a device, a pipe, a
// file elsewhere, a remote address, writing files, and runs beyond the limits are refused, and
// the document is shown as its tree with the reason. Raises the loading rule's error when the
// document itself cannot be read (documents up to maxDocumentBytes). Any thread: pages are made
// one at a time in the process.
//
// A stylesheet that declares the parameter viewer-part is applied in parts
// (docs/incoming-messages.md): the heading once, then the document element's children a few
// hundred at a time as they are read, so the page grows while the document is still being read
// and the document never stands whole in memory.
//
// MakeXmlPage writes the page to sink as it is made (html stays empty) and tells progress how far
// it has come (bytes of the document read); RenderXmlPage returns it whole. A run whose stop mark
// is set ends with the page's stopped set.
ViewerPage MakeXmlPage(const QString& documentPath, const QString& relativeBase,
                       const TransformLimits& limits, PageSink& sink,
                       const std::function<void(qint64 done, qint64 total)>& progress = {},
                       qint64 maxDocumentBytes = 16 * 1024 * 1024);
ViewerPage RenderXmlPage(const QString& documentPath, const QString& relativeBase,
                         const TransformLimits& limits = TransformLimits());

// The limits for a document of that size: those given, with the time and memory of a whole run
// grown for a document beyond 16 MB (a whole market's handbook through a stylesheet that is not
// applied in parts needs more than a message does), and bounded all the same.
TransformLimits LimitsForDocument(const TransformLimits& limits, qint64 documentBytes);

// The page of a document as its tree: elements with their attributes, texts, comments and
// instructions, at most maxElements elements and about maxBytes of page (a line says when more
// were left out, a cut text ends in an ellipsis). notice, when not empty, stands above the tree.
QByteArray XmlTreePage(_xmlDoc* doc, const QString& title, const QString& notice,
                       int maxElements = 50000, qsizetype maxBytes = 64 * 1024 * 1024);

// The href of the document's first XSL stylesheet instruction (pseudo-attributes decoded);
// empty when it has none.
QString StylesheetHrefOf(_xmlDoc* doc);
// The local file an href names, relative ones taken from base; empty for anything that is not
// a local file (the reason then in *refusal).
QString LocalStylesheetPath(const QString& href, const QString& base, QString* refusal);

// Text as HTML text (& < > " escaped).
QString HtmlEscaped(const QString& text);

} // namespace varnel
