#include "Windows1251.h"

#include <array>

namespace varnel {

namespace {

// Characters of the bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F in order.
constexpr std::array<char16_t, 64> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

constexpr char16_t kFirstCyrillic = 0x0410; // byte 0xC0
constexpr char16_t kLastCyrillic = 0x044F;  // byte 0xFF

int ByteOf(char16_t ch)
{
    if (ch < 0x80)
        return ch;
    if (ch >= kFirstCyrillic && ch <= kLastCyrillic)
        return 0xC0 + (ch - kFirstCyrillic);
    for (std::size_t i = 0; i < kUpperHalf.size(); ++i) {
        if (kUpperHalf[i] == ch)
            return 0x80 + static_cast<int>(i);
    }
    return -1;
}

} // namespace

QString DecodeWindows1251(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            *out++ = QChar(char16_t(b));
        else if (b < 0xC0)
            *out++ = QChar(kUpperHalf[b - 0x80]);
        else
            *out++ = QChar(char16_t(kFirstCyrillic + (b - 0xC0)));
    }
    return text;
}

QByteArray EncodeWindows1251(const QString& text, bool* lossy)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    bool lost = false;
    for (const QChar ch : text) {
        const int b = ByteOf(ch.unicode());
        if (b < 0) {
            lost = true;
            *out++ = '?';
        } else {
            *out++ = static_cast<char>(b);
        }
    }
    if (lossy)
        *lossy = lost;
    return bytes;
}

} // namespace varnel
