#include "shell/TextEncoding.h"

#include "core/Error.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

namespace varnel {
namespace {

const QString kUtf8 = QStringLiteral("UTF-8");
const QString kUtf16LE = QStringLiteral("UTF-16LE");
const QString kUtf16BE = QStringLiteral("UTF-16BE");
const QString kWindows1251 = QStringLiteral("windows-1251");

// Bytes 0x80 to 0xFF of Windows-1251. 0x98 has no character of its own; it is carried as U+0098
// (as the system converters do) so that it survives a round trip.
constexpr std::array<char16_t, 128> kUpper1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

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

// Decodes with a Qt converter; false when the encoding is unknown or the bytes do not fit it.
bool decodeWith(const QString& encoding, QByteArrayView bytes, QString* out)
{
    QStringDecoder decoder(encoding.toLatin1().constData(),
                           QStringConverter::Flag::ConvertInitialBom);
    if (!decoder.isValid())
        return false;
    *out = decoder.decode(bytes);
    return !decoder.hasError();
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

QString FromWindows1251(QByteArrayView bytes)
{
    QString out;
    out.resize(bytes.size());
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        d[i] = b < 0x80 ? QChar(b) : QChar(kUpper1251[b - 0x80]);
    }
    return out;
}

char ToWindows1251(char16_t ch, bool* ok)
{
    *ok = true;
    if (ch < 0x80)
        return char(ch);
    if (ch >= 0x0410 && ch <= 0x044F)
        return char(0xC0 + (ch - 0x0410));
    for (std::size_t i = 0; i < kUpper1251.size(); ++i) {
        if (kUpper1251[i] == ch)
            return char(0x80 + i);
    }
    *ok = false;
    return 0;
}

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
    QString text;
    bool decoded = false;

    if (startsWith(bytes, "\xEF\xBB\xBF")) {
        f.encoding = kUtf8;
        f.byteOrderMark = true;
        decoded = decodeWith(f.encoding, QByteArrayView(bytes).sliced(3), &text);
    } else if (startsWith(bytes, "\xFF\xFE")) {
        f.encoding = kUtf16LE;
        f.byteOrderMark = true;
        decoded = decodeWith(f.encoding, QByteArrayView(bytes).sliced(2), &text);
    } else if (startsWith(bytes, "\xFE\xFF")) {
        f.encoding = kUtf16BE;
        f.byteOrderMark = true;
        decoded = decodeWith(f.encoding, QByteArrayView(bytes).sliced(2), &text);
    } else if (startsWith(bytes, QByteArrayView("<\0?\0x\0m\0l\0", 10))) {
        f.encoding = kUtf16LE;
        decoded = decodeWith(f.encoding, bytes, &text);
    } else if (startsWith(bytes, QByteArrayView("\0<\0?\0x\0m\0l", 10))) {
        f.encoding = kUtf16BE;
        decoded = decodeWith(f.encoding, bytes, &text);
    } else if (const QString declared = canonicalName(DeclaredXmlEncoding(bytes));
               !declared.isEmpty() && !declared.startsWith(u"UTF-16")) {
        f.encoding = declared;
        if (declared == kWindows1251) {
            text = FromWindows1251(bytes);
            decoded = true;
        } else {
            decoded = decodeWith(declared, bytes, &text);
        }
    }
    if (!decoded) {
        f.byteOrderMark = false;
        if (decodeWith(kUtf8, bytes, &text)) {
            f.encoding = kUtf8;
        } else {
            f.encoding = kWindows1251;
            text = FromWindows1251(bytes);
        }
    }
    // A file without any line end gets the line end of its kind: Windows-1251 files come from
    // Windows, the rest follow this system.
    f.lineEnd =
        lineEndOf(text, f.encoding == kWindows1251 ? QStringLiteral("\r\n") : QStringLiteral("\n"));
    f.xml = !DeclaredXmlEncoding(bytes).isEmpty() || looksLikeXml(text);
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
