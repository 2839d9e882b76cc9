#include "text/TextEncoding.h"

#include "core/Error.h"
#include "core/Windows1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

namespace varnel {
namespace {

const QString kUtf8 = QStringLiteral("UTF-8");
const QString kUtf16LE = QStringLiteral("UTF-16LE");
const QString kUtf16BE = QStringLiteral("UTF-16BE");
const QString kWindows1251 = QStringLiteral("windows-1251");

bool startsWith(QByteArrayView bytes, QByteArrayView prefix)
{
    return bytes.size() >= prefix.size() && bytes.first(prefix.size()) == prefix;
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// One of our own names for the encodings handled here, or the declared name as it stands.
QString canonicalName(const QString& declared)
{
    const QString n = declared.trimmed().toLower();
    if (n == u"utf-8" || n == u"utf8")
        return kUtf8;
    if (n == u"windows-1251" || n == u"cp1251" || n == u"cp-1251" || n == u"win-1251" ||
        n == u"x-cp1251" || n == u"1251")
        return kWindows1251;
    if (n == u"utf-16le")
        return kUtf16LE;
    if (n == u"utf-16be")
        return kUtf16BE;
    if (n == u"utf-16")
        return QStringLiteral("UTF-16");
    return declared.trimmed();
}

// UTF-16 units two bytes each, surrogates in pairs; false for an odd trailing byte or a lone
// surrogate, which a decoder would turn into a character the file does not hold.
bool decodeUtf16(QByteArrayView bytes, bool bigEndian, QString* out)
{
    if (bytes.size() % 2)
        return false;
    QString text(bytes.size() / 2, Qt::Uninitialized);
    char16_t* units = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
        const auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
        units[i] = char16_t(hi << 8 | lo);
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (QChar::isHighSurrogate(units[i]) && i + 1 < text.size() &&
            QChar::isLowSurrogate(units[i + 1]))
            ++i;
        else if (QChar::isSurrogate(units[i]))
            return false;
    }
    *out = text;
    return true;
}

// Decodes the whole of the bytes; false when the encoding is unknown here or the bytes are not
// all in it (an invalid sequence, or one cut off at the end, which a converter left to itself
// keeps back for bytes that never come).
bool decodeWith(const QString& encoding, QByteArrayView bytes, QString* out)
{
    if (encoding == kUtf16LE || encoding == kUtf16BE)
        return decodeUtf16(bytes, encoding == kUtf16BE, out);
    if (encoding == kWindows1251) {
        *out = FromWindows1251(bytes);
        return true;
    }
    QStringDecoder decoder(encoding.toLatin1().constData(),
                           QStringConverter::Flag::ConvertInitialBom |
                               QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return false;
    *out = decoder.decode(bytes);
    return !decoder.hasError();
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

QString lineEndOf(const QString& text, const QString& fallback)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\n')
            return QStringLiteral("\n");
        if (text.at(i) == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                return QStringLiteral("\r\n");
            return QStringLiteral("\r");
        }
    }
    return fallback;
}

bool looksLikeXml(const QString& text)
{
    for (QChar c : text) {
        if (c == u'<')
            return true;
        if (!c.isSpace() && c != QChar(0xFEFF))
            return false;
    }
    return false;
}

QByteArray encode1251(QStringView text, bool charRefs)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text.at(i).unicode();
        bool ok = false;
        const char b = ToWindows1251(ch, &ok);
        if (ok) {
            out.append(b);
            continue;
        }
        char32_t code = ch;
        if (QChar::isHighSurrogate(ch) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            code = QChar::surrogateToUcs4(ch, text.at(i + 1).unicode());
            ++i;
        }
        if (!charRefs)
            Fail(QStringLiteral("Символ \"") + QString::fromUcs4(&code, 1) +
                 QStringLiteral("\" нельзя записать в кодировке windows-1251"));
        out.append("&#").append(QByteArray::number(quint32(code))).append(';');
    }
    return out;
}

} // namespace

