#pragma once

#include <QDate>
#include <QString>

#include <cstdint>

class QWidget;

namespace varnel {

// The text without the blanks (spaces) at either end; tabs and other white space stay, as
// they do wherever the client trims a name, a path or a cell.
QString TrimSpaces(const QString& text);

// Value of key (including its "=") in a column descriptor; empty when absent.
QString GetTagValue(const QString& descriptor, const QString& key);

// dd.mm.yyyy (or with "/"), two-digit and three-digit years counted from 2000.
// Raises Error 514 with message C10, or an overflow error for a part beyond 16 bits.
QDate ParseDate(const QString& text);
bool IsLeapYear(std::int16_t year);
QString FormatIsoDate(const QDate& date);
QString IsoToDisplayDate(const QString& iso);

// "." or "," as the user's locale writes decimals.
QString SystemDecimalSeparator();
// "." when the text has one, else "," when it has one, else the locale's separator.
QString DecimalSeparatorOf(const QString& number);

// & < > ' " replaced by their entities, "&" first.
QString EscapeXmlAttribute(const QString& value);

// Text after the last "." of the path, blanks around it dropped; empty when none or when it is the
// last character.
QString GetFileExtension(const QString& path);

// The folder browser, through the dialog facade; empty when cancelled.
QString BrowseForFolder(QWidget* owner, const QString& title);

} // namespace varnel
