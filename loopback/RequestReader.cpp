#include "RequestReader.h"

#include "xmlguard/AttributeGuard.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlversion.h>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace loopback {

namespace {

constexpr qsizetype kPrologScan = 64 * 1024;

#if LIBXML_VERSION >= 21200
using ErrorPtr = const xmlError*;
#else
using ErrorPtr = xmlErrorPtr;
#endif

// Nothing outside the request is ever read: no DTD, no external entity, no network.
xmlParserInputPtr refuseExternal(const char*, const char*, xmlParserCtxtPtr)
{
    return nullptr;
}

void silentGeneric(void*, const char*, ...) {}

// Where the bytes before the document element hold a document type declaration. The
// declaration, comments, processing instructions and blanks are skipped; the scan gives up
// (answers false) on anything else, which the parser then judges itself.
bool prologHasDoctype(const QByteArray& head)
{
    qsizetype i = 0;
    const qsizetype n = head.size();
    if (head.startsWith("\xEF\xBB\xBF"))
        i = 3;
    while (i < n) {
        const char c = head[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '<' || i + 1 >= n)
            return false;
        if (head[i + 1] == '?') {
            const qsizetype end = head.indexOf("?>", i + 2);
            if (end < 0)
                return false;
            i = end + 2;
            continue;
        }
        if (head.mid(i, 4) == "<!--") {
            const qsizetype end = head.indexOf("-->", i + 4);
            if (end < 0)
                return false;
            i = end + 3;
            continue;
        }
        return head.mid(i, 9).compare("<!DOCTYPE", Qt::CaseInsensitive) == 0;
    }
    return false;
}

QString fromXml(const xmlChar* text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

} // namespace

struct RequestReader::State {
    int fd = -1;
    QByteArray memory;
    qsizetype memoryPos = 0;
    QByteArray head; // bytes read ahead for the prolog scan, handed to the parser first
    qsizetype headPos = 0;
    bool eof = false;
    int ioError = 0;
    // Every byte the parser gets has passed it: no start tag with too many attributes.
    varnel::xmlguard::AttributeGuard guard;
    xmlTextReaderPtr reader = nullptr;
    // The parser's first error.
    bool parserError = false;
    QString message;
    int line = 0;
    int column = 0;

    int rawRead(char* buffer, int size)
    {
        if (fd < 0) {
            const qsizetype n = qMin<qsizetype>(size, memory.size() - memoryPos);
            std::memcpy(buffer, memory.constData() + memoryPos, size_t(n));
            memoryPos += n;
            return int(n);
        }
        for (;;) {
            const ssize_t n = ::read(fd, buffer, size_t(size));
            if (n >= 0)
                return int(n);
            if (errno == EINTR)
                continue;
            ioError = errno;
            return -1;
        }
    }

    static int read(void* context, char* buffer, int size)
    {
        auto* self = static_cast<State*>(context);
        int n = 0;
        if (self->headPos < self->head.size()) {
            n = int(qMin<qsizetype>(size, self->head.size() - self->headPos));
            std::memcpy(buffer, self->head.constData() + self->headPos, size_t(n));
            self->headPos += n;
        } else {
            n = self->rawRead(buffer, size);
        }
        if (n > 0 && !self->guard.feed(buffer, size_t(n)))
            return -1;
        return n;
    }

    static int close(void*) { return 0; }

