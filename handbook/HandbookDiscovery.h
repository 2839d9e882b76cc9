#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class QWidget;

namespace varnel {

// Finding the newest securities handbook in the receive folder and making a copy of it in the
// work folder the current handbook (command "Найти справочник ЦБ").

// One entry of the receive folder that matches "*.msg" (letter case aside).
struct ListedMessage {
    QString name;      // file name without the folder
    QDateTime created; // creation time (the last modification where the file system keeps none)
};

// Lists the files of a folder that match "*.msg", in name order (letter case aside). Folders
// and special files are not listed. Raises Error 514 "Ошибка при поиске следующего файла" when
// the folder cannot be read to its end.
using MessageLister = std::function<QList<ListedMessage>(const QString& folder)>;
QList<ListedMessage> ListMessageFiles(const QString& folder);

struct HandbookFindContext {
    // Owner of the question and the notices.
    QWidget* parent = nullptr;
    // A file time in the general date-time format of the status bar.
    std::function<QString(const QDateTime&)> dateTimeText;
    // Called once a handbook has been made current (the settings already name it), so that
    // the main window shows it in status panel 1.
    std::function<void()> currentHandbookChanged;
    // The folder listing; empty means ListMessageFiles (tests put a failing one here).
    MessageLister lister;
};

// Runs the command. Every stop (missing folders, no files, a file that cannot be read, a copy
// that fails) raises Error 514 with the text the user is shown, and the settings stay as they
// were. The two notices (no handbook among the files, none newer than the current one) and the
// question are shown here. True when a handbook was made current.
bool FindHandbook(const HandbookFindContext& context);
// The same under the command's trap: a failure is shown in a critical box captioned with the
// application title.
void RunFindHandbook(const HandbookFindContext& context);

// A folder setting (FolderReceive, FolderWork) as the command resolves it: "." and ".\" are the
// program folder, a leading ".\" is relative to it, anything else stays; no separator appended.
// An empty value stays empty.
QString ResolveHandbookFolder(const QString& value);

// The time as the handbook's time stamp: local time as the number yyyymmddhhnnss.
double HandbookTimeStamp(const QDateTime& time);
// Its plain decimal text: 14 digits, no separators, no exponent.
QString HandbookTimeStampText(double stamp);
// The stored time stamp of the current handbook; 0 unless the text is a number.
double ParseHandbookTimeStamp(const QString& text);

// Copies a file through the atomic-save helper: the target keeps its old contents until the
// copy is complete. The copy takes the source's modification time. Raises Error 514 on any
// failure, naming the file.
void CopyFileAtomically(const QString& source, const QString& target);

} // namespace varnel
