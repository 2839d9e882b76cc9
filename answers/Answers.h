#pragma once

#include "core/SettingKeys.h"
#include "core/XmlLoad.h"

#include <QList>
#include <QString>

namespace varnel {

// The largest answer the journal and the reconciliation read (a receipt of a million deals is about
// 250 MB); a bigger file is kept as an answer that could not be read.
inline constexpr qint64 kMaxAnswerBytes = 256 * 1024 * 1024;

// The answers of the registry by their document element, as docs/incoming-messages.md gives
// them.
enum class AnswerKind {
    None, // not an answer of the registry
    Receipts,
    RepoReceipts,
    RevokeReceipts,
    RepoRevokeReceipts,
    SubscribeResult,
    IssueList
};

// One kind of answer: its document element as the registry writes it, what the journal's list
// calls it, the setting naming the stylesheet the viewer shows it with, and whether the viewer
// recognises it by the last occurrence of its closing tag (a revocation receipt) rather than by
// its opening.
struct AnswerKindRow {
    AnswerKind kind;
    QString root;
    QString title;
    SettingKey stylesheet;
    bool byClosingTag;
};
// The six kinds, in the order in which the viewer tries them on a message.
const QList<AnswerKindRow>& AnswerKindTable();
// The row of a kind; nullptr for None.
const AnswerKindRow* AnswerKindRowOf(AnswerKind kind);

// The kind of a document element, its name compared without letter case.
AnswerKind AnswerKindOf(const QString& rootName);
// "Receipts", ...; empty for None.
QString AnswerKindName(AnswerKind kind);
// What the journal's list calls an answer that matches no request.
QString AnswerKindTitle(AnswerKind kind);
// True for the four kinds of receipt, which answer deal by deal.
bool HasRows(AnswerKind kind);
// True when an answer of the kind can answer a request of that name: its receipt, its notice
// or its handbook; a request refused as a whole is answered in a receipt of any kind.
bool Answers(AnswerKind kind, bool refusal, const QString& requestName);

// The document element of an answer.
struct AnswerHead {
    AnswerKind kind = AnswerKind::None;
    QString root;    // the element's name as written
    QString request; // the request's file name it answers
    QString created; // when the registry made it
    QString status;  // a notice's Accepted or Rejected
    QString code;    // the request refused as a whole, or a notice's code
    QString text;
    int total = -1; // -1: not given
    int accepted = -1;
    int rejected = -1;

    // A receipt that refuses the whole request: a code and no rows.
    bool refusal() const { return HasRows(kind) && !code.isEmpty(); }
};

// One row of a receipt.
struct AnswerRow {
    int n = 0; // the row of the request it answers
    QString id;
    QString agreement;
    QString reference;
    QString direction;
    QString status; // Accepted or Rejected
    QString code;
    QString text;

    bool accepted() const { return status.compare(u"Accepted", Qt::CaseInsensitive) == 0; }
};

// An answer from the receive folder, read as the hostile file it may be: through the streaming
// reader, a regular file only (no link followed, no device or pipe opened), at most
// kMaxAnswerBytes, no DTD, the attribute bound, and a transport's envelope dropped. Raises the
// loading rule's Error; the rows of a handbook are never read.
class AnswerReader {
public:
    explicit AnswerReader(const QString& path);
    const AnswerHead& head() const { return head_; }
    // The next receipt row; false at the end, and at once for an answer without rows.
    bool next(AnswerRow& row);

private:
    XmlChildReader reader_;
    AnswerHead head_;
    XmlElement element_;
    int rows_ = 0;
};

} // namespace varnel
