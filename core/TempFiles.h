#pragma once

#include <QString>

namespace varnel {

// Temporary names the way the system hands them out: the send pipeline names its requests with
// them, the viewers their copies of incoming messages.

// The folder for the viewers' copies, pages and workbooks, without a trailing separator: a
// folder of this user alone (0700), never the shared temporary folder itself. It is "varnel" in
// the per-user runtime folder (XDG_RUNTIME_DIR) where that folder is the user's alone and the
// name is a folder of the user's there; else a folder made fresh for this process in the
// system's temporary folder ("varnel-" and six characters), removed at exit when empty. Made
// on first use; empty when none can be made. A test may set another.
QString TemporaryFolder();
// Points TemporaryFolder() at another folder (tests); an empty folder restores the private one,
// looked for afresh.
void SetTemporaryFolder(const QString& folder);

// A folder of this user alone: a folder itself (not a link to one), owned by the user, with no
// permission for anyone else.
bool IsPrivateFolder(const QString& path);
// Makes the folder for this user alone (0700), or takes the one there when it is such a folder;
// false when what stands at path is anything else.
bool EnsurePrivateFolder(const QString& path);

// A unique name in folder: the first three characters of prefix, one to four upper-case
// hexadecimal digits and ".tmp". The file is created empty, exclusively and for the user alone
// (0600), never through a link, so the name is the caller's alone. When finalExtension is given
// (".xml"), that name with the extension in place of ".tmp" must be free as well, so a file of that
// name is never written over. Empty when the folder cannot be written.
QString CreateUniqueTempFile(const QString& folder, const QString& prefix,
                             const QString& finalExtension = QString());

// The file name's extension (from its last ".", never one in a folder name) replaced by
// extension (given with its "."), or the extension appended when the name has none.
QString RenamePathExtension(const QString& path, const QString& extension);

} // namespace varnel
