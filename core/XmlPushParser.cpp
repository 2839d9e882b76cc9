#include "core/XmlPushParser.h"

#include "core/Error.h"
#include "core/XmlSax.h"

#include <QFile>
#include <QFileInfo>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnel::xmlparse {

const QString kDocumentEmpty = QStringLiteral("Document is empty");

namespace {

using xmltext::FromXml;
using xmltext::QualifiedName;
using xmltext::Utf8Text;

// Read size of one parser step. The streaming reader queues the children that one step
// completes, so its steps stay small.
constexpr qint64 kDocumentChunk = 256 * 1024;
constexpr qint64 kStreamChunk = 16 * 1024;
constexpr qint64 kSubtreeChunk = 64 * 1024;

// Neither loader substitutes entities, loads a DTD or validates; the network is off as well,
// although nothing external can be named once a DOCTYPE is refused.
constexpr int kCommonOptions = XML_PARSE_NONET | XML_PARSE_BIG_LINES;
constexpr int kDocumentOptions = kCommonOptions | XML_PARSE_NOBLANKS | XML_PARSE_NOCDATA;

const QString kDtdProhibited = QStringLiteral("DTD is prohibited.");

// Number of characters in a stretch of the parser's UTF-8 buffer.
int Utf8Length(const xmlChar* from, const xmlChar* to)
{
    int n = 0;
    for (const xmlChar* p = from; p < to; ++p) {
        if ((*p & 0xC0) != 0x80)
            ++n;
    }
    return n;
}

bool IsLineBreakAt(const xmlChar* p, const xmlChar* end)
{
    // CR LF counts once (at its LF), a lone CR as a break of its own.
    return *p == '\n' || (*p == '\r' && (p + 1 >= end || p[1] != '\n'));
}

LoadState* StateOf(void* ctx)
{
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    return ctxt ? static_cast<LoadState*>(ctxt->_private) : nullptr;
}

// Keeps the first error (warnings are not failures); later ones are consequences of it.
void CaptureError(void* ctx, xmlErrorPtr error)
{
    LoadState* state = StateOf(ctx);
    if (!state || !error || state->failed || error->level < XML_ERR_ERROR)
        return;
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    state->failed = true;
    state->reason = QString::fromUtf8(error->message ? error->message : "");
    state->code = error->code;
    state->line = error->line;
    state->column = error->int2;
    if (error->line == 0 && ctxt->input) {
        state->line = ctxt->input->line;
        state->column = ctxt->input->col;
    }
    if (error->domain == XML_FROM_I18N) {
        state->conversionFailure = true;
        if (ctxt->input && ctxt->input->buf && ctxt->input->buf->encoder &&
            ctxt->input->buf->encoder->name)
            state->encoding = ctxt->input->buf->encoder->name;
    }
}

void IgnoreGenericError(void*, const char*, ...) {}

// Routes libxml2's context-free reports (encoding failures) to the load for the length of
// one parser step and puts the previous handlers back afterwards, so nothing carries over
// from one load to the next.
class ErrorRouting {
public:
    explicit ErrorRouting(xmlParserCtxtPtr ctxt)
        : structured_(xmlStructuredError), structuredContext_(xmlStructuredErrorContext),
          generic_(xmlGenericError), genericContext_(xmlGenericErrorContext)
    {
        xmlSetStructuredErrorFunc(ctxt, CaptureError);
        xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    }
    ~ErrorRouting()
    {
        xmlSetStructuredErrorFunc(structuredContext_, structured_);
        xmlSetGenericErrorFunc(genericContext_, generic_);
    }
    ErrorRouting(const ErrorRouting&) = delete;
    ErrorRouting& operator=(const ErrorRouting&) = delete;

private:
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
    xmlGenericErrorFunc generic_;
    void* genericContext_;
};

// Line and column where the "<!DOCTYPE" that the parser has just read begins.
std::pair<int, int> DoctypeStart(xmlParserCtxtPtr ctxt)
{
    const xmlParserInputPtr in = ctxt->input;
    std::pair<int, int> at{in->line, in->col};
    const xmlChar* base = in->base;
    const xmlChar* cur = in->cur;
    static const char kTag[] = "<!DOCTYPE";
    const std::ptrdiff_t tagLength = sizeof(kTag) - 1;
    const xmlChar* start = nullptr;
    for (std::ptrdiff_t i = (cur - base) - tagLength; i >= 0; --i) {
        if (std::memcmp(base + i, kTag, tagLength) == 0) {
            start = base + i;
            break;
        }
    }
    if (!start)
        return at;
    int breaks = 0;
    for (const xmlChar* p = start; p < cur; ++p) {
        if (IsLineBreakAt(p, in->end))
            ++breaks;
    }
    if (breaks == 0) {
        at.second = in->col - Utf8Length(start, cur);
        return at;
    }
    at.first = in->line - breaks;
    const xmlChar* lineStart = base;
    for (const xmlChar* p = start; p > base; --p) {
        if (p[-1] == '\n' || p[-1] == '\r') {
            lineStart = p;
            break;
        }
    }
    if (lineStart == base && start - base >= 3 && base[0] == 0xEF && base[1] == 0xBB &&
        base[2] == 0xBF)
        lineStart += 3;
    at.second = 1 + Utf8Length(lineStart, start);
    return at;
}

// A document type declaration is refused before its internal subset is read, so no entity
// (external, or one that multiplies itself) is ever declared.
void RefuseDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    if (LoadState* state = StateOf(ctx); state && !state->failed) {
        const auto [line, column] = DoctypeStart(ctxt);
        state->failed = true;
        state->reason = kDtdProhibited;
        state->line = line;
        state->column = column;
    }
    xmlStopParser(ctxt);
}

} // namespace

