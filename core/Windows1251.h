#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>

// Windows-1251, the code page of the settings files, of the documents sent to the registry and
// of older reports. The unassigned byte 0x98 is carried as U+0098 (as the system converters do),
// so that every byte survives a read and a write unchanged.
namespace varnel {

namespace windows1251_detail {
// Byte of every character, in pages of 256 characters: kPageOf[c >> 8] picks the page, 0 being
// the page of characters the code page lacks.
extern const std::array<unsigned char, 256> kPageOf;
extern const std::array<std::array<unsigned char, 256>, 5> kPages;
} // namespace windows1251_detail

// The text of Windows-1251 bytes.
QString FromWindows1251(QByteArrayView bytes);

// The byte of one character, 0 when the code page has none (U+0000 gives 0 as well).
inline unsigned char Windows1251Byte(char16_t c)
{
    using namespace windows1251_detail;
    return kPages[kPageOf[c >> 8]][c & 0xFF];
}

// The byte of one character; *ok is false (and 0 returned) when the code page has none.
char ToWindows1251(char16_t c, bool* ok);

// The bytes of a text; a character the code page lacks becomes replacement, a character beyond
// the basic plane one replacement (not one for each half).
QByteArray ToWindows1251(QStringView text, char replacement);

} // namespace varnel
