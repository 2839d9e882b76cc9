#pragma once

// The merge tool's own copy of the Windows-1251 table. Quilmer links nothing of the client (only
// the file-saving library both share), so it cannot take the client's codec in
// core/Windows1251.h; the two agree byte for byte, 0x98 <-> U+0098 included.

#include <QByteArray>
#include <QString>

namespace varnel {

// Windows-1251 text, converted byte for byte. The one byte the code page leaves unassigned
// (0x98) maps to U+0098 and back, so every file survives a read and a write unchanged.
QString DecodeWindows1251(const QByteArray& bytes);

// The reverse of DecodeWindows1251. A character the code page cannot hold becomes "?";
// *lossy, when given, tells whether that happened.
QByteArray EncodeWindows1251(const QString& text, bool* lossy = nullptr);

} // namespace varnel
