#pragma once

#include "core/Outcome.h"

#include <QString>

namespace varnel {

// The private-profile rules on any INI file, as GetPrivateProfileStringA,
// GetPrivateProfileIntA and WritePrivateProfileStringA apply them:
// - a line whose text (blanks dropped) starts with "[" and holds a "]" opens a section named by
//   what lies between the "[" and the last "]", blanks around it dropped; lines before the
//   first section belong to no section;
// - a line with "=" inside a section holds a key: the name before the first "=", the value
//   after it, blanks (space, tab, vertical tab, form feed, Ctrl-Z) around both dropped; other
//   lines are not keys;
// - only the first occurrence of a section counts, and in it the first line of a key;
// - names match without regard to letter case, Cyrillic included;
// - a value wholly enclosed in double or in single quotes is read without them, and a value
//   ends at its first NUL;
// - a line ends at CR LF, LF or a lone CR.
// The file is Windows-1251, or UTF-8 when it starts with a byte-order mark. Nothing is cached:
// every call reads the file.
namespace PrivateProfile {

// As GetPrivateProfileString with a buffer of bufferSize characters: at most bufferSize - 2
// characters of a value come back (the platform keeps room for its terminator). def comes
// back when the file, the section or the key is missing or the value is empty. found (when
// given) is set to whether a non-empty value was read.
QString GetString(const QString& file, const QString& section, const QString& key,
                  const QString& def, int bufferSize = 2048, bool* found = nullptr);

// As GetPrivateProfileInt: def when the value is missing or empty; otherwise the number made of
// the value's leading decimal digits (blanks around the value dropped; no sign, no other base),
// 0 when it does not start with a digit or when the number does not fit in 32 bits.
int GetInt(const QString& file, const QString& section, const QString& key, int def);

// As WritePrivateProfileString with a value: replaces the line of the key (first occurrence)
// or adds the key after the last key line of its section, adding the section at the end of
// the file and the file itself as needed. Every other byte of the file stays as it was; the
// written line ends with CR LF. The file is replaced atomically (AtomicSave.h) and keeps its
// permissions. A value is stored on one line (each line break becomes a blank) and ends at its
// first NUL; a character the file's encoding cannot hold is written as "?". Fails, leaving the
// file byte for byte as it was and nothing beside it, when the file cannot be read or written
// (missing folder, owner write permission clear, a folder in its place, a full disk) or when
// the names cannot be stored (an empty section or key, a line break, a key with "=" or starting
// with "["), with the text to show: "Не удалось создать файл" or "Не удалось записать файл",
// the path and the system's reason.
Outcome WriteString(const QString& file, const QString& section, const QString& key,
                    const QString& value);

} // namespace PrivateProfile
} // namespace varnel