// Attribute values reach SAX with "&" kept as "&#38;" (entities are not substituted); every
// other reference is already resolved.
QString AttributeValue(const xmlChar* begin, const xmlChar* end)
{
    QString value = Utf8Text(reinterpret_cast<const char*>(begin), end - begin);
    if (std::memchr(begin, '&', end - begin))
        value.replace(QStringLiteral("&#38;"), QStringLiteral("&"));
    return value;
}

namespace {

void StartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar*,
                  int namespaceCount, const xmlChar** namespaces, int attributeCount, int,
                  const xmlChar** attributes)
{
    LoadState* state = StateOf(ctx);
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    // The same nesting limit as the document loader's tree builder applies.
    if (unsigned(state->depth) > XmlMaxDepth()) {
        if (!state->failed) {
            state->failed = true;
            state->reason = QStringLiteral("Excessive depth in document: %1 use XML_PARSE_HUGE "
                                           "option")
                                .arg(XmlMaxDepth());
            state->line = ctxt->input->line;
            state->column = ctxt->input->col;
        }
        xmlStopParser(ctxt);
        return;
    }
    state->openLines.push_back(ctxt->input->line);
    const int depth = state->depth++;
    if (depth > 1)
        return;
    if (depth == 1 && state->countOnly) {
        ++state->counted;
        return;
    }
    if (depth == 1 && state->raw) {
        RawChildren& raw = *state->raw;
        raw.children.push_back({prefix, localname, namespaceCount, attributeCount});
        for (int i = 0; i < namespaceCount; ++i) {
            const xmlChar* uri = namespaces[2 * i + 1];
            if (uri)
                raw.add(namespaces[2 * i], nullptr, uri,
                        uri + std::strlen(reinterpret_cast<const char*>(uri)));
            else
                raw.items.push_back({namespaces[2 * i], nullptr, 0, RawChildren::kNull});
        }
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** a = attributes + 5 * i;
            raw.add(a[1], a[0], a[3], a[4]);
        }
        return;
    }
    XmlElement element;
    element.name = state->name(prefix, localname);
    element.attributes.reserve(namespaceCount + attributeCount);
    for (int i = 0; i < namespaceCount; ++i) {
        const xmlChar* nsPrefix = namespaces[2 * i];
        element.attributes.append(
            {nsPrefix ? QStringLiteral("xmlns:") + FromXml(nsPrefix) : QStringLiteral("xmlns"),
             FromXml(namespaces[2 * i + 1])});
    }
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** a = attributes + 5 * i;
        element.attributes.append({state->name(a[1], a[0]), AttributeValue(a[3], a[4])});
    }
    if (depth == 0) {
        state->root = std::move(element);
        state->rootStarted = true;
    } else {
        state->pending.push_back(std::move(element));
    }
}

