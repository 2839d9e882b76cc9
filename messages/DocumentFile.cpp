#include "messages/DocumentFile.h"

#include "core/AtomicSave.h"
#include "core/Error.h"
#include "core/MessageTexts.h"
#include "core/Values.h"
#include "core/Windows1251.h"

#include <array>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The byte every character of a value or of markup is written as without further thought:
// printable ASCII other than markup characters and ",", and the rest of the code page but
// U+0098. 0 for the characters that need more (escaping, references, leaving out).
struct DirectBytes {
    std::array<unsigned char, 0x10000> byte{};

    DirectBytes()
    {
        for (int c = 0x20; c < 0x10000; ++c)
            byte[c] = documentByte(char16_t(c));
        for (const char c : {'&', '<', '>', '\'', '"', ','})
            byte[static_cast<unsigned char>(c)] = 0;
    }
};

const std::array<unsigned char, 0x10000>& directBytes()
{
    static const std::unique_ptr<DirectBytes> table = std::make_unique<DirectBytes>();
    return table->byte;
}

#if defined(__SSE2__)
// Writes eight characters at once as bytes at out, when they are all of the most common ones
// by far: printable ASCII other than markup characters (with "," as "." when commaToPoint),
// the Russian letters U+0410 to U+044F (bytes 0xC0 to 0xFF), and "Ё", "ё", "«", "»" and "№".
// Returns a mask with two bits set for each such character; the bytes written for the others
// are of no use.
inline unsigned writeCommonBlock(const char16_t* p, char* out, __m128i commaShift)
{
    // Signed comparisons: units from 0x8000 up are negative and fall in neither range.
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i ascii = _mm_and_si128(_mm_cmpgt_epi16(c, _mm_set1_epi16(0x1F)),
                                        _mm_cmplt_epi16(c, _mm_set1_epi16(0x80)));
    const __m128i markup =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(c, _mm_set1_epi16('&')),
                                  _mm_cmpeq_epi16(c, _mm_set1_epi16('<'))),
                     _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(c, _mm_set1_epi16('>')),
                                               _mm_cmpeq_epi16(c, _mm_set1_epi16('\''))),
                                  _mm_cmpeq_epi16(c, _mm_set1_epi16('"'))));
    const __m128i russian = _mm_and_si128(_mm_cmpgt_epi16(c, _mm_set1_epi16(0x040F)),
                                          _mm_cmplt_epi16(c, _mm_set1_epi16(0x0450)));
    const __m128i comma = _mm_cmpeq_epi16(c, _mm_set1_epi16(','));
    __m128i ok = _mm_or_si128(_mm_andnot_si128(markup, ascii), russian);
    // Russian letters 0x350 down to their bytes, "," up to "." in a number.
    __m128i units =
        _mm_add_epi16(_mm_sub_epi16(c, _mm_and_si128(russian, _mm_set1_epi16(0x0410 - 0xC0))),
                      _mm_and_si128(comma, commaShift));
    auto good = static_cast<unsigned>(_mm_movemask_epi8(ok));
    if (good != 0xFFFF) {
        // The rest of Russian text, looked for only when a block has more than the above.
        const __m128i guillemets = _mm_or_si128(_mm_cmpeq_epi16(c, _mm_set1_epi16(0xAB)),
                                                _mm_cmpeq_epi16(c, _mm_set1_epi16(0xBB)));
        const __m128i capitalYo = _mm_cmpeq_epi16(c, _mm_set1_epi16(0x0401));
        const __m128i smallYo = _mm_cmpeq_epi16(c, _mm_set1_epi16(0x0451));
        const __m128i numero = _mm_cmpeq_epi16(c, _mm_set1_epi16(0x2116));
        ok = _mm_or_si128(_mm_or_si128(ok, guillemets),
                          _mm_or_si128(_mm_or_si128(capitalYo, smallYo), numero));
        units = _mm_sub_epi16(
            units,
            _mm_or_si128(_mm_or_si128(_mm_and_si128(capitalYo, _mm_set1_epi16(0x0401 - 0xA8)),
                                      _mm_and_si128(smallYo, _mm_set1_epi16(0x0451 - 0xB8))),
                         _mm_and_si128(numero, _mm_set1_epi16(0x2116 - 0xB9))));
        good = static_cast<unsigned>(_mm_movemask_epi8(ok));
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
    return good;
}
#endif

