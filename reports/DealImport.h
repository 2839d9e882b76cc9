#pragma once

#include "core/Outcome.h"
#include "reports/DealChecks.h"
#include "reports/FieldFormat.h"
#include "reports/FieldRules.h"
#include "tables/TableReader.h"
#include "tables/TableWriter.h"

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace varnel {

class ReportDocument;
class ReportModel;

// Deals brought in from a table file: which column of the file goes to which field, and the
// rows put through every check a typed deal goes through. Free of widgets; the report window
// (ReportEditorImport.cpp) shows the dialogs and runs the reading beside the windows.

// Where the columns of a file go: for each column of the file (its title in row 1), the report
// column it fills (1 onwards), or 0 when it is not loaded.
struct ImportMapping {
    QStringList titles;
    QList<int> columns;

    // The report columns of the layout's shown fields that no file column fills.
    QList<int> unfilled(const ReportModel& rows) const;
    // The report columns more than one file column fills.
    QList<int> doubled() const;
    // The report columns no row of the file could pass without: fields the deal check requires
    // that no column fills and whose untouched value (UntouchedFields) fails that check.
    QList<int> lacking(const ReportDocument& document, const QList<FieldCheck>& untouched) const;
};

// The cells (column 1 onwards) of a deal whose fields no column of the file fills, as a deal
// typed without touching them gets them: the value each editor opens with, put through the
// check of leaving the field, and the default participant the add puts in an empty
// Participant. A check that fails keeps its failure: a row then cannot pass.
QList<FieldCheck> UntouchedFields(const ReportDocument& document, const QDate& today);

// A title as the mapping compares it: letter case and every blank ignored.
QString ImportTitleKey(const QString& title);

// The mapping by the titles alone: a column goes to the field whose title (as the grid shows
// it) or name equals its title; a column with an empty title is not loaded. complete is false
// when the user has to choose: a titled column that matches nothing, two columns that match one
// field (the second is left out of the proposal), or a field the deal check requires that no
// column fills and that has no default to pass with (ImportMapping::lacking). Fields left to
// their defaults do not make the user choose.
struct MappingProposal {
    ImportMapping mapping;
    bool complete = false;
};
MappingProposal ProposeMapping(const ReportDocument& document, const QStringList& titles,
                               const QDate& today);

// A column placed by the user's word rather than by its title: the file's column of that title
// goes to the field of that title or name (both compared as ImportTitleKey); an empty field
// leaves the column out.
struct MappingChoice {
    QString title;
    QString field;
};
// The mapping a user settles without a dialog (the command-line program's --map): the one
// remembered for these titles, else the one by the titles, with the choices on top. Failed with
// the text to show when a choice names no column or no field, when a titled column is left
// where neither its title nor a choice placed it, when two columns fill one field, or when a
// field the deal check requires is filled by none (ImportMapping::lacking).
Outcome ChooseMapping(const ReportDocument& document, const QStringList& titles,
                      const QList<MappingChoice>& choices, const QDate& today,
                      ImportMapping& mapping);

// The mapping the user chose for files of these titles into reports of this layout, kept in the
// per-user store; nothing when none was kept, or when the layout no longer has its fields.
std::optional<ImportMapping> RememberedMapping(const ReportDocument& document,
                                               const QStringList& titles);
void RememberMapping(const ReportDocument& document, const ImportMapping& mapping);

// A row refused, one line for each check that failed: the row's number in the file (the title
// row being 1; in a workbook the row's number on its sheet), the field's title as the grid shows
// it, the value as the file holds it and the check's message.
struct RefusedRow {
    int row = 0;
    QString field;
    QString value;
    QString message;
};

// The refused rows as a table for the result list, the clipboard and a CSV file: "Строка",
// "Поле", "Значение", "Ошибка".
class RefusedRowsTable : public TableSource {
public:
    explicit RefusedRowsTable(const QList<RefusedRow>& rows) : rows_(rows) {}
    QStringList columnTitles() const override;
    int rowCount() const override { return int(rows_.size()); }
    void rowCells(int row, QList<TableCell>& cells) const override;

private:
    const QList<RefusedRow>& rows_;
};

// The refused rows the list keeps: those of a file of a million bad rows would take gigabytes.
inline constexpr int kRefusedListRows = 10000;

// The note beside a list that could not keep every refused row ("показаны первые 10000 из N");
// empty when it kept them all.
QString RefusedListNote(int refusedRows);

// Puts rows of a file through what a typed deal goes through, one after another, before any is
// added: each value (its line breaks made blanks) through the field check of its field as
// leaving the field after typing it would run (fields no column fills as UntouchedFields), the
// default participant as Add applies it, then the deal check with its duplicate rules against
// the report's rows and the rows that passed before. The document is only read: the caller
// appends what passed (ReportDocument::appendDeals), on the thread the document lives in.
class DealImport {
public:
    // The default participant and the locale's number settings are read once, here.
    DealImport(const ReportDocument& document, ImportMapping mapping, const QDate& today);

    void check(const TableRecord& record);

    // The deals that passed, as field cells (column 1 onwards), in the file's order.
    // A check that only asks what is refused keeps none of the deals that passed; the duplicate
    // rules still see them.
    void keepDeals(bool keep) { keepDeals_ = keep; }
    // Rows read that passed, kept or not.
    int passedRecords() const { return records_ - refusedRecords_; }
    const QList<QStringList>& deals() const { return deals_; }
    QList<QStringList> takeDeals() { return std::move(deals_); }
    // The number of each deal's row in the file (as TableRecord::number), in the same order.
    const QList<int>& dealRows() const { return dealRows_; }
    // The lines of the first kRefusedListRows refused rows.
    const QList<RefusedRow>& refused() const { return refused_; }
    // Rows read (the title row not counted), and rows refused, all of them.
    int records() const { return records_; }
    int refusedRecords() const { return refusedRecords_; }

private:
    const ReportDocument& document_;
    const ReportModel& rows_;
    ImportMapping mapping_;
    // The columns loaded: (column of the file, field), in the file's order.
    QList<QPair<int, int>> loaded_;
    // For each field (1 onwards), the column of the file that fills it, or -1.
    QList<int> fileColumnOf_;
    QDate today_;
    QList<FieldCheck> untouched_;
    QString participant_;
    NumberReading numbers_;
    CheckedDeals keys_;
    bool keepDeals_ = true;
    QList<QStringList> deals_;
    QList<int> dealRows_;
    QList<RefusedRow> refused_;
    int records_ = 0;
    int refusedRecords_ = 0;
};

// "Загружено n из m, отклонено k".
QString ImportStatusText(int loaded, int read, int refused);

} // namespace varnel