    static void error(void* context, ErrorPtr error)
    {
        auto* self = static_cast<State*>(context);
        if (self->parserError || !error || error->level < XML_ERR_ERROR)
            return;
        self->parserError = true;
        self->message = QString::fromUtf8(error->message ? error->message : "").simplified();
        self->line = error->line;
        self->column = error->int2;
    }
};

RequestReader::RequestReader(int fd) : state_(std::make_unique<State>())
{
    state_->fd = fd;
}

RequestReader::RequestReader(const QByteArray& bytes) : state_(std::make_unique<State>())
{
    state_->memory = bytes;
}

RequestReader::~RequestReader()
{
    if (state_->reader)
        xmlFreeTextReader(state_->reader);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
}

int RequestReader::ioError() const
{
    return state_->ioError;
}

bool RequestReader::fail(FormatFault fault, const QString& detail, const QString& detail2)
{
    if (fault_ == Fault::None) {
        fault_ = Fault::Format;
        formatFault_ = fault;
        detail_ = detail;
        detail2_ = detail2;
    }
    return false;
}

bool RequestReader::failFromParser()
{
    const varnel::xmlguard::AttributeGuard& guard = state_->guard;
    if (guard.tripped()) {
        line_ = guard.line();
        column_ = guard.column();
        return fail(FormatFault::Xml, QString::fromStdString(guard.reason()));
    }
    line_ = state_->line;
    column_ = state_->column;
    return fail(FormatFault::Xml,
                state_->message.isEmpty() ? QStringLiteral("parse error") : state_->message);
}

QString RequestReader::faultText(Language language) const
{
    if (state_->ioError != 0)
        return QString::fromLocal8Bit(std::strerror(state_->ioError));
    return FormatFaultText(formatFault_, language, detail_, detail2_, line_, column_);
}

bool RequestReader::start()
{
    State& s = *state_;
    // The prolog is looked at before any parsing.
    s.head.resize(kPrologScan);
    qsizetype have = 0;
    while (have < kPrologScan) {
        const int n = s.rawRead(s.head.data() + have, int(kPrologScan - have));
        if (n < 0)
            return fail(FormatFault::Xml, QString());
        if (n == 0)
            break;
        have += n;
    }
    s.head.resize(have);
    if (have == 0)
        return fail(FormatFault::Empty);
    if (prologHasDoctype(s.head))
        return fail(FormatFault::Doctype);

    xmlSetExternalEntityLoader(refuseExternal);
    xmlSetGenericErrorFunc(nullptr, silentGeneric);
    xmlSetStructuredErrorFunc(state_.get(), &State::error);
    s.reader = xmlReaderForIO(&State::read, &State::close, state_.get(), nullptr, nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOCDATA);
    if (!s.reader)
        return fail(FormatFault::Xml, QStringLiteral("cannot start the parser"));
    xmlTextReaderSetStructuredErrorHandler(s.reader, &State::error, state_.get());
    return true;
}

bool RequestReader::readRoot()
{
    if (!start())
        return false;
    xmlTextReaderPtr r = state_->reader;
    for (;;) {
        const int ret = xmlTextReaderRead(r);
        if (ret < 0 || state_->parserError)
            return failFromParser();
        if (ret == 0) // only a prolog
            return failFromParser();
        const int type = xmlTextReaderNodeType(r);
        if (type == XML_READER_TYPE_DOCUMENT_TYPE)
            return fail(FormatFault::Doctype);
        if (type != XML_READER_TYPE_ELEMENT)
            continue;
        rootName_ = fromXml(xmlTextReaderConstName(r));
        rootEmpty_ = xmlTextReaderIsEmptyElement(r) == 1;
        while (xmlTextReaderMoveToNextAttribute(r) == 1)
            rootAttributes_.append(
                {fromXml(xmlTextReaderConstName(r)), fromXml(xmlTextReaderConstValue(r))});
        xmlTextReaderMoveToElement(r);
        return true;
    }
}

void RequestReader::expectRows(const QString& rowName, bool lenient)
{
    rowName_ = rowName;
    lenient_ = lenient;
}

bool RequestReader::nextRow(Attributes& row)
{
    if (failed() || !state_->reader)
        return false;
    xmlTextReaderPtr r = state_->reader;
    row.clear();
    for (;;) {
        const int ret = xmlTextReaderRead(r);
        if (ret < 0 || state_->parserError)
            return failFromParser();
        if (ret == 0) {
            // The end of the input: complete only when the document element was closed.
            if (!rootClosed_ && !rootEmpty_)
                return failFromParser();
            return false;
        }
        const int type = xmlTextReaderNodeType(r);
        const int depth = xmlTextReaderDepth(r);
        switch (type) {
        case XML_READER_TYPE_END_ELEMENT:
            if (depth == 0)
                rootClosed_ = true;
            continue;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_CDATA: {
            if (lenient_)
                continue;
            if (fromXml(xmlTextReaderConstValue(r)).trimmed().isEmpty())
                continue;
            return fail(FormatFault::Text, rootName_);
        }
        case XML_READER_TYPE_ELEMENT: break;
        default: // blanks, comments, processing instructions
            continue;
        }
        const QString name = fromXml(xmlTextReaderConstName(r));
        if (depth != 1 || rowName_.isEmpty() || name != rowName_) {
            if (lenient_)
                continue;
            if (depth != 1)
                return fail(FormatFault::Nested, name, rowName_);
            if (rowName_.isEmpty())
                return fail(FormatFault::Nested, name, rootName_);
            return fail(FormatFault::Row, rowName_, name);
        }
        while (xmlTextReaderMoveToNextAttribute(r) == 1)
            row.append({fromXml(xmlTextReaderConstName(r)), fromXml(xmlTextReaderConstValue(r))});
        xmlTextReaderMoveToElement(r);
        return true;
    }
}

} // namespace loopback
