#pragma once

// The push parser under the XML loaders of XmlLoad.h: a file read in steps, checked by the
// attribute guard and pushed through libxml2, and the state a load has learnt so far. Shared by
// the whole-document loader, the child readers and the subtree reader; nothing else uses it.

#include "core/XmlLoad.h"
#include "core/XmlText.h"
#include "xmlguard/AttributeGuard.h"

#include <QFile>
#include <QHash>

#include <libxml/parser.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace varnel::xmlparse {

extern const QString kDocumentEmpty;

// Children of the document element as the parser hands them over: names as the parser's own
// interned pointers (alive as long as the parser), values as their bytes.
struct RawChildren {
    struct Child {
        const xmlChar* prefix;
        const xmlChar* local;
        int namespaces;
        int attributes;
    };
    // A namespace declaration (its prefix, or none) or an attribute (prefix and local name),
    // with its value in bytes.
    struct Item {
        const xmlChar* prefix;
        const xmlChar* local;
        std::size_t from;
        std::size_t size;
    };
    std::vector<Child> children;
    std::vector<Item> items; // each child's namespace declarations, then its attributes
    std::string bytes;
    static constexpr std::size_t kNull = std::size_t(-1); // a value the parser gave as none
    std::size_t nextChild = 0;                            // the next child to hand out
    std::size_t nextItem = 0;

    bool exhausted() const { return nextChild >= children.size(); }
    void add(const xmlChar* prefix, const xmlChar* local, const xmlChar* begin, const xmlChar* end)
    {
        const std::size_t size = std::size_t(end - begin);
        items.push_back({prefix, local, bytes.size(), size});
        bytes.append(reinterpret_cast<const char*>(begin), size);
    }
};

// Everything a load has learnt so far; the parser context points at it (_private).
struct LoadState {
    QString path;

    bool failed = false;
    QString reason;
    int code = 0;
    int line = 0;
    int column = 0;
    // Set when the declared encoding could not convert the bytes: libxml2 reports that
    // without a position, so the position is found afterwards.
    bool conversionFailure = false;
    QByteArray encoding;

    // Streaming reader
    int depth = 0;
    std::vector<int> openLines; // start line of each open element (depth is bounded)
    // Names as QString, keyed by the parser's interned (prefix, local) name pointers, so a
    // handbook's twelve attribute names are converted once, not once a row.
    QHash<std::pair<const xmlChar*, const xmlChar*>, QString> names;

    const QString& name(const xmlChar* prefix, const xmlChar* local)
    {
        const auto key = std::pair{prefix, local};
        auto it = names.constFind(key);
        if (it != names.cend())
            return *it;
        if (names.size() > 4096)
            names.clear();
        return *names.insert(key, xmltext::QualifiedName(prefix, local));
    }
    bool rootStarted = false;
    // Counting the children only: none is kept.
    bool countOnly = false;
    qint64 counted = 0;
    XmlElement root;
    std::deque<XmlElement> pending;
    // Set while a big file's children are parsed on a thread of their own: they are kept here as
    // the parser hands them over, and made XmlElements on the reader's thread.
    RawChildren* raw = nullptr;
    // An envelope's trailer is never read: the parser stops where the document element ends.
    bool stopAtRootEnd = false;
    bool rootEnded = false;
};

// Attribute values reach SAX with "&" kept as "&#38;" (entities are not substituted); every
// other reference is already resolved.
QString AttributeValue(const xmlChar* begin, const xmlChar* end);

// One load: the file read in steps and pushed through libxml2.
class PushParser {
public:
    // A whole document as a tree; the document element's children as XmlElements (no tree);
    // or a tree whose finished children are taken away as the parse goes.
    enum class Mode { Document, Children, Subtrees };

    // options: the document loaders' size limit and progress; stream: how the children's
    // reader takes a file from outside.
    PushParser(const QString& path, Mode mode, const XmlLoadOptions& options = {},
               const XmlStreamOptions& stream = {});
    ~PushParser();

    PushParser(const PushParser&) = delete;
    PushParser& operator=(const PushParser&) = delete;

    // Parses the next piece of the file; false once the whole file has been parsed. Raises
    // the loading rule's failure.
    bool step();

    bool finished() const { return finished_; }
    // The file's size; 0 when it has none (not a regular file).
    qint64 size() const { return size_; }
    xmlParserCtxtPtr context() const { return ctxt_; }

    xmlDocPtr takeDocument();

    LoadState& state() { return state_; }

private:
    // Opens the file without following a link and without blocking on a pipe or a device, and
    // reads it only when it is a regular file.
    void openRegularFile(const QString& path);

    // Bytes the input converter kept back at the end for a character they do not complete,
    // such as the odd last byte of a UTF-16 document: the parser would drop them silently.
    void checkNothingLeftUndecoded();
    int openElementLine() const;
    [[noreturn]] void raise();

    QFile file_;
    qint64 chunk_ = 0;
    std::unique_ptr<char[]> buffer_;
    qint64 maxBytes_ = 0; // 0: no limit
    qint64 read_ = 0;
    qint64 size_ = 0;
    std::function<void(qint64, qint64)> progress_;
    bool envelope_ = false;
    bool headRead_ = false;
    xmlguard::AttributeGuard guard_;
    xmlParserCtxtPtr ctxt_ = nullptr;
    LoadState state_;
    bool finished_ = false;
};

} // namespace varnel::xmlparse