// Writes the common characters at the start of the n at p (see writeCommonBlock), eight at a
// time, and returns how many it wrote. The buffer holds room for eight bytes a character.
qsizetype writeCommonRun(const char16_t* p, qsizetype n, char*& out, bool commaToPoint)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i commaShift = _mm_set1_epi16(commaToPoint ? '.' - ',' : 0);
    for (; i + 8 <= n; i += 8) {
        const unsigned good = writeCommonBlock(p + i, out, commaShift);
        if (good != 0xFFFF) {
            // Keep the bytes before the first other character; the rest are written over.
            const int taken = std::countr_zero(~good) / 2;
            out += taken;
            return i + taken;
        }
        out += 8;
    }
    // The few characters left, as the last eight of the text: those before them are common
    // ones, already written one byte each, and are written again the same.
    if (i > 0 && i < n && writeCommonBlock(p + n - 8, out - (i - (n - 8)), commaShift) == 0xFFFF) {
        out += n - i;
        return n;
    }
#else
    Q_UNUSED(p);
    Q_UNUSED(n);
    Q_UNUSED(out);
    Q_UNUSED(commaToPoint);
#endif
    return i;
}

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

// Writes the text at out, which has room for kMaxBytesPerUnit bytes a character, and returns
// where the bytes end.
char* encodeInto(char* out, QStringView text, int flags, bool isValue, bool escape)
{
    const qsizetype n = text.size();
    const char16_t* p = text.utf16();
    const bool dropBreaks = flags & DocumentFile::DropLineBreaks;
    const bool commaToPoint = flags & DocumentFile::CommaToPoint;
    const auto& direct = directBytes();
    for (qsizetype i = 0; i < n; ++i) {
        if (n - i >= 8) {
            i += writeCommonRun(p + i, n - i, out, commaToPoint);
            if (i == n)
                break;
        }
        const char16_t c = p[i];
        if (const unsigned char b = direct[c]) {
            *out++ = char(b);
            continue;
        }
        if (c >= 0x20 && c < 0x80) {
            const char* entity = escape ? XmlAttributeEntity(c) : nullptr;
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
        out = putReference(out, c); // the code page has no byte for it
    }
    return out;
}

} // namespace

DocumentFile::DocumentFile(const QString& path)
    : path_(path), file_(std::make_unique<AtomicFile>(path))
{
    capacity_ = kBlockSize + 16 * 1024;
    buf_ = std::make_unique<char[]>(size_t(capacity_));
}

// Without close() the new document is dropped and a file it was to replace stays as it was.
DocumentFile::~DocumentFile() = default;

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
    reserve(text.size() * kMaxBytesPerUnit);
    size_ = encodeInto(buf_.get() + size_, text, flags, isValue, escape) - buf_.get();
}

void DocumentFile::rawAttribute(const QByteArray& opening, QStringView text, int flags)
{
    reserve(opening.size() + text.size() * kMaxBytesPerUnit + 1);
    char* out = buf_.get() + size_;
    std::memcpy(out, opening.constData(), size_t(opening.size()));
    out = encodeInto(out + opening.size(), text, flags, true, true);
    *out++ = '"';
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
    if (lineStart_ > 0)
        file_->write(buf_.get(), lineStart_);
    std::memmove(buf_.get(), buf_.get() + lineStart_, size_t(size_ - lineStart_));
    size_ -= lineStart_;
    lineStart_ = 0;
}

void DocumentFile::close()
{
    flushLines();
    closed_ = true;
    file_->commit();
}

void WriteDocumentFrame(DocumentFile& f)
{
    f.ascii("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>");
    f.endLine();
    f.markup(VersionComment());
    f.endLine();
}

void WriteAttribute(DocumentFile& f, const char* name, const QString& escapedValue)
{
    f.ascii(" ");
    f.ascii(name);
    f.ascii("=\"");
    f.value(escapedValue);
    f.ascii("\"");
}

} // namespace varnel
