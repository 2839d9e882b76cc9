#include "shell/TextEncoding.h"

#include "core/Error.h"
#include "core/Windows1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

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
