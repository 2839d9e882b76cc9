#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>

struct _xmlDoc;
struct _xmlNode;

namespace varnel {

// Loading an XML file the client's way: no DOCTYPE (refused as a parse error), nothing
// external read, no entity substitution, the declared encoding honoured, no start tag with
// more than xmlguard::kMaxAttributes attributes. Every failure is an Error 514 with the text
//   "Файл <path> не найден"   or
//   "Ошибка загрузки файла <path>: \r\n<reason>\r\nСтрока: <line>, поз: <column>"

// The deepest an XML file from outside may nest its elements: an element inside more than this
// many open elements is refused. It is the parser's own bound on a document tree; the streaming
// readers, which the parser does not bound, apply it themselves.
unsigned XmlMaxDepth();

// The largest file XmlDocument loads: a document in memory takes about twelve times its file.
inline constexpr qint64 kXmlDocumentMaxBytes = 16 * 1024 * 1024;

// What a load may do beyond the defaults: a size limit of its own (a viewer shows documents far
// bigger than a layout), and a callback after each step that learns the bytes read so far and
// the file's size (0 when unknown), and may stop the load by raising.
struct XmlLoadOptions {
    qint64 maxBytes = kXmlDocumentMaxBytes;
    std::function<void(qint64 read, qint64 size)> progress;
};

// A whole document in memory (layouts, pick definitions, small files). Whitespace-only text
// between elements is dropped and CDATA sections arrive as text. A file beyond
// kXmlDocumentMaxBytes (or the limit given) is refused with XmlTooLargeText; big inputs are
// read with XmlChildReader or XmlSubtreeReader.
class XmlDocument {
public:
    static XmlDocument Load(const QString& path);
    static XmlDocument Load(const QString& path, const XmlLoadOptions& options);
    XmlDocument(XmlDocument&&) noexcept;
    XmlDocument& operator=(XmlDocument&&) noexcept;
    ~XmlDocument();

    _xmlDoc* doc() const { return doc_; }
    _xmlNode* root() const;

private:
    explicit XmlDocument(_xmlDoc* doc) : doc_(doc) {}
    _xmlDoc* doc_ = nullptr;
};

// One element with its attributes in document order (namespace declarations first, as
// "xmlns" or "xmlns:prefix").
struct XmlElement {
    QString name;
    QList<QPair<QString, QString>> attributes;
    // Value of the attribute (exact name); empty when absent.
    QString attribute(const QString& attributeName) const;
    bool hasAttribute(const QString& attributeName) const;
};

// How the streaming reader takes a file that comes from outside (a message of the receive
// folder). The defaults read a file of the user's as the loading rule says.
struct XmlStreamOptions {
    // A transport's envelope: bytes before the XML declaration (looked for, in any letter case,
    // in the first kEnvelopeHeaderBytes) are dropped, and nothing after the end of the document
    // element is read.
    bool envelope = false;
    // Only a regular file is read, opened without following a link (a device, a pipe or a link
    // is refused without being read).
    bool regularFileOnly = false;
    // A file of more bytes is refused with XmlTooLargeText; 0: no limit.
    qint64 maxBytes = 0;
};
inline constexpr qint64 kEnvelopeHeaderBytes = 64 * 1024;

// Streams the children of the document element one at a time (60 MB handbooks go through
// here). The file is parsed in 16 KB steps; only the children completed by the current step
// are held in memory, never the document. A big file is parsed on a thread of the reader's own,
// a few steps ahead of the children taken; its failures are raised as they always are.
class XmlChildReader {
public:
    // Opens the file and reads up to the document element; raises the loading-rule errors.
    explicit XmlChildReader(const QString& path, const XmlStreamOptions& options = {});
    ~XmlChildReader();
    XmlChildReader(const XmlChildReader&) = delete;
    XmlChildReader& operator=(const XmlChildReader&) = delete;

    // The document element itself (its attributes, no children).
    const XmlElement& root() const;
    // Next child element of the document element (at any depth 1 element); false at the end.
    // Raises the loading-rule error when the rest of the document is not well-formed.
    bool next(XmlElement& child);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The number of children of the document element, the file read as XmlChildReader reads it
// (and refused as it refuses it), nothing kept.
qint64 XmlCountChildren(const QString& path, const XmlLoadOptions& options = {});

// Streams the children of the document element as libxml2 subtrees, for documents too big to
// hold at once that must still be read as trees (a whole market's handbook shown through its
// stylesheet in parts). The loading rule is XmlDocument's; the file is read in 64 KB steps and
// only the children not yet taken are held in memory.
class XmlSubtreeReader {
public:
    // Opens the file and reads up to the document element; raises the loading-rule errors.
    XmlSubtreeReader(const QString& path, const XmlLoadOptions& options);
    ~XmlSubtreeReader();
    XmlSubtreeReader(const XmlSubtreeReader&) = delete;
    XmlSubtreeReader& operator=(const XmlSubtreeReader&) = delete;

    // The document as read so far, owned by the reader: what stands before the document element
    // (comments, instructions) and the document element with the children not yet taken.
    _xmlDoc* document() const;

    // A new document (the caller frees it with xmlFreeDoc) whose root is a copy of the document
    // element (its name, namespaces and attributes) holding the next children of the document
    // element in order, up to maxChildren elements (with the comments and instructions between
    // them); with maxChildren 0, the root alone. nullptr when every child has been taken.
    // Raises the loading-rule error when the rest of the document is not well-formed.
    _xmlDoc* next(int maxChildren);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Helpers for walking a loaded document. Names are qualified names ("prefix:local").
QString XmlNodeName(const _xmlNode* node);
// Value of the attribute with exactly that name; empty when absent.
QString XmlAttribute(const _xmlNode* node, const QString& attributeName);
bool XmlHasAttribute(const _xmlNode* node, const QString& attributeName);
// The element children of a node, in document order.
QList<_xmlNode*> XmlChildElements(const _xmlNode* node);
// An element's name and attributes in the form XmlChildReader gives them.
XmlElement XmlElementOf(const _xmlNode* node);

// The loading rule's parse-failure text for a reason, line and column (CR LF removed from the
// reason).
QString XmlLoadErrorText(const QString& path, const QString& reason, int line, int column);
// "Ошибка загрузки файла <path>: \r\nРазмер файла <size> байт больше допустимого (<limit> байт)"
QString XmlTooLargeText(const QString& path, qint64 size, qint64 limit = kXmlDocumentMaxBytes);

} // namespace varnel
