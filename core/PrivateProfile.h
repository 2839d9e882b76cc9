#pragma once

#include <QString>

namespace varnel {

// The private-profile rules on any INI file: the first occurrence of a section counts, names
// match without regard to letter case (Cyrillic included), blanks around a value are dropped,
// a value wholly in double quotes loses them. The file is Windows-1251 with CR LF, or UTF-8
// when it starts with a byte-order mark. Writes replace the file atomically.
namespace PrivateProfile {

// As GetPrivateProfileString with a buffer of bufferSize characters: at most bufferSize - 2
// characters of a value come back (the platform keeps room for its terminator). found is set
// to whether a non-empty value was read.
QString GetString(const QString& file, const QString& section, const QString& key,
                  const QString& def, int bufferSize = 2048);
// As GetPrivateProfileInt.
int GetInt(const QString& file, const QString& section, const QString& key, int def);
// As WritePrivateProfileString with a value. Returns false when the file could not be written.
bool WriteString(const QString& file, const QString& section, const QString& key,
                 const QString& value);

} // namespace PrivateProfile
} // namespace varnel
