#include "reports/ReportExport.h"

#include "core/Error.h"
#include "core/Values.h"
#include "reports/FieldRules.h"
#include "reports/ReportModel.h"

namespace varnel {

ReportExportTable::ReportExportTable(const ReportModel& rows, ReportKind kind, TableFormat format,
                                     const TableWriteOptions& options)
    : rows_(rows), kind_(kind), format_(format), csvDecimal_(options.csvDecimal),
      today_(QDate::currentDate())
{
}

QStringList ReportExportTable::columnTitles() const
{
    QStringList titles;
    for (int c = 1; c < rows_.columnCount(); ++c)
        titles << rows_.column(c).title;
    return titles;
}

int ReportExportTable::rowCount() const
{
    return rows_.rows();
}

void ReportExportTable::rowCells(int row, QList<TableCell>& cells) const
{
    const QStringList* full = rows_.rowCells(row);
    for (int c = 1; c < rows_.columnCount(); ++c)
        cells.append(cellOf(c, full ? full->value(c) : rows_.cell(row, c)));
}

TableCell ReportExportTable::cellOf(int column, const QString& text) const
{
    if (text.isEmpty())
        return TableCell::empty();
    const ReportColumn& field = rows_.column(column);
    // What the file will hold comes back through the field check as the cell itself.
    const auto comesBack = [&](const QString& held) {
        const FieldCheck check = CheckFieldValue(field, held, kind_, today_);
        return check.passed() && check.text == text;
    };
    if (field.type == u"N") {
        if (format_ == TableFormat::Csv) {
            QString held = text;
            held.replace(u'.', csvDecimal_);
            if (comesBack(held))
                return TableCell::numberCell(text);
        } else if (const QString stored = WorkbookNumberText(text);
                   !stored.isEmpty() && comesBack(stored)) {
            return TableCell::numberCell(text);
        }
    } else if (field.type == u"D" && format_ == TableFormat::Workbook) {
        try {
            const QDate date = ParseDate(text);
            if (comesBack(date.toString(QStringLiteral("dd.MM.yyyy"))))
                return TableCell::dateCell(date);
        } catch (const Error&) {
        }
    }
    return TableCell::textCell(text);
}

} // namespace varnel