QString DeclaredXmlEncoding(QByteArrayView bytes)
{
    if (!startsWith(bytes, "<?xml") || bytes.size() < 6 || !isXmlSpace(bytes[5]))
        return {};
    const qsizetype end = bytes.indexOf(QByteArrayView("?>"));
    if (end < 0)
        return {};
    const QByteArrayView decl = bytes.first(end);
    const qsizetype at = decl.indexOf(QByteArrayView("encoding"));
    if (at < 0)
        return {};
    qsizetype i = at + 8;
    while (i < decl.size() && isXmlSpace(decl[i]))
        ++i;
    if (i >= decl.size() || decl[i] != '=')
        return {};
    ++i;
    while (i < decl.size() && isXmlSpace(decl[i]))
        ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\''))
        return {};
    const char quote = decl[i];
    const qsizetype close = decl.indexOf(quote, i + 1);
    if (close < 0)
        return {};
    return QString::fromLatin1(decl.sliced(i + 1, close - i - 1));
}

DecodedText DecodeText(const QByteArray& bytes)
{
    DecodedText result;
    TextFormat& f = result.format;
    const QByteArrayView all(bytes);
    f.xml = !DeclaredXmlEncoding(bytes).isEmpty();

    // The encoding the file names for itself, by a byte-order mark or a declaration: the
    // encoding, whether the mark is there, and the bytes after it.
    struct Candidate {
        QString encoding;
        bool mark = false;
        QByteArrayView body;
    };
    std::optional<Candidate> named;
    if (startsWith(all, "\xEF\xBB\xBF"))
        named = Candidate{kUtf8, true, all.sliced(3)};
    else if (startsWith(all, "\xFF\xFE"))
        named = Candidate{kUtf16LE, true, all.sliced(2)};
    else if (startsWith(all, "\xFE\xFF"))
        named = Candidate{kUtf16BE, true, all.sliced(2)};
    else if (startsWith(all, QByteArrayView("<\0?\0x\0m\0l\0", 10)))
        named = Candidate{kUtf16LE, false, all};
    else if (startsWith(all, QByteArrayView("\0<\0?\0x\0m\0l", 10)))
        named = Candidate{kUtf16BE, false, all};
    else if (const QString declared = canonicalName(DeclaredXmlEncoding(bytes));
             !declared.isEmpty() && !declared.startsWith(u"UTF-16"))
        named = Candidate{declared, false, all};

    // A text that does not decode completely, or would not be written back as the same bytes,
    // is not in that encoding. Then, as for a file that names none: UTF-8 when its bytes
    // beyond ASCII form valid UTF-8, else Windows-1251, the code page of every other file of
    // the client, which holds every byte.
    QString text;
    bool decoded = false;
    if (named && decodeWith(named->encoding, named->body, &text)) {
        f.encoding = named->encoding;
        f.byteOrderMark = named->mark;
        f.lineEnd = QStringLiteral("\n");
        try {
            decoded = EncodeText(text, f) == bytes;
        } catch (const Error&) {
            decoded = false;
        }
    }
    if (!decoded) {
        f.byteOrderMark = false;
        if (!isAscii(all) && decodeWith(kUtf8, all, &text)) {
            f.encoding = kUtf8;
        } else {
            f.encoding = kWindows1251;
            text = FromWindows1251(all);
        }
    }
    // A file without any line end gets the line end of its kind: Windows-1251 files come from
    // Windows, the rest follow this system.
    f.lineEnd =
        lineEndOf(text, f.encoding == kWindows1251 ? QStringLiteral("\r\n") : QStringLiteral("\n"));
    f.xml = f.xml || looksLikeXml(text);
    result.text = text;
    return result;
}

QByteArray EncodeText(const QString& text, const TextFormat& format)
{
    QString lines = text;
    if (format.lineEnd != u"\n")
        lines.replace(u'\n', format.lineEnd);

    if (format.encoding == kWindows1251)
        return encode1251(lines, format.xml);

    QStringConverter::Flags flags = QStringConverter::Flag::ConvertInitialBom;
    if (format.byteOrderMark)
        flags |= QStringConverter::Flag::WriteBom;
    QStringEncoder encoder(format.encoding.toLatin1().constData(), flags);
    if (!encoder.isValid())
        Fail(QStringLiteral("Кодировка ") + format.encoding + QStringLiteral(" не поддерживается"));
    QByteArray out = encoder.encode(lines);
    if (encoder.hasError())
        Fail(QStringLiteral("Текст нельзя записать в кодировке ") + format.encoding);
    return out;
}

} // namespace varnel
