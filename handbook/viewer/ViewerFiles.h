#pragma once

#include "handbook/viewer/IncomingMessage.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace varnel {

// Files the viewers make in the temporary folder, a folder of the user's alone
// (TemporaryFolder()). Each is reserved the way the system hands out temporary names: an empty
// "<hex>.tmp" created exclusively, and beside it the file that is used, "<hex>.XML" for a copy of a
// message or "<hex>.htm" for a page made from one. A window removes its files when it closes;
// RemoveStaleViewerFiles() removes what a crashed client left.
struct TemporaryFile {
    QString reserved; // the empty file that keeps the name
    QString path;     // the file written
    bool isNull() const { return path.isEmpty(); }
    QStringList files() const;
};

// A new name in the temporary folder with the given extension (".XML"). Raises the viewers'
// texts when the folder cannot be had or holds no new name.
TemporaryFile ReserveTemporaryFile(const QString& extension);
// Writes the file atomically (complete or not at all), as a new file of the user's alone that
// is never written through whatever stands at its name; raises with the system's reason.
void WriteTemporaryFile(const TemporaryFile& file, const QByteArray& bytes);
// Removes the files (missing ones are ignored).
void RemoveFiles(const QStringList& files);

// The viewers' limit for the files they show, named in their refusal: a whole market's handbook
// is a few tens of MB (the loader's limit for small files, layouts and definitions, is far
// below).
inline constexpr qint64 kViewerMaxFileBytes = 512LL * 1024 * 1024;

// The whole file; raises with the system's reason when it cannot be read, and refuses files
// beyond kViewerMaxFileBytes, naming the file and the limit.
QByteArray ReadViewerFile(const QString& path);

// The incoming message viewer's copy of a message: the file read byte for byte, cut and
// recognised, the kind's stylesheet attached, written to a new ".XML" file in the temporary
// folder. Raises the viewer's texts (no kind: NotAMessageText) or the system's reason.
struct MessageCopy {
    const MessageKind* kind = nullptr;
    TemporaryFile copy;
};
MessageCopy MakeMessageCopy(const QString& path);

// What the handbook viewer shows for a chosen file: the file itself (an HTM page, a handbook
// that names its own stylesheet, or any handbook while no stylesheet is set), or a copy with
// the handbook stylesheet attached. Raises NotAHandbookText and the temporary-file texts.
struct HandbookFile {
    QString shown;
    TemporaryFile copy; // null when the chosen file is shown
};
HandbookFile PrepareHandbookFile(const QString& path);

// Removes the viewers' files of a temporary folder that are older than the given time: the
// empty "<hex>.tmp" owned by this user together with its "<hex>.XML" and "<hex>.htm". Nothing
// else is touched. Returns the number of files removed.
int RemoveStaleViewerFiles(const QString& folder, const QDateTime& olderThan);
// The private folders that clients made fresh in sharedFolder ("varnel-" and six characters,
// this user's, unchanged since olderThan) and left behind when they ended without tidying up:
// their viewers' files are removed as above, and each folder that is then empty. Returns the
// number of folders removed.
int RemoveStaleViewerFolders(const QString& sharedFolder, const QDateTime& olderThan);
// Both, for files older than a day, in the temporary folder and the system's. Start-up calls it.
void RemoveStaleViewerFiles();

} // namespace varnel