void EndElement(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    LoadState* state = StateOf(ctx);
    --state->depth;
    state->openLines.pop_back();
    if (state->depth == 0 && state->stopAtRootEnd) {
        state->rootEnded = true;
        xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
    }
}

// Reads the bytes again through the converter the document declared and finds the line and
// column of the first character it cannot convert, counted as the parser counts them.
std::optional<std::pair<int, int>> LocateUnconvertible(const QString& path,
                                                       const QByteArray& encoding)
{
    if (encoding.isEmpty())
        return std::nullopt;
    iconv_t cd = iconv_open("UTF-8", encoding.constData());
    if (cd == iconv_t(-1))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        iconv_close(cd);
        return std::nullopt;
    }

    int line = 1;
    int column = 1;
    bool afterCr = false;
    bool first = true;
    auto count = [&](const char* out, std::size_t size) {
        std::size_t i = 0;
        if (first && size >= 3 && std::memcmp(out, "\xEF\xBB\xBF", 3) == 0)
            i = 3;
        if (size > 0)
            first = false;
        for (; i < size; ++i) {
            const unsigned char c = static_cast<unsigned char>(out[i]);
            if ((c & 0xC0) == 0x80)
                continue;
            if (c == '\r') {
                ++line;
                column = 1;
                afterCr = true;
            } else if (c == '\n') {
                if (!afterCr) {
                    ++line;
                    column = 1;
                }
                afterCr = false;
            } else {
                ++column;
                afterCr = false;
            }
        }
    };

    std::optional<std::pair<int, int>> found;
    QByteArray pending;
    char out[16384];
    for (bool eof = false; !eof && !found;) {
        const QByteArray chunk = file.read(64 * 1024);
        eof = chunk.isEmpty();
        pending += chunk;
        char* in = pending.data();
        std::size_t inLeft = std::size_t(pending.size());
        while (inLeft > 0) {
            char* o = out;
            std::size_t outLeft = sizeof out;
            const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
            count(out, std::size_t(o - out));
            if (r != std::size_t(-1))
                continue;
            if (errno == E2BIG)
                continue;
            if (errno == EINVAL && !eof)
                break; // a character split by the read; finish it with the next bytes
            found = std::pair{line, column};
            break;
        }
        pending = pending.right(qsizetype(inLeft));
    }
    iconv_close(cd);
    return found;
}

// The first "<?xml" of the bytes, letter case ignored; -1 when there is none.
qsizetype DeclarationStart(const QByteArray& bytes)
{
    static const char kMarker[] = "<?xml";
    for (qsizetype i = 0; i + 5 <= bytes.size(); ++i) {
        int k = 0;
        while (k < 5 && (k < 2 ? bytes[i + k] == kMarker[k] : (bytes[i + k] | 0x20) == kMarker[k]))
            ++k;
        if (k == 5)
            return i;
    }
    return -1;
}

} // namespace

