#pragma once

#include <QString>

namespace varnel {

// Temporary names the way the system hands them out: the send pipeline names its requests with
// them, the viewers their copies of incoming messages.

// The system's temporary folder, without a trailing separator, unless a test set another.
QString TemporaryFolder();
// Points TemporaryFolder() at another folder (tests); an empty folder restores the system's.
void SetTemporaryFolder(const QString& folder);

// A unique name in folder: the first three characters of prefix, one to four upper-case
// hexadecimal digits and ".tmp". The file is created empty and exclusively, so the name is the
// caller's alone. When finalExtension is given (".xml"), that name with the extension in place
// of ".tmp" must be free as well, so a file of that name is never written over. Empty when the
// folder cannot be written.
QString CreateUniqueTempFile(const QString& folder, const QString& prefix,
                             const QString& finalExtension = QString());

// The file name's extension (from its last ".", never one in a folder name) replaced by
// extension (given with its "."), or the extension appended when the name has none.
QString RenamePathExtension(const QString& path, const QString& extension);

} // namespace varnel
