#pragma once

#include "tables/SourceFile.h"
#include "tables/TableReader.h"

#include <memory>

namespace varnel::tables {

// The first worksheet (in the workbook's order) of an .xlsx workbook, a row at a time. The
// package is found through its relationships; the shared texts and the styles are read first,
// the sheet as it is needed:
// - shared and inline texts as their text, rich text runs joined (phonetic guides left out),
//   "_xHHHH_" escapes read as their character;
// - numbers as the cell stores them: its stored text, never its display format and never
//   through binary floating point, an exponent written out ("1E-4" is 0.0001);
// - numbers in a date format turned into dates dd.mm.yyyy, in the workbook's date system (1900,
//   with its day that never was, or 1904); formula cells as their stored result;
// - missing and empty cells empty, rows with no text passed over.
class XlsxReader : public TableReader {
public:
    XlsxReader(std::unique_ptr<SourceFile> file, const TableLimits& limits);
    ~XlsxReader() override;

    bool next(TableRecord& record) override;
    qint64 done() const override;
    qint64 total() const override;
    QString description() const override;

    // Whether the workbook counts days from 1904.
    bool dates1904() const;

    struct Impl;

private:
    std::unique_ptr<SourceFile> file_;
    std::unique_ptr<Impl> impl_;
};

// The date of a day number in a workbook's date system, as dd.mm.yyyy; empty when the number
// names no day (negative, beyond 9999, or not a number). Day 60 of the 1900 system is the
// 29 February 1900 that system counts and no calendar has: it comes back as "29.02.1900".
QString WorkbookDateText(const QString& stored, bool dates1904);

// Whether a number format shows a date: one of the built-in date formats, or a format code with
// day or year placeholders outside quoted text, escapes and brackets.
bool IsDateFormat(int formatId, const QString& formatCode);

} // namespace varnel::tables
