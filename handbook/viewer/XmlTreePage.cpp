#include "handbook/viewer/XslTransform.h"

#include <libxml/tree.h>

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

void Escape(QByteArray& out, const xmlChar* text)
{
    if (!text)
        return;
    for (const xmlChar* p = text; *p; ++p) {
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
    TreeWriter(QByteArray& out, int maxElements) : out_(out), left_(maxElements) {}

    void children(const xmlNode* first)
    {
        for (const xmlNode* node = first; node; node = node->next)
            write(node);
    }
    int omitted() const { return omitted_; }

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
            Escape(out_, value);
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
            Escape(out_, node->content);
            out_ += "</div>\n";
            break;
        case XML_COMMENT_NODE:
            out_ += "<div class=l><span class=c>&lt;!--";
            Escape(out_, node->content);
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
        if (left_ <= 0) {
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
            Escape(out_, first->content);
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
    int omitted_ = 0;
};

} // namespace

QByteArray XmlTreePage(xmlDocPtr doc, const QString& title, const QString& notice, int maxElements)
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
    TreeWriter writer(out, maxElements);
    if (doc)
        writer.children(doc->children);
    if (writer.omitted() > 0) {
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