PushParser::PushParser(const QString& path, Mode mode, const XmlLoadOptions& options,
                       const XmlStreamOptions& stream)
    : file_(path), progress_(options.progress)
{
    state_.path = path;
    const QFileInfo info(path);
    if (!stream.regularFileOnly && (!info.exists() || info.isDir()))
        Fail(QStringLiteral("Файл ") + path + QStringLiteral(" не найден"));
    const bool streaming = mode == Mode::Children;
    // A whole document takes about twelve times its size in memory: a big file goes
    // through a streaming reader, and the document loader refuses it before reading.
    maxBytes_ = streaming ? stream.maxBytes : options.maxBytes;
    if (!streaming && info.isFile() && info.size() > maxBytes_)
        Fail(XmlTooLargeText(path, info.size(), maxBytes_));
    if (stream.regularFileOnly)
        openRegularFile(path);
    else if (!file_.open(QIODevice::ReadOnly))
        Fail(XmlLoadErrorText(path, file_.errorString(), 0, 0));
    const bool sized = info.isFile() || stream.regularFileOnly;
    const qint64 size = file_.size();
    size_ = sized ? size : 0;
    if (maxBytes_ > 0 && sized && size > maxBytes_)
        Fail(XmlTooLargeText(path, size, maxBytes_));
    envelope_ = stream.envelope;
    state_.stopAtRootEnd = stream.envelope;

    xmlInitParser();
    chunk_ = mode == Mode::Children   ? kStreamChunk
             : mode == Mode::Subtrees ? kSubtreeChunk
                                      : kDocumentChunk;
    // One buffer for every step, no bigger than a small file needs.
    if (sized)
        chunk_ = std::clamp(size + 1, qint64(4096), chunk_);
    buffer_ = std::make_unique<char[]>(size_t(chunk_));
    xmlSAXHandler sax = XmlSaxHandler(RefuseDoctype, StartElement, EndElement, CaptureError);
    const QByteArray name = QFile::encodeName(path);
    ctxt_ =
        xmlCreatePushParserCtxt(streaming ? &sax : nullptr, nullptr, nullptr, 0, name.constData());
    if (!ctxt_)
        Fail(XmlLoadErrorText(path, QStringLiteral("Out of memory"), 0, 0));
    xmlCtxtUseOptions(ctxt_, streaming ? kCommonOptions : kDocumentOptions);
    // Defaults that a process-wide setting could have changed.
    ctxt_->replaceEntities = 0;
    ctxt_->loadsubset = 0;
    ctxt_->validate = 0;
    ctxt_->linenumbers = 1;
    ctxt_->_private = &state_;
    if (!streaming) {
        ctxt_->sax->internalSubset = RefuseDoctype;
        ctxt_->sax->serror = CaptureError;
    }
}

PushParser::~PushParser()
{
    if (ctxt_) {
        if (ctxt_->myDoc)
            xmlFreeDoc(ctxt_->myDoc);
        ctxt_->myDoc = nullptr;
        xmlFreeParserCtxt(ctxt_);
    }
}

