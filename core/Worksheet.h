#pragma once

#include <QDate>

namespace varnel {

// What one worksheet of a spreadsheet holds at most.
inline constexpr int kWorksheetRows = 1048576;
inline constexpr int kWorksheetColumns = 16384;
inline constexpr int kWorksheetCellChars = 32767; // characters of one cell

// The day number of a date in a workbook (the 1900 date system), counted from 30 December 1899:
// right from 1 March 1900 on, the system counting a 29 February 1900 that never was.
inline int WorkbookDayNumber(const QDate& date)
{
    return int(QDate(1899, 12, 30).daysTo(date));
}

} // namespace varnel
