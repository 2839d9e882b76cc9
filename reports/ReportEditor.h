#pragma once

#include "core/Outcome.h"
#include "reports/DealChecks.h"
#include "reports/FieldRules.h"
#include "reports/ReportKind.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace varnel {

class ReportDocument;
class ReportModel;
struct ReportColumn;

// The editor panel as the report logic sees it: one text per editor slot.
class EditorPanel {
public:
    virtual ~EditorPanel() = default;
    virtual QString slotText(int slot) const = 0;
    virtual void setSlotText(int slot, const QString& text) = 0;
};

// What the report editor does between its panel and the document, free of widgets: filling the
// editors, showing a deal, the field check of a slot, adding and changing the deal of the
// editors (the default participant applied first, by the document, as the import applies it) and
// applying picks.
// The window binds the panel to its text boxes.
class ReportEditor {
public:
    ReportEditor(ReportDocument& document, EditorPanel& panel);

    ReportKind kind() const { return kind_; }
    ReportDocument& document() { return document_; }
    ReportModel& model() { return model_; }
    const ReportModel& model() const { return model_; }

    // Binds the slots to the grid's columns; call whenever the columns change.
    void bindColumns();
    // The column bound to an editor slot, or null for a hidden or unused slot.
    const ReportColumn* columnOfSlot(int slot) const;
    // The slot of the field name (exact case), or -1.
    int slotOfName(const QString& name) const;

    // GetFieldValue: the text of the editor bound to the field; empty without such a field.
    QString fieldValue(const QString& name) const;
    // SetFieldValue: the field is looked for among slots 1 to 10 only.
    void setFieldValue(const QString& name, const QString& text);
    // ApplyDefaultParticipant: an empty Participant editor gets Main/Participant.
    void applyDefaultParticipant();

    // The editors' values when the window opens, and after "очистить поля".
    void fillInitialValues(const QDate& today);
    void clearFields(const QDate& today);
    // ShowDeal: the editors get the cells of the row (0-based); nothing for -1.
    void showDeal(int row);

    // The field check of a slot; the slot holds the check's text afterwards.
    FieldCheck checkField(int slot, const QDate& today);

    // Add and change: the default participant, then the document's deal check and the rows.
    // Each is done when the rows took the deal, else failed with the failed rule's text; the
    // rows are untouched on failure.
    Outcome addDeal(int* addedRow = nullptr);
    Outcome changeDeal(int row);

    // A pick result for the field of a slot: line 1 into the field; a deal's Issue also puts
    // lines 4 and 5 into ISIN and RegNum. An empty result changes nothing.
    void applyPick(int slot, const QString& result);

    // GetPickLine: line n (1-based) of a pick result; the whole result for line 1 when it has
    // no line break.
    static QString pickLine(const QString& result, int n);

private:
    QStringList dealFromEditors() const;

    ReportKind kind_;
    ReportDocument& document_;
    ReportModel& model_;
    EditorPanel& panel_;
    QList<int> columnOfSlot_;
};

} // namespace varnel
