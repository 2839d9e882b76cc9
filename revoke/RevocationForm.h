#pragma once

#include "core/Outcome.h"
#include "revoke/RevocationModel.h"

#include <QString>

class QWidget;

namespace varnel {

// What the fields of a revocation dialog hold. The deal dialog has no direction, the repo
// dialog no reason.
struct RevocationFields {
    QString id;
    QString agreement;
    QString reference;
    QString direction;
    QString participant;
    QString reason;

    bool operator==(const RevocationFields&) const = default;
};

// The rules of a revocation dialog, free of widgets: what Add, Edit, a row click and Delete do
// with the fields and the list, and the sending of the list. A refused check raises the
// client's Error with the text the user is shown; trimming and the participant fill done
// before the refusal stay in the fields handed in.
class RevocationForm {
public:
    explicit RevocationForm(RevocationKind kind);
    RevocationForm(const RevocationForm&) = delete;
    RevocationForm& operator=(const RevocationForm&) = delete;

    RevocationKind kind() const { return list_.kind(); }
    bool isRepo() const { return kind() == RevocationKind::Repo; }
    RevocationModel& list() { return list_; }
    const RevocationModel& list() const { return list_; }
    // "RevokeDeals" or "RepoRevokeDeals".
    QString requestName() const;

    // The fields of a dialog just opened: the participant of the options, nothing else.
    static RevocationFields OpeningFields();

    // Appends a row made of the trimmed fields; the fields keep their texts.
    void Add(RevocationFields& fields);
    // Overwrites the row with the trimmed fields (the deal row keeps its reason). A row
    // outside the list (no selection) does nothing at all.
    void Edit(RevocationFields& fields, int row);
    // The fields as a click on the row fills them (the deal dialog leaves the reason alone).
    void FillFromRow(RevocationFields& fields, int row) const;
    // Removes the row; a row outside the list does nothing.
    void Delete(int row);

    // Hands the list to the send pipeline, which confirms, writes and reports every outcome
    // itself. The repo list goes with the reply type exactly as given. An empty list is
    // refused.
    void Send(const QString& replyType, QWidget* parent);

    // The same without a user (the command-line program): the list written and placed by the
    // send pipeline as Send places it, nothing asked or shown. An empty list fails with
    // EmptyListText(). target learns where the request was placed.
    Outcome Place(const QString& replyType, QString* target = nullptr);

    // The Id field check on leaving the field.
    static bool IsIdAccepted(const QString& text);

private:
    // Add and Edit steps 1 to 3: trim, fill the participant from the options, require one.
    void trimAndFillParticipant(RevocationFields& fields) const;
    QStringList cells(const RevocationFields& fields) const;

    RevocationModel list_;
};

// Message texts of the checks.
QString ParticipantMissingText();
QString KeyMissingText(RevocationKind kind);
QString DirectionInvalidText();
QString IdFormatText();
QString EmptyListText();

} // namespace varnel
