#include "tables/XlsxPackage.h"

#include "core/XmlLoad.h"
#include "core/XmlSax.h"
#include "xmlguard/AttributeGuard.h"

#include <QFile>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <zip.h>

#include <cstring>

#include <unistd.h>

namespace varnel::tables {
namespace {

constexpr qint64 kPiece = 64 * 1024;

quint32 le32(const char* p)
{
    return quint32(uchar(p[0])) | quint32(uchar(p[1])) << 8 | quint32(uchar(p[2])) << 16 |
           quint32(uchar(p[3])) << 24;
}

quint64 le64(const char* p)
{
    return quint64(le32(p)) | quint64(le32(p + 4)) << 32;
}

std::string_view view(const xmlChar* text)
{
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

QString UnescapeWorkbookText(const QString& text)
{
    if (!text.contains(QStringLiteral("_x")))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'_' && i + 6 < text.size() && text.at(i + 1) == u'x' &&
            text.at(i + 6) == u'_') {
            int value = 0;
            bool hex = true;
            for (int k = 2; k < 6 && hex; ++k) {
                const int d = hexValue(text.at(i + k));
                hex = d >= 0;
                value = value * 16 + d;
            }
            if (hex) {
                out.append(QChar(char16_t(value)));
                i += 6;
                continue;
            }
        }
        out.append(text.at(i));
    }
    return out;
}

QString XmlAttributes::value(std::string_view localName) const
{
    for (int i = 0; i < count_; ++i) {
        const unsigned char** a = raw_ + 5 * i;
        if (view(a[0]) != localName)
            continue;
        QString v = QString::fromUtf8(reinterpret_cast<const char*>(a[3]), a[4] - a[3]);
        // Entities are not substituted: "&" reaches an attribute as "&#38;".
        if (v.contains(u'&'))
            v.replace(QStringLiteral("&#38;"), QStringLiteral("&"));
        return v;
    }
    return QString();
}

bool XmlAttributes::has(std::string_view localName) const
{
    for (int i = 0; i < count_; ++i) {
        if (view(raw_[5 * i]) == localName)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Package

Package::Package(SourceFile& file, const TableLimits& limits) : file_(file), limits_(limits)
{
    checkPartCount();
    int error = 0;
    const int fd = file_.duplicateDescriptor();
    if (fd >= 0) {
        archive_ = zip_fdopen(fd, ZIP_CHECKCONS, &error);
        if (!archive_)
            ::close(fd);
    } else {
        archive_ = zip_open(QFile::encodeName(file_.path()).constData(), ZIP_RDONLY | ZIP_CHECKCONS,
                            &error);
    }
    if (!archive_) {
        zip_error_t e;
        zip_error_init_with_code(&e, error);
        const QString reason = QString::fromUtf8(zip_error_strerror(&e));
        zip_error_fini(&e);
        fail(QStringLiteral("книга повреждена или это не книга .xlsx (") + reason +
             QStringLiteral(")"));
    }
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive_, zip_uint64_t(i), 0, &st) == 0 &&
            (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
            fail(QStringLiteral("книга защищена паролем; снимите пароль и сохраните книгу еще "
                                "раз"));
    }
}

Package::~Package()
{
    if (archive_)
        zip_discard(archive_);
}

void Package::checkPartCount()
{
    // The end record of the directory lies in the last 64 KB and a few bytes; a package of
    // more parts than the bound is refused before the directory is read into memory.
    const qint64 size = file_.size();
    const qint64 tail = std::min<qint64>(size, 65535 + 22);
    const QByteArray bytes = file_.readAt(size - tail, tail);
    for (qsizetype at = bytes.size() - 22; at >= 0; --at) {
        if (le32(bytes.constData() + at) != 0x06054b50)
            continue;
        quint64 parts = quint16(uchar(bytes[at + 10]) | uchar(bytes[at + 11]) << 8);
        if (parts == 0xFFFF && at >= 20 && le32(bytes.constData() + at - 20) == 0x07064b50) {
            const qint64 offset = qint64(le64(bytes.constData() + at - 20 + 8));
            const QByteArray record = file_.readAt(offset, 56);
            if (record.size() == 56 && le32(record.constData()) == 0x06064b50)
                parts = le64(record.constData() + 32);
        }
        if (parts > quint64(limits_.parts))
            fail(QStringLiteral("в книге больше ") + QString::number(limits_.parts) +
                 QStringLiteral(" частей"));
        return;
    }
}

qint64 Package::find(const QString& name) const
{
    const QByteArray utf8 = name.toUtf8();
    return qint64(zip_name_locate(archive_, utf8.constData(), 0));
}

qint64 Package::partCount() const
{
    return qint64(zip_get_num_entries(archive_, 0));
}

QString Package::zipError() const
{
    return QString::fromUtf8(zip_strerror(archive_));
}

QByteArray Package::readSmall(qint64 index, qint64 maxBytes)
{
    zip_file_t* f = zip_fopen_index(archive_, zip_uint64_t(index), 0);
    if (!f)
        fail(QStringLiteral("книга повреждена (") + zipError() + QStringLiteral(")"));
    QByteArray bytes(maxBytes, Qt::Uninitialized);
    const zip_int64_t n = zip_fread(f, bytes.data(), zip_uint64_t(maxBytes));
    zip_fclose(f);
    bytes.resize(n < 0 ? 0 : qsizetype(n));
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// PartReader

struct PartReader::State {
    PartReader* reader = nullptr;
    XmlSink* sink = nullptr;
    xmlParserCtxtPtr ctxt = nullptr;
    xmlguard::AttributeGuard guard;
    bool failed = false;
    bool bare = false; // the reason is raised as it stands
    QString reason;
    int line = 0;
    int column = 0;
    unsigned depth = 0; // elements open

    void stop(const QString& why)
    {
        if (failed)
            return;
        failed = true;
        reason = why;
        if (ctxt && ctxt->input) {
            line = ctxt->input->line;
            column = ctxt->input->col;
        }
        if (ctxt)
            xmlStopParser(ctxt);
    }
};

namespace {

PartReader::State* stateOf(void* ctx)
{
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    return static_cast<PartReader::State*>(ctxt->_private);
}

void onError(void* ctx, xmlErrorPtr error)
{
    PartReader::State* s = stateOf(ctx);
    if (!s || s->failed || !error || error->level < XML_ERR_ERROR)
        return;
    s->failed = true;
    s->reason = QString::fromUtf8(error->message ? error->message : "").trimmed();
    s->line = error->line;
    s->column = error->int2;
}

void onDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    stateOf(ctx)->stop(QStringLiteral("DTD is prohibited."));
}

void onEntityDeclaration(void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*)
{
    stateOf(ctx)->stop(QStringLiteral("DTD is prohibited."));
}

void onStart(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar*, int,
             const xmlChar**, int attributeCount, int, const xmlChar** attributes)
{
    PartReader::State* s = stateOf(ctx);
    if (s->failed)
        return;
    // The parser keeps every open element's name: without this bound a part of millions of
    // nested elements takes gigabytes before it is found broken.
    if (s->depth > XmlMaxDepth()) {
        s->stop(QStringLiteral("элементы вложены глубже ") + QString::number(XmlMaxDepth()) +
                QStringLiteral(" уровней"));
        return;
    }
    ++s->depth;
    s->sink->startElement(view(localname), XmlAttributes(attributeCount, attributes));
}

void onEnd(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar*)
{
    PartReader::State* s = stateOf(ctx);
    if (s->failed)
        return;
    --s->depth;
    s->sink->endElement(view(localname));
}

void onCharacters(void* ctx, const xmlChar* text, int size)
{
    PartReader::State* s = stateOf(ctx);
    if (s->failed)
        return;
    s->sink->characters(reinterpret_cast<const char*>(text), size);
}

xmlSAXHandler handler()
{
    xmlSAXHandler sax = XmlSaxHandler(onDoctype, onStart, onEnd, onError);
    sax.externalSubset = onDoctype;
    sax.entityDecl = onEntityDeclaration;
    sax.characters = onCharacters;
    sax.cdataBlock = onCharacters;
    return sax;
}

} // namespace

PartReader::PartReader(Package& package, qint64 index, XmlSink& sink)
    : package_(package), state_(std::make_unique<State>())
{
    zip_stat_t st;
    if (zip_stat_index(package_.archive(), zip_uint64_t(index), 0, &st) != 0)
        package_.fail(QStringLiteral("книга повреждена (") + package_.zipError() +
                      QStringLiteral(")"));
    name_ = QString::fromUtf8(st.name);
    size_ = (st.valid & ZIP_STAT_SIZE) ? qint64(st.size) : 0;
    const qint64 packed = (st.valid & ZIP_STAT_COMP_SIZE) ? qint64(st.comp_size) : 0;
    const TableLimits& limits = package_.limits();
    if (size_ > limits.partBytes)
        fail(QStringLiteral("часть распаковывается в ") + MegabytesText(size_) +
             QStringLiteral(", больше ") + MegabytesText(limits.partBytes));
    // Packed a thousand to one is how a zip bomb is made, not a table.
    if (size_ > limits.partRatioFrom && size_ > packed * qint64(limits.partRatio))
        fail(QStringLiteral("часть распаковывается в ") + MegabytesText(size_) +
             QStringLiteral(" из ") + MegabytesText(packed) +
             QStringLiteral(": так сжимают архивы-бомбы, а не таблицы"));
    file_ = zip_fopen_index(package_.archive(), zip_uint64_t(index), 0);
    if (!file_)
        fail(QStringLiteral("книга повреждена (") + package_.zipError() + QStringLiteral(")"));
    state_->reader = this;
    state_->sink = &sink;
}

PartReader::~PartReader()
{
    if (state_->ctxt) {
        if (state_->ctxt->myDoc)
            xmlFreeDoc(state_->ctxt->myDoc);
        xmlFreeParserCtxt(state_->ctxt);
    }
    if (file_)
        zip_fclose(file_);
}

void PartReader::fail(const QString& reason) const
{
    package_.fail(QStringLiteral("часть книги ") + name_ + QStringLiteral(": ") + reason);
}

void PartReader::refuse(const QString& reason)
{
    state_->stop(reason);
}

void PartReader::refuseTable(const QString& text)
{
    if (!state_->failed)
        state_->bare = true;
    state_->stop(text);
}

void PartReader::parse(const char* data, int size, bool last)
{
    if (size > 0 && !state_->guard.feed(data, size_t(size))) {
        state_->failed = true;
        state_->reason = QString::fromStdString(state_->guard.reason());
        state_->line = state_->guard.line();
        state_->column = state_->guard.column();
    }
    if (!state_->failed) {
        if (!state_->ctxt) {
            static xmlSAXHandler sax = handler();
            state_->ctxt = xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr);
            if (!state_->ctxt)
                fail(QStringLiteral("не хватает памяти"));
            state_->ctxt->_private = state_.get();
            xmlCtxtUseOptions(state_->ctxt, XML_PARSE_NONET | XML_PARSE_NOCDATA);
        }
        xmlParseChunk(state_->ctxt, data, size, last ? 1 : 0);
    }
    if (state_->failed && state_->bare)
        package_.fail(state_->reason);
    if (state_->failed)
        fail(state_->reason + QStringLiteral(", строка ") + QString::number(state_->line) +
             QStringLiteral(", поз. ") + QString::number(state_->column));
}

qint64 PartReader::read(char* piece)
{
    const zip_int64_t n = zip_fread(file_, piece, kPiece);
    if (n < 0)
        fail(QStringLiteral("книга повреждена (") +
             QString::fromUtf8(zip_error_strerror(zip_file_get_error(file_))) +
             QStringLiteral(")"));
    unpacked_ += n;
    // A part that unpacks to more than its directory says is not read on.
    if (unpacked_ > size_)
        fail(QStringLiteral("часть больше, чем сказано в оглавлении книги"));
    if (n == 0 && unpacked_ != size_)
        fail(QStringLiteral("часть обрывается раньше, чем сказано в оглавлении книги"));
    return qint64(n);
}

bool PartReader::step()
{
    if (ended_)
        return false;
    char piece[kPiece];
    const qint64 n = read(piece);
    if (n == 0) {
        parse(piece, 0, true);
        ended_ = true;
        return false;
    }
    parse(piece, int(n), false);
    return true;
}

void PartReader::readAll()
{
    while (step()) {
    }
}

void PartReader::readBytes()
{
    char piece[kPiece];
    while (!ended_)
        ended_ = read(piece) == 0;
}

} // namespace varnel::tables
