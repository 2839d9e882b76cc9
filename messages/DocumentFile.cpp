#include "messages/DocumentFile.h"

#include "core/Error.h"
#include "core/Windows1251.h"

#include <array>

namespace varnel {
namespace {

constexpr qsizetype kBlockSize = 64 * 1024;
// The longest bytes one UTF-16 unit turns into: "&#65535;" (a pair becomes "&#1114111;").
constexpr qsizetype kMaxBytesPerUnit = 8;

// The byte of a character in a document. U+0098 stands for the unassigned byte 0x98; other
// readers refuse that byte, so the character is written as a reference instead.
unsigned char documentByte(char16_t c)
{
    return c == 0x98 ? 0 : Windows1251Byte(c);
}

// ASCII characters every value writes as they are: printable, and neither markup nor ",".
constexpr std::array<bool, 0x80> kPlainAscii = [] {
    std::array<bool, 0x80> plain{};
    for (int c = 0x20; c < 0x80; ++c)
        plain[c] = c != '&' && c != '<' && c != '>' && c != '\'' && c != '"' && c != ',';
    return plain;
}();

char* putReference(char* out, char32_t codePoint)
{
    char digits[16];
    int n = 0;
    do {
        digits[n++] = char('0' + codePoint % 10);
        codePoint /= 10;
    } while (codePoint);
    *out++ = '&';
    *out++ = '#';
    while (n)
        *out++ = digits[--n];
    *out++ = ';';
    return out;
}

} // namespace

DocumentFile::DocumentFile(const QString& path) : path_(path), file_(path)
{
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        Fail(QStringLiteral("Не удалось создать файл ") + path_ + QStringLiteral(":\r\n") +
             file_.errorString());
    capacity_ = kBlockSize + 16 * 1024;
    buf_ = std::make_unique<char[]>(size_t(capacity_));
}

DocumentFile::~DocumentFile()
{
    if (closed_ || !file_.isOpen())
        return;
    file_.write(buf_.get(), lineStart_);
    file_.close();
}

void DocumentFile::grow(qsizetype more)
{
    const qsizetype wanted = std::max(capacity_ * 2, size_ + more);
    auto bigger = std::make_unique<char[]>(size_t(wanted));
    std::memcpy(bigger.get(), buf_.get(), size_t(size_));
    buf_ = std::move(bigger);
    capacity_ = wanted;
}

void DocumentFile::markup(QStringView text)
{
    encode(text, KeepLineBreaks, false);
}

void DocumentFile::value(QStringView text, int flags)
{
    encode(text, flags, true);
}

void DocumentFile::rawValue(QStringView text, int flags)
{
    encode(text, flags, true, true);
}

QByteArray DocumentFile::encodeMarkup(QStringView text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20)
            continue;
        if (const unsigned char b = documentByte(c))
            out.append(char(b));
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            char ref[16];
            out.append(ref,
                       putReference(ref, QChar::surrogateToUcs4(c, text[i + 1].unicode())) - ref);
            ++i;
        } else if (c >= 0x80 && !QChar::isSurrogate(c)) {
            char ref[16];
            out.append(ref, putReference(ref, c) - ref);
        }
    }
    return out;
}

void DocumentFile::encode(QStringView text, int flags, bool isValue, bool escape)
{
    const qsizetype n = text.size();
    reserve(n * kMaxBytesPerUnit);
    const char16_t* p = text.utf16();
    char* out = buf_.get() + size_;
    const bool dropBreaks = flags & DropLineBreaks;
    const bool commaToPoint = flags & CommaToPoint;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (c < 0x80 && kPlainAscii[c]) {
            *out++ = char(c);
            continue;
        }
        if (c >= 0x20 && c < 0x80) {
            const char* entity = nullptr;
            if (escape) {
                switch (c) {
                case u'&': entity = "&amp;"; break;
                case u'<': entity = "&lt;"; break;
                case u'>': entity = "&gt;"; break;
                case u'\'': entity = "&apos;"; break;
                case u'"': entity = "&quot;"; break;
                default: break;
                }
            }
            if (entity) {
                while (*entity)
                    *out++ = *entity++;
            } else {
                *out++ = (commaToPoint && c == u',') ? '.' : char(c);
            }
            continue;
        }
        if (c < 0x20) {
            if (c == u'\t' || c == u'\n' || c == u'\r') {
                if (!isValue)
                    *out++ = char(c);
                else if (c == u'\t' || !dropBreaks)
                    out = putReference(out, c);
            }
            continue; // not a character of XML 1.0
        }
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
                out = putReference(out, QChar::surrogateToUcs4(c, p[i + 1]));
                ++i;
            }
            continue;
        }
        if (QChar::isLowSurrogate(c) || c == 0xFFFE || c == 0xFFFF)
            continue;
        if (const unsigned char b = documentByte(c))
            *out++ = char(b);
        else
            out = putReference(out, c);
    }
    size_ = out - buf_.get();
}

void DocumentFile::endLine()
{
    bytes("\r\n", 2);
    lineStart_ = size_;
    if (lineStart_ >= kBlockSize)
        flushLines();
}

void DocumentFile::flushLines()
{
    if (lineStart_ > 0 && file_.write(buf_.get(), lineStart_) != lineStart_)
        failWrite();
    std::memmove(buf_.get(), buf_.get() + lineStart_, size_t(size_ - lineStart_));
    size_ -= lineStart_;
    lineStart_ = 0;
}

void DocumentFile::close()
{
    flushLines();
    closed_ = true;
    file_.close();
    if (file_.error() != QFileDevice::NoError)
        failWrite();
}

void DocumentFile::failWrite()
{
    const QString reason = file_.errorString();
    closed_ = true;
    file_.close();
    Fail(QStringLiteral("Не удалось записать файл ") + path_ + QStringLiteral(":\r\n") + reason);
}

} // namespace varnel
