#include "core/XmlLoad.h"

#include "core/Error.h"
#include "core/XmlPushParser.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <memory>
#include <utility>

namespace varnel {

using xmlparse::kDocumentEmpty;
using xmlparse::PushParser;

unsigned XmlMaxDepth()
{
    return xmlParserMaxDepth;
}

QString XmlLoadErrorText(const QString& path, const QString& reason, int line, int column)
{
    QString text = reason;
    text.remove(QStringLiteral("\r\n"));
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    return QStringLiteral("Ошибка загрузки файла ") + path + QStringLiteral(": \r\n") + text +
           QStringLiteral("\r\nСтрока: ") + QString::number(line) + QStringLiteral(", поз: ") +
           QString::number(column);
}

QString XmlTooLargeText(const QString& path, qint64 size, qint64 limit)
{
    return QStringLiteral("Ошибка загрузки файла ") + path + QStringLiteral(": \r\nРазмер файла ") +
           QString::number(size) + QStringLiteral(" байт больше допустимого (") +
           QString::number(limit) + QStringLiteral(" байт)");
}

// ---- XmlDocument

XmlDocument XmlDocument::Load(const QString& path)
{
    return Load(path, XmlLoadOptions());
}

XmlDocument XmlDocument::Load(const QString& path, const XmlLoadOptions& options)
{
    PushParser parser(path, PushParser::Mode::Document, options);
    while (parser.step()) {
    }
    xmlDocPtr doc = parser.takeDocument();
    if (!doc || !xmlDocGetRootElement(doc)) {
        if (doc)
            xmlFreeDoc(doc);
        Fail(XmlLoadErrorText(path, kDocumentEmpty, 1, 1));
    }
    return XmlDocument(doc);
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept : doc_(std::exchange(other.doc_, nullptr)) {}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept
{
    if (this != &other) {
        if (doc_)
            xmlFreeDoc(doc_);
        doc_ = std::exchange(other.doc_, nullptr);
    }
    return *this;
}

XmlDocument::~XmlDocument()
{
    if (doc_)
        xmlFreeDoc(doc_);
}

_xmlNode* XmlDocument::root() const
{
    return doc_ ? xmlDocGetRootElement(doc_) : nullptr;
}

qint64 XmlCountChildren(const QString& path, const XmlLoadOptions& options)
{
    PushParser parser(path, PushParser::Mode::Children, options);
    parser.state().countOnly = true;
    while (parser.step()) {
    }
    if (!parser.state().rootStarted)
        Fail(XmlLoadErrorText(path, kDocumentEmpty, 1, 1));
    return parser.state().counted;
}

// ---- XmlSubtreeReader

struct XmlSubtreeReader::Impl {
    Impl(const QString& path, const XmlLoadOptions& options)
        : parser(path, PushParser::Mode::Subtrees, options)
    {
    }
    xmlNodePtr root() const
    {
        const xmlParserCtxtPtr ctxt = parser.context();
        return ctxt->myDoc ? xmlDocGetRootElement(ctxt->myDoc) : nullptr;
    }
    // Whether the child is whole: every child but the last is, and the last once the parse has
    // ended (until then the parser may still be adding to it).
    bool complete(const xmlNode* child) const { return parser.finished() || child != root()->last; }
    PushParser parser;
};

XmlSubtreeReader::XmlSubtreeReader(const QString& path, const XmlLoadOptions& options)
    : impl_(std::make_unique<Impl>(path, options))
{
    while (!impl_->root() && impl_->parser.step()) {
    }
    if (!impl_->root())
        Fail(XmlLoadErrorText(path, kDocumentEmpty, 1, 1));
}

XmlSubtreeReader::~XmlSubtreeReader() = default;

xmlDocPtr XmlSubtreeReader::document() const
{
    return impl_->parser.context()->myDoc;
}

xmlDocPtr XmlSubtreeReader::next(int maxChildren)
{
    PushParser& parser = impl_->parser;
    const auto readyElements = [&] {
        int ready = 0;
        for (const xmlNode* c = impl_->root()->children; c && impl_->complete(c); c = c->next)
            ready += c->type == XML_ELEMENT_NODE;
        return ready;
    };
    if (maxChildren > 0) {
        while (readyElements() < maxChildren && parser.step()) {
        }
        if (!impl_->root()->children)
            return nullptr;
    }

    const xmlDocPtr source = parser.context()->myDoc;
    xmlNodePtr root = impl_->root();
    xmlDocPtr slice = xmlNewDoc(source->version ? source->version : BAD_CAST "1.0");
    if (!slice)
        Fail(XmlLoadErrorText(parser.state().path, QStringLiteral("Out of memory"), 0, 0));
    // The slice shares the parser's names, so nodes move without copying them.
    if (parser.context()->dict) {
        slice->dict = parser.context()->dict;
        xmlDictReference(slice->dict);
    }
    if (source->URL)
        slice->URL = xmlStrdup(source->URL);
    xmlNodePtr copy = xmlDocCopyNode(root, slice, 2);
    if (!copy) {
        xmlFreeDoc(slice);
        Fail(XmlLoadErrorText(parser.state().path, QStringLiteral("Out of memory"), 0, 0));
    }
    xmlDocSetRootElement(slice, copy);
    int taken = 0;
    for (xmlNodePtr c = root->children; c && taken < maxChildren && impl_->complete(c);) {
        xmlNodePtr following = c->next;
        taken += c->type == XML_ELEMENT_NODE;
        xmlUnlinkNode(c);
        xmlAddChild(copy, c);
        c = following;
    }
    // Namespaces declared on the document element: the moved nodes point to the slice's own
    // declarations, so the slice does not depend on the reader.
    if (root->nsDef)
        xmlReconciliateNs(slice, copy);
    return slice;
}

} // namespace varnel