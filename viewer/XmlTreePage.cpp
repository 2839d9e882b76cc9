#include "viewer/XslTransform.h"

#include <libxml/tree.h>

#include <limits>

namespace varnel {
namespace {

// The tree reads like the document: markup in colour, each element on its own line, every
// element with children foldable (the engine folds <details> without any script).
const char kTreeHead[] = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
const char kTreeStyle[] =
    "</title><style>\n"
    "body{font:13px/1.5 \"DejaVu Sans Mono\",\"Liberation Mono\",monospace;margin:10px 14px;"
    "color:#1f1f1f;background:#fff}\n"
    ".n{font-family:sans-serif;background:#fff4cc;border:1px solid #e2c25a;padding:6px 10px;"
    "margin:0 0 12px}\n"
    ".k{margin-left:1.5em}\ndetails>summary{cursor:pointer}\n"
    "div.l{padding-left:1.05em}\n"
    ".t{color:#881280}.a{color:#994500}.v{color:#1a1aa6}.c{color:#236e25}.p{color:#6a6a6a}\n"
    "</style></head><body>\n";

// Escapes text onto out, up to limit bytes of out: a text cut there ends before a whole
// character, never inside one.
void Escape(QByteArray& out, const xmlChar* text,
            qsizetype limit = std::numeric_limits<qsizetype>::max())
{
    if (!text)
        return;
    for (const xmlChar* p = text; *p; ++p) {
        if (out.size() >= limit && (*p & 0xC0) != 0x80) {
            out += "\xE2\x80\xA6"; // the ellipsis: the text goes on beyond what is shown
            return;
        }
        switch (*p) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += char(*p);
        }
    }
}

void QualifiedName(QByteArray& out, const xmlNode* node)
{
    if (node->ns && node->ns->prefix) {
        Escape(out, node->ns->prefix);
        out += ':';
    }
    Escape(out, node->name);
}

class TreeWriter {
public:
    TreeWriter(QByteArray& out, int maxElements, qsizetype maxBytes)
        : out_(out), left_(maxElements), maxBytes_(maxBytes)
    {
    }

    void children(const xmlNode* first)
    {
        for (const xmlNode* node = first; node; node = node->next)
            write(node);
    }
    int omitted() const { return omitted_; }
    // True once the page has reached its size: what follows is left out, texts are cut.
    bool full() const { return out_.size() >= maxBytes_; }

private:
    void openTag(const xmlNode* node, bool empty)
    {
        out_ += "<span class=t>&lt;";
        QualifiedName(out_, node);
        out_ += "</span>";
        for (const xmlNs* ns = node->nsDef; ns; ns = ns->next) {
            out_ += " <span class=a>xmlns";
            if (ns->prefix) {
                out_ += ':';
                Escape(out_, ns->prefix);
            }
            out_ += "</span>=<span class=v>&quot;";
            Escape(out_, ns->href);
            out_ += "&quot;</span>";
        }
        for (const xmlAttr* a = node->properties; a; a = a->next) {
            out_ += " <span class=a>";
            if (a->ns && a->ns->prefix) {
                Escape(out_, a->ns->prefix);
                out_ += ':';
            }
            Escape(out_, a->name);
            out_ += "</span>=<span class=v>&quot;";
            xmlChar* value = xmlNodeListGetString(a->doc, a->children, 1);
            Escape(out_, value, maxBytes_);
            xmlFree(value);
            out_ += "&quot;</span>";
        }
        out_ += empty ? "<span class=t>/&gt;</span>" : "<span class=t>&gt;</span>";
    }
    void closeTag(const xmlNode* node)
    {
        out_ += "<span class=t>&lt;/";
        QualifiedName(out_, node);
        out_ += "&gt;</span>";
    }

    static int Elements(const xmlNode* node)
    {
        int n = node->type == XML_ELEMENT_NODE ? 1 : 0;
        for (const xmlNode* c = node->children; c; c = c->next)
            n += Elements(c);
        return n;
    }

    void write(const xmlNode* node)
    {
        switch (node->type) {
        case XML_ELEMENT_NODE: element(node); break;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            out_ += "<div class=l>";
            Escape(out_, node->content, maxBytes_);
            out_ += "</div>\n";
            break;
        case XML_COMMENT_NODE:
            out_ += "<div class=l><span class=c>&lt;!--";
            Escape(out_, node->content, maxBytes_);
            out_ += "--&gt;</span></div>\n";
            break;
        case XML_PI_NODE:
            out_ += "<div class=l><span class=p>&lt;?";
            Escape(out_, node->name);
            if (node->content && *node->content) {
                out_ += ' ';
                Escape(out_, node->content);
            }
            out_ += "?&gt;</span></div>\n";
            break;
        default: break;
        }
    }

    void element(const xmlNode* node)
    {
        if (left_ <= 0 || full()) {
            omitted_ += Elements(node);
            return;
        }
        --left_;
        const xmlNode* first = node->children;
        if (!first) {
            out_ += "<div class=l>";
            openTag(node, true);
            out_ += "</div>\n";
            return;
        }
        // A single short text stays on the element's line.
        if (!first->next && first->type == XML_TEXT_NODE && xmlStrlen(first->content) <= 120 &&
            !xmlStrchr(first->content, '\n')) {
            out_ += "<div class=l>";
            openTag(node, false);
            Escape(out_, first->content, maxBytes_);
            closeTag(node);
            out_ += "</div>\n";
            return;
        }
        out_ += "<details open><summary>";
        openTag(node, false);
        out_ += "</summary><div class=k>\n";
        children(first);
        out_ += "</div><div class=l>";
        closeTag(node);
        out_ += "</div></details>\n";
    }

    QByteArray& out_;
    int left_;
    qsizetype maxBytes_;
    int omitted_ = 0;
};

} // namespace

QByteArray XmlTreePage(xmlDocPtr doc, const QString& title, const QString& notice, int maxElements,
                       qsizetype maxBytes)
{
    QByteArray out;
    out.reserve(64 * 1024);
    out += kTreeHead;
    out += HtmlEscaped(title).toUtf8();
    out += kTreeStyle;
    if (!notice.isEmpty()) {
        out += "<div class=n>";
        out += HtmlEscaped(notice).toUtf8();
        out += "</div>\n";
    }
    TreeWriter writer(out, maxElements, out.size() + maxBytes);
    if (doc)
        writer.children(doc->children);
    if (writer.full()) {
        out += "<div class=n>";
        out += QStringLiteral("Показана часть документа: страница дошла до %1 МБ; элементов не "
                              "показано: %2.")
                   .arg(maxBytes / (1024 * 1024))
                   .arg(writer.omitted())
                   .toUtf8();
        out += "</div>\n";
    } else if (writer.omitted() > 0) {
        out += "<div class=n>";
        out += QStringLiteral("Показаны первые %1 элементов; ещё %2 не показаны.")
                   .arg(maxElements)
                   .arg(writer.omitted())
                   .toUtf8();
        out += "</div>\n";
    }
    out += "</body></html>\n";
    return out;
}

} // namespace varnel
