#include "Cp1251.h"

#include <array>

namespace loopback {
namespace {

// Code points of the bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F in order.
constexpr std::array<char16_t, 64> kUpper = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// The byte of a character, or -1 when the code page has none.
int encodeChar(char16_t c)
{
    if (c < 0x80)
        return c;
    if (c >= 0x0410 && c <= 0x044F)
        return 0xC0 + (c - 0x0410);
    for (int i = 0; i < 64; ++i) {
        if (kUpper[size_t(i)] == c && c != 0xFFFD)
            return 0x80 + i;
    }
    return -1;
}

void appendReference(QByteArray& out, char32_t codePoint)
{
    out += "&#";
    out += QByteArray::number(quint32(codePoint));
    out += ';';
}

} // namespace

QString DecodeCp1251(QByteArrayView bytes)
{
    QString text;
    text.resize(bytes.size());
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80)
            out[i] = QChar(b);
        else if (b >= 0xC0)
            out[i] = QChar(char16_t(0x0410 + (b - 0xC0)));
        else
            out[i] = QChar(kUpper[size_t(b - 0x80)]);
    }
    return text;
}

void AppendAttributeValue(QByteArray& out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        switch (c) {
        case u'&': out += "&amp;"; continue;
        case u'<': out += "&lt;"; continue;
        case u'>': out += "&gt;"; continue;
        case u'\'': out += "&apos;"; continue;
        case u'"': out += "&quot;"; continue;
        case u'\r': out += "&#13;"; continue;
        case u'\n': out += "&#10;"; continue;
        case u'\t': out += "&#9;"; continue;
        default: break;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            appendReference(out, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
            continue;
        }
        if (c < 0x20)
            continue; // not a character of an XML document: a parsed request holds none
        if (QChar::isSurrogate(c)) {
            appendReference(out, 0xFFFD);
            continue;
        }
        const int byte = encodeChar(c);
        if (byte >= 0)
            out += char(byte);
        else
            appendReference(out, c);
    }
}

void AppendPlain(QByteArray& out, QStringView text)
{
    for (const QChar ch : text) {
        const int byte = encodeChar(ch.unicode());
        out += byte >= 0 ? char(byte) : '?';
    }
}

} // namespace loopback
