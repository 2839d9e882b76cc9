#pragma once

#include "core/Worksheet.h"

#include <QString>

namespace varnel {

// What a table file read from a user's hands may cost at most. A file beyond a bound is
// refused as soon as the bound is passed, so that time and memory stay in proportion to what a
// real table of deals needs.
struct TableLimits {
    qint64 fileBytes = 256LL * 1024 * 1024;  // the file itself
    int records = kWorksheetRows;            // rows of a spreadsheet, the title row included
    int columns = kWorksheetColumns;         // cells of a row (a spreadsheet's columns)
    int cellChars = kWorksheetCellChars;     // characters of a cell (a spreadsheet's cell)
    qint64 recordChars = 1024 * 1024;        // characters of a whole row
    qint64 partBytes = 512LL * 1024 * 1024;  // a workbook part, unpacked
    qint64 sharedChars = 64LL * 1024 * 1024; // a workbook's shared texts together
    int sharedStrings = 4 * 1024 * 1024;     // and their number
    int parts = 10000;                       // parts of a workbook's package
    // A part that unpacks to more than partRatioFrom bytes may be at most partRatio times its
    // packed size: a real sheet packs about ten to one, a zip bomb a thousand to one.
    qint64 partRatioFrom = 16LL * 1024 * 1024;
    int partRatio = 200;
};

// "Не удалось прочитать файл <path>:" CR LF and the reason: the text of every refusal.
QString TableReadErrorText(const QString& path, const QString& reason);

} // namespace varnel
