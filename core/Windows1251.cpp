#include "core/Windows1251.h"

namespace varnel {
namespace {

// Characters of bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

// The pages that hold characters of the code page: U+00xx, U+04xx, U+20xx and U+21xx.
constexpr std::array<unsigned char, 256> kPageOfTable = [] {
    std::array<unsigned char, 256> of{};
    of[0x00] = 1;
    of[0x04] = 2;
    of[0x20] = 3;
    of[0x21] = 4;
    return of;
}();

constexpr std::array<std::array<unsigned char, 256>, 5> kPagesTable = [] {
    std::array<std::array<unsigned char, 256>, 5> pages{};
    for (int c = 1; c < 0x80; ++c)
        pages[1][c] = static_cast<unsigned char>(c);
    for (int b = 0x80; b < 0x100; ++b) {
        const char16_t c = kHigh[b - 0x80];
        pages[kPageOfTable[c >> 8]][c & 0xFF] = static_cast<unsigned char>(b);
    }
    return pages;
}();

} // namespace

namespace windows1251_detail {
const std::array<unsigned char, 256> kPageOf = kPageOfTable;
const std::array<std::array<unsigned char, 256>, 5> kPages = kPagesTable;
} // namespace windows1251_detail

QString FromWindows1251(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        *d++ = u < 0x80 ? char16_t(u) : kHigh[u - 0x80];
    }
    return out;
}

char ToWindows1251(char16_t c, bool* ok)
{
    const unsigned char b = Windows1251Byte(c);
    *ok = b != 0 || c == 0;
    return char(b);
}

QByteArray ToWindows1251(QStringView text, char replacement)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char* d = out.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const unsigned char b = Windows1251Byte(c);
        if (b != 0 || c == 0) {
            *d++ = char(b);
            continue;
        }
        *d++ = replacement;
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate())
            ++i;
    }
    out.truncate(d - out.constData());
    return out;
}

} // namespace varnel
