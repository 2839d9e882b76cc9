#pragma once

#include "answers/IncomingMessage.h"

#include <QByteArray>
#include <QDateTime>
#include <QPair>
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
// is never written through whatever stands at its name. Raises TemporaryCopyFailureText about
// chosen, the file the copy is made of (the temporary file itself when none is given).
void WriteTemporaryFile(const TemporaryFile& file, const QByteArray& bytes,
                        const QString& chosen = QString());
// Removes the files (missing ones are ignored).
void RemoveFiles(const QStringList& files);

// The viewers' limit for the files they show, named in their refusal: a whole market's handbook
// is a few tens of MB (the loader's limit for small files, layouts and definitions, is far
// below).
inline constexpr qint64 kViewerMaxFileBytes = 512LL * 1024 * 1024;

// The whole file; raises with the system's reason when it cannot be read, and refuses files
// beyond kViewerMaxFileBytes, naming the file and the limit.
QByteArray ReadViewerFile(const QString& path);

// Where a viewer's copy comes from, so that what is found in the copy is told about the file
// the user chose: the copy lacks what stood before the XML declaration, and has the stylesheet
// instruction as a line of its own in front of the root element.
struct CopyOrigin {
    QString chosen;         // the file the user chose
    QString copy;           // its copy
    int droppedLines = 0;   // line breaks in what was dropped before the declaration
    int droppedColumns = 0; // characters of what was dropped after its last line break
    int insertedLine = 0;   // line of the copy that holds the instruction; 0: none inserted
    int insertedColumn = 0; // characters in front of the instruction on that line

    // A line and column of the copy as line and column of the chosen file.
    QPair<int, int> chosenPosition(int line, int column) const;
    // A text about the copy (a loading failure with its "Строка: ..., поз: ...", a notice) as
    // a text about the chosen file; other texts as they are.
    QString describe(const QString& text) const;
};

// "Не удалось записать временную копию файла <chosen>:" CR LF and the reason.
QString TemporaryCopyFailureText(const QString& chosen, const QString& reason);

// The incoming message viewer's copy of a message: the file read byte for byte, cut and
// recognised, the kind's stylesheet attached, written to a new ".XML" file in the temporary
// folder. Raises the viewer's texts (no kind: NotAMessageText) or the system's reason.
struct MessageCopy {
    const MessageKind* kind = nullptr;
    TemporaryFile copy;
    CopyOrigin origin;
};
MessageCopy MakeMessageCopy(const QString& path);

// What the handbook viewer shows for a chosen file: the file itself (an HTM page, a handbook
// that names its own stylesheet, or any handbook while no stylesheet is set), or a copy with
// the handbook stylesheet attached. Raises NotAHandbookText and the temporary-file texts.
struct HandbookFile {
    QString shown;
    TemporaryFile copy; // null when the chosen file is shown
    CopyOrigin origin;  // chosen only, when the chosen file is shown
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
