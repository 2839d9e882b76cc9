#pragma once

#include <QDate>

namespace varnel {

// What one worksheet of a spreadsheet holds at most.
inline constexpr int kWorksheetRows = 1048576;
inline constexpr int kWorksheetColumns = 16384;
inline constexpr int kWorksheetCellChars = 32767; // characters of one cell

// Whether a workbook (the 1900 date system) holds the date as a day number: from 1 March 1900 on,
// since that system counts a 29 February 1900 that never was, and before the year 10000.
inline bool IsWorkbookDay(const QDate& date)
{
    return date.isValid() && date >= QDate(1900, 3, 1) && date.year() <= 9999;
}

// The day number of a date for which IsWorkbookDay holds, counted from 30 December 1899.
inline int WorkbookDayNumber(const QDate& date)
{
    return int(QDate(1899, 12, 30).daysTo(date));
}

} // namespace varnel