bool PushParser::step()
{
    if (finished_)
        return false;
    const char* data = buffer_.get();
    qint64 got = 0;
    QByteArray head;
    if (envelope_ && !headRead_) {
        // A transport's header before the declaration is dropped before anything sees it.
        headRead_ = true;
        head = file_.read(kEnvelopeHeaderBytes);
        read_ += head.size();
        if (const qsizetype at = DeclarationStart(head); at > 0)
            head.remove(0, at);
        data = head.constData();
        got = head.size();
    } else {
        got = file_.read(buffer_.get(), chunk_);
        read_ += std::max<qint64>(got, 0);
    }
    if (got < 0 || file_.error() != QFileDevice::NoError)
        Fail(XmlLoadErrorText(state_.path, file_.errorString(), ctxt_->input->line,
                              ctxt_->input->col));
    // A file that grew after it was measured, or one without a size (a pipe, a device).
    if (maxBytes_ > 0 && read_ > maxBytes_)
        Fail(XmlTooLargeText(state_.path, read_, maxBytes_));
    // The parser never sees a start tag with too many attributes.
    if (!guard_.feed(data, size_t(got)))
        Fail(XmlLoadErrorText(state_.path, QString::fromStdString(guard_.reason()), guard_.line(),
                              guard_.column()));
    const bool last = got == 0;
    const bool beforeRoot = ctxt_->instate == XML_PARSER_START || ctxt_->instate == XML_PARSER_MISC;
    int rc = 0;
    {
        ErrorRouting routing(ctxt_);
        rc = xmlParseChunk(ctxt_, data, int(got), last ? 1 : 0);
    }
    // The document element has ended: an envelope's trailer is left unread.
    if (state_.rootEnded && !state_.failed) {
        finished_ = true;
        return false;
    }
    if (last) {
        finished_ = true;
        // At the end of the input the parser calls every unfinished document "extra
        // content": say what is really wrong, in the words the parser uses elsewhere.
        if (state_.failed && state_.code == XML_ERR_DOCUMENT_END) {
            if (beforeRoot)
                state_.reason = kDocumentEmpty;
            else if (ctxt_->nameNr > 0)
                state_.reason = QStringLiteral("Premature end of data in tag %1 line %2")
                                    .arg(FromXml(ctxt_->nameTab[ctxt_->nameNr - 1]))
                                    .arg(openElementLine());
        }
    }
    if (last && !state_.failed)
        checkNothingLeftUndecoded();
    if (!state_.failed && (rc != 0 || (last && !ctxt_->wellFormed))) {
        const xmlError* error = xmlCtxtGetLastError(ctxt_);
        state_.failed = true;
        state_.reason = error && error->message ? QString::fromUtf8(error->message)
                                                : QStringLiteral("Unknown error");
        state_.line = error ? error->line : ctxt_->input->line;
        state_.column = error ? error->int2 : ctxt_->input->col;
    }
    if (state_.failed)
        raise();
    if (progress_)
        progress_(read_, size_);
    return !finished_;
}

xmlDocPtr PushParser::takeDocument()
{
    xmlDocPtr doc = ctxt_->myDoc;
    ctxt_->myDoc = nullptr;
    return doc;
}

void PushParser::openRegularFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            Fail(QStringLiteral("Файл ") + path + QStringLiteral(" не найден"));
        Fail(XmlLoadErrorText(path, QString::fromLocal8Bit(std::strerror(error)), 0, 0));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(XmlLoadErrorText(path, QStringLiteral("Not a regular file"), 0, 0));
    }
    if (!file_.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        Fail(XmlLoadErrorText(path, file_.errorString(), 0, 0));
    }
}

void PushParser::checkNothingLeftUndecoded()
{
    const xmlParserInputPtr in = ctxt_->input;
    if (!in || !in->buf || !in->buf->encoder || !in->buf->raw)
        return;
    const std::size_t left = xmlBufUse(in->buf->raw);
    if (left == 0)
        return;
    const xmlChar* bytes = xmlBufContent(in->buf->raw);
    QString shown;
    for (std::size_t i = 0; i < left && i < 4; ++i)
        shown +=
            QStringLiteral(" 0x") + QString::number(bytes[i], 16).toUpper().rightJustified(2, u'0');
    state_.failed = true;
    state_.reason = QStringLiteral("Incomplete character at the end of the input, bytes") + shown;
    state_.line = in->line;
    state_.column = in->col;
}

int PushParser::openElementLine() const
{
    if (!state_.openLines.empty())
        return state_.openLines.back();
    if (ctxt_->node)
        return int(xmlGetLineNo(ctxt_->node));
    return ctxt_->input->line;
}

void PushParser::raise()
{
    finished_ = true;
    int line = state_.line;
    int column = state_.column;
    if (state_.conversionFailure) {
        if (const auto at = LocateUnconvertible(state_.path, state_.encoding)) {
            line = at->first;
            column = at->second;
        }
    }
    Fail(XmlLoadErrorText(state_.path, state_.reason, line, column));
}

} // namespace varnel::xmlparse
