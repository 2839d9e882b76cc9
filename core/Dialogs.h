#pragma once

#include <QList>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace varnel {

// The one door through which every message box, file or folder dialog and modal dialog
// passes. The program installs the Qt provider of the UI library (InstallQtDialogs,
// ui/QtDialogs.h); tests install a ScriptedDialogs that answers from a queue and keeps every
// request it was shown. Nothing here needs the widgets: the windows are only passed through.

enum class DialogKind { Message, OpenFile, SaveFile, Folder, Modal };
enum class MessageIcon { None, Information, Question, Warning, Critical };
enum class MessageButtons { Ok, YesNo, YesNoCancel, OkCancel };
enum class Answer { Ok, Yes, No, Cancel };

struct DialogRequest {
    DialogKind kind = DialogKind::Message;
    // Message boxes
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    Answer defaultAnswer = Answer::Ok;
    // Shared: the caption (title) and the text (message, or the dialog's prompt); a message
    // box asked for without a caption shows the application title. For a modal dialog: its
    // window title and its object name.
    QString title;
    QString text;
    // File and folder dialogs
    QString directory; // starting folder or file
    QString filter;    // Qt name filter, "xml-files (*.xml);;all files (*)"
    // A save dialog's suffix without its dot ("xml"): a name typed without a suffix gets it.
    QString defaultSuffix;
};

struct DialogResult {
    Answer answer = Answer::Cancel;
    QString path; // chosen path of file and folder dialogs; empty when cancelled
};

class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    virtual DialogResult show(QWidget* parent, const DialogRequest& request) = 0;
    // Runs a modal dialog (options, about, pick lists, revocation dialogs) and returns its
    // result code (QDialog::Accepted or Rejected, or what the dialog's done() gave).
    virtual int runModal(QDialog& dialog) = 0;
};

// Replaces the provider for the whole process; returns the previous one. nullptr restores the
// application's provider. The caller keeps ownership.
DialogProvider* SetDialogProvider(DialogProvider* provider);
DialogProvider& CurrentDialogProvider();
// The provider the program shows its boxes and dialogs with when no other is set. Until one is
// installed a box is not shown: it is written to the log and answered as if closed without a
// choice (EscapeAnswer), and a modal dialog is rejected, so that nothing waits for a user who
// cannot see it.
void SetApplicationDialogProvider(DialogProvider* provider);

// The answer of a box closed without a choice (Escape or its close button): No for Yes/No,
// OK for a notice, Cancel for the others.
Answer EscapeAnswer(MessageButtons buttons);
// True when the box has a button for the answer.
bool OffersAnswer(MessageButtons buttons, Answer answer);
// The path with ".<suffix>" added when its file name has no suffix (no "."); a path that is
// empty or names a folder, or an empty suffix, leaves it as it is.
QString WithDefaultSuffix(const QString& path, const QString& suffix);

namespace Dialogs {

// Question with Yes and No (question icon); the answer is Yes or No.
Answer AskYesNo(QWidget* parent, const QString& text, const QString& title);
// Question with Yes, No and Cancel (question icon).
Answer AskYesNoCancel(QWidget* parent, const QString& text, const QString& title);
// Notice with OK; the icon is None or Information as the caller's text asks for.
void Notice(QWidget* parent, const QString& text, const QString& title,
            MessageIcon icon = MessageIcon::None);
// Failure box: critical icon, OK.
void Critical(QWidget* parent, const QString& text, const QString& title);
// Any other message box.
Answer Message(QWidget* parent, const QString& text, const QString& title, MessageIcon icon,
               MessageButtons buttons);

// File dialogs; each returns the chosen path, empty when cancelled. A filter's entry that
// shows every file has the pattern "*": "*.*" would hide the names without a dot here.
QString OpenFile(QWidget* parent, const QString& title, const QString& directory,
                 const QString& filter);
// A name chosen without a suffix (no "." in its file name) gets the default suffix. Where the
// dialog itself did not add it and a file of that name exists, the user is asked before it is
// replaced; No is a cancelled dialog.
QString SaveFile(QWidget* parent, const QString& title, const QString& directory,
                 const QString& filter, const QString& defaultSuffix = QString());
QString ChooseFolder(QWidget* parent, const QString& title, const QString& directory = {});

// Runs a modal dialog through the provider: the real one shows it, tests act on it.
int RunModal(QDialog& dialog);

} // namespace Dialogs

// Runs one command or event handler under its single failure trap: an Error (or any other
// exception) is shown in a critical box with the given caption and OK; an empty description
// shows nothing, and a failure of the box itself goes nowhere (the trap is the last resort).
// Returns true when the action finished without a failure.
bool RunTrapped(QWidget* parent, const QString& caption, const std::function<void()>& action);

} // namespace varnel
