#include "reports/ReportEditor.h"

#include "reports/ReportDocument.h"
#include "reports/ReportModel.h"

namespace varnel {
namespace {

// The slots SetFieldValue looks at.
constexpr int kFirstSetSlot = 1;
constexpr int kLastSetSlot = 10;

QString compactPickLine(QString line)
{
    line.remove(u'\n');
    line.remove(u'\f');
    line.remove(u' ');
    return line;
}

} // namespace

ReportEditor::ReportEditor(ReportDocument& document, EditorPanel& panel)
    : kind_(document.kind()), document_(document), model_(document.rows()), panel_(panel)
{
    bindColumns();
}

void ReportEditor::bindColumns()
{
    columnOfSlot_ = QList<int>(TraitsOf(kind_).slotCount, -1);
    for (int c = 1; c < model_.columnCount(); ++c) {
        const int slot = model_.column(c).slot;
        if (slot >= 0 && slot < columnOfSlot_.size())
            columnOfSlot_[slot] = c;
    }
}

const ReportColumn* ReportEditor::columnOfSlot(int slot) const
{
    const int c = columnOfSlot_.value(slot, -1);
    return c < 0 ? nullptr : &model_.column(c);
}

int ReportEditor::slotOfName(const QString& name) const
{
    const int c = model_.columnOfName(name);
    return c < 0 ? -1 : model_.column(c).slot;
}

QString ReportEditor::fieldValue(const QString& name) const
{
    const int slot = slotOfName(name);
    return slot < 0 ? QString() : panel_.slotText(slot);
}

void ReportEditor::setFieldValue(const QString& name, const QString& text)
{
    for (int slot = kFirstSetSlot; slot <= kLastSetSlot; ++slot) {
        const ReportColumn* c = columnOfSlot(slot);
        if (c && c->name == name) {
            panel_.setSlotText(slot, text);
            return;
        }
    }
}

void ReportEditor::applyDefaultParticipant()
{
    const int slot = slotOfName(QStringLiteral("Participant"));
    if (slot < 0)
        return;
    const QString text = panel_.slotText(slot);
    if (const QString filled = document_.participantOrDefault(text); filled != text)
        panel_.setSlotText(slot, filled);
}

void ReportEditor::fillInitialValues(const QDate& today)
{
    for (int slot = 0; slot < columnOfSlot_.size(); ++slot) {
        if (const ReportColumn* c = columnOfSlot(slot))
            panel_.setSlotText(slot, InitialEditorValue(*c, kind_, today));
    }
}

void ReportEditor::clearFields(const QDate& today)
{
    for (int slot = 0; slot < columnOfSlot_.size(); ++slot) {
        if (const ReportColumn* c = columnOfSlot(slot))
            panel_.setSlotText(slot, ClearedEditorValue(*c, today));
    }
    applyDefaultParticipant();
}

void ReportEditor::showDeal(int row)
{
    if (row < 0 || row >= model_.rows())
        return;
    const QStringList* cells = model_.rowCells(row);
    for (int c = 1; c < model_.columnCount(); ++c) {
        const ReportColumn& column = model_.column(c);
        if (column.slot >= 0)
            panel_.setSlotText(column.slot, EditorTextOfCell(column, cells->value(c)));
    }
    applyDefaultParticipant();
}

FieldCheck ReportEditor::checkField(int slot, const QDate& today)
{
    const FieldCheck check =
        document_.checkField(columnOfSlot_.value(slot, -1), panel_.slotText(slot), today);
    if (check.text != panel_.slotText(slot))
        panel_.setSlotText(slot, check.text);
    return check;
}

QStringList ReportEditor::dealFromEditors() const
{
    QStringList fields;
    fields.reserve(model_.columnCount());
    for (int c = 1; c < model_.columnCount(); ++c) {
        const int slot = model_.column(c).slot;
        fields.append(slot >= 0 ? panel_.slotText(slot) : QString());
    }
    return fields;
}

Outcome ReportEditor::addDeal(int* addedRow)
{
    applyDefaultParticipant();
    return document_.addDeal(dealFromEditors(), addedRow);
}

Outcome ReportEditor::changeDeal(int row)
{
    applyDefaultParticipant();
    return document_.changeDeal(row, dealFromEditors());
}

QString ReportEditor::pickLine(const QString& result, int n)
{
    if (n == 1 && !result.contains(QStringLiteral("\r\n")))
        return result;
    return result.split(QStringLiteral("\r\n")).value(n - 1);
}

void ReportEditor::applyPick(int slot, const QString& result)
{
    const ReportColumn* c = columnOfSlot(slot);
    if (result.isEmpty() || !c)
        return;
    panel_.setSlotText(slot, pickLine(result, 1));
    if (kind_ == ReportKind::Deals && c->name == u"Issue") {
        setFieldValue(QStringLiteral("ISIN"), compactPickLine(pickLine(result, 4)));
        setFieldValue(QStringLiteral("RegNum"), compactPickLine(pickLine(result, 5)));
    }
}

} // namespace varnel
