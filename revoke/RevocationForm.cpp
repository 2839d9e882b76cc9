#include "revoke/RevocationForm.h"

#include "core/Error.h"
#include "core/SettingKeys.h"
#include "core/Values.h"
#include "messages/RequestKinds.h"
#include "messages/SendPipeline.h"

namespace varnel {
namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

QString ParticipantMissingText()
{
    return QStringLiteral(
        "Запрос на удаление сделки без указанного кода участника не может быть отправлен");
}

QString KeyMissingText(RevocationKind kind)
{
    return kind == RevocationKind::Repo
               ? QStringLiteral("Запрос на удаление сделки должен содержать значение хотя бы "
                                "одного из полей Id, Agreement, Reference, Direction")
               : QStringLiteral("Запрос на удаление сделки должен содержать значение хотя бы "
                                "одного из полей Id, Agreement, Reference");
}

QString DirectionInvalidText()
{
    return QStringLiteral("Значение поля Часть сделки РЕПО должно быть I'nitial или S'econdary");
}

QString IdFormatText()
{
    return QStringLiteral("Формат поля ID должен быть целочисленным");
}

QString EmptyListText()
{
    return QStringLiteral("Список сделок для удаления пуст !");
}

RevocationForm::RevocationForm(RevocationKind kind) : list_(kind) {}

QString RevocationForm::requestName() const
{
    return RequestName(RevocationRequest(isRepo()));
}

RevocationFields RevocationForm::OpeningFields()
{
    RevocationFields f;
    f.participant = DefaultParticipant();
    return f;
}

void RevocationForm::trimAndFillParticipant(RevocationFields& f) const
{
    f.id = TrimSpaces(f.id);
    f.agreement = TrimSpaces(f.agreement);
    f.reference = TrimSpaces(f.reference);
    if (isRepo())
        f.direction = TrimSpaces(f.direction);
    f.participant = TrimSpaces(f.participant);
    if (f.participant.isEmpty())
        f.participant = TrimSpaces(DefaultParticipant());
    if (f.participant.isEmpty())
        Fail(ParticipantMissingText());
}

QStringList RevocationForm::cells(const RevocationFields& f) const
{
    if (isRepo())
        return {f.id, f.agreement, f.reference, f.direction, f.participant};
    return {f.id, f.agreement, f.reference, f.participant, f.reason};
}

void RevocationForm::Add(RevocationFields& f)
{
    trimAndFillParticipant(f);
    if (f.id.isEmpty() && f.agreement.isEmpty() && f.reference.isEmpty())
        Fail(KeyMissingText(RevocationKind::Deal));
    if (isRepo() && f.direction != u"I" && f.direction != u"S")
        Fail(DirectionInvalidText());
    list_.appendRow(cells(f));
}

void RevocationForm::Edit(RevocationFields& f, int row)
{
    if (row < 0 || row >= list_.rowCount())
        return;
    trimAndFillParticipant(f);
    // The repo part may be named by its direction alone here; its value is not checked.
    if (f.id.isEmpty() && f.agreement.isEmpty() && f.reference.isEmpty() &&
        (!isRepo() || f.direction.isEmpty()))
        Fail(KeyMissingText(kind()));
    QStringList c = cells(f);
    if (!isRepo())
        c.removeLast(); // the reason stays the one the row was added with
    list_.replaceCells(row, c);
}

void RevocationForm::FillFromRow(RevocationFields& f, int row) const
{
    if (row < 0 || row >= list_.rowCount())
        return;
    const QStringList r = list_.row(row);
    f.id = r.at(0);
    f.agreement = r.at(1);
    f.reference = r.at(2);
    if (isRepo()) {
        f.direction = r.at(3);
        f.participant = r.at(4);
    } else {
        f.participant = r.at(3);
    }
}

void RevocationForm::Delete(int row)
{
    list_.removeRows(row, 1);
}

void RevocationForm::Send(const QString& replyType, QWidget* parent)
{
    if (list_.rowCount() == 0)
        Fail(EmptyListText());
    if (isRepo())
        list_.setReplyType(replyType);
    RequestData data;
    data.revocation = &list_;
    SendRequest(requestName(), data, parent);
}

Outcome RevocationForm::Place(const QString& replyType, QString* target)
{
    if (list_.rowCount() == 0)
        return Outcome::Failed(EmptyListText());
    if (isRepo())
        list_.setReplyType(replyType);
    RequestData data;
    data.revocation = &list_;
    return PlaceRequest(requestName(), data, target);
}

// The Id is the registry's deal number from its receipt, and it is sent as typed. An empty
// field passes; any other text passes when, with the blanks at either end dropped, it is an
// optional "+" or "-" followed by the digits 0 to 9 only (blanks alone are no number). Every other
// form that a general number test might take for a number is refused: an exponent (1e5), a
// hexadecimal or octal prefix (&H1F, &O17, 0x1F), a currency sign, a thousands separator, a
// fraction, parentheses or a trailing sign for a negative number, a blank between the sign and the
// digits, tabs and other white space, and digits of other scripts. Each of these would name another
// deal, or none, in the request.
bool RevocationForm::IsIdAccepted(const QString& text)
{
    if (text.isEmpty())
        return true;
    QStringView v = QStringView(text);
    while (!v.isEmpty() && v.front() == u' ')
        v = v.mid(1);
    while (!v.isEmpty() && v.back() == u' ')
        v.chop(1);
    if (!v.isEmpty() && (v.front() == u'+' || v.front() == u'-'))
        v = v.mid(1);
    if (v.isEmpty())
        return false;
    for (QChar c : v) {
        if (!isAsciiDigit(c))
            return false;
    }
    return true;
}

} // namespace varnel
