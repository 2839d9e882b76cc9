#pragma once

#include "answers/Answers.h"
#include "core/SettingKeys.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace varnel {

// The six kinds of answer (answers/Answers.h) as the viewers recognise them. A message is
// single-byte text (every byte one character); recognition looks at an upper-cased copy, so
// the markers match in any letter case, and positions found there are positions in the text.
struct MessageKind {
    AnswerKind kind;
    QString name;             // "RECEIPTS": part of the viewer's placement record
    QByteArray marker;        // what the upper-cased text must contain
    bool byClosingTag;        // recognised by the last occurrence of a closing tag
    SettingKey stylesheet;    // the setting naming the kind's stylesheet
    QByteArray openingMarker; // the root element's opening, where the instruction goes
};

// In the order in which they are tried.
const QList<MessageKind>& MessageKinds();
// The kind of that name (exact), or nullptr.
const MessageKind* FindMessageKind(const QString& name);

// The text with the ASCII letters in upper case; every other byte stays.
QByteArray UpperCasedText(const QByteArray& text);

// The first kind in table order whose marker the upper-cased text contains; nullptr when none.
const MessageKind* RecognizeMessageKind(const QByteArray& upper);

// An incoming message made ready for its temporary copy: everything before the first "<?xml"
// dropped, the kind recognised, a subscription notice cut after its empty element and a
// revocation receipt after its closing tag (one character is kept after each). kind is
// nullptr when the text holds none of the six kinds; text is then the cut text.
struct PreparedMessage {
    const MessageKind* kind = nullptr;
    QByteArray text;
};
PreparedMessage PrepareIncomingMessage(const QByteArray& fileText);

// True when the upper-cased text already carries an XSL stylesheet instruction.
bool HasStylesheetInstruction(const QByteArray& upper);
// The same, looked for in the text itself (a whole market's handbook is not copied in capitals).
bool ContainsStylesheetInstruction(const QByteArray& text);
// Where upperNeedle (ASCII capitals) first stands in text at or after from, Latin letters in
// either case; -1 when nowhere. As UpperCasedText(text).indexOf(upperNeedle, from), without the
// copy.
qsizetype IndexOfIgnoringCase(const QByteArray& text, const QByteArray& upperNeedle,
                              qsizetype from = 0);

// The instruction that attaches a stylesheet, with its line end:
//   <?xml-stylesheet type="text/xsl" href="file:///.../deals.xsl"?> CR LF
// The path is written as a file URL (an absolute path; a relative one is taken from the current
// folder, as any file of that name would be) and escaped as an attribute value, so quotes,
// ampersands, angle brackets and letters outside ASCII in a path cannot break the message.
QByteArray StylesheetInstruction(const QString& stylesheetPath);

// Puts the instruction right in front of the first occurrence of marker (an upper-case
// opening tag) and leaves every other byte as it was. Nothing changes when the text already
// names a stylesheet, when the path is empty or when the marker is absent. True when inserted.
bool AttachStylesheet(QByteArray& text, const QByteArray& marker, const QString& stylesheetPath);
// Where AttachStylesheet puts the instruction, given the text upper-cased (a whole market's
// handbook is upper-cased once); -1 when it puts none.
qsizetype StylesheetPlace(const QByteArray& upper, const QByteArray& marker,
                          const QString& stylesheetPath);

// The stylesheet a setting value names: empty for none; a value beginning with ".\" or "./" is
// taken from the program folder, any other value as it stands.
QString ResolveStylesheetSetting(const QString& value);
// The kind's stylesheet from the settings file (section Path).
QString StylesheetOfKind(const MessageKind& kind);

// The folders whose files a stylesheet applied to a message from messageFolder may read: that
// folder and the folders of the stylesheets the settings name for the six kinds.
QStringList StylesheetReadableFolders(const QString& messageFolder);

// The messages of the two viewer commands.
QString WrongViewerExtensionText();
QString NoTemporaryFolderText();
QString NoTemporaryNameText();
QString NotAMessageText(const QString& path);
QString NotAHandbookText(const QString& path);

// True for the extensions the viewers open (XML, MSG, HTM, HTML, in any letter case).
bool IsViewerExtension(const QString& path);
// True for HTM and HTML.
bool IsHtmlExtension(const QString& path);

} // namespace varnel
