#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

#include <cstdint>

class QWidget;

namespace varnel {

// The text without the characters at either end for which isBlank is true; the text itself
// (no copy) when there are none.
template <class IsBlank> QString TrimWhere(const QString& text, IsBlank isBlank)
{
    qsizetype b = 0, e = text.size();
    while (b < e && isBlank(text.at(b)))
        ++b;
    while (e > b && isBlank(text.at(e - 1)))
        --e;
    return (b == 0 && e == text.size()) ? text : text.mid(b, e - b);
}

// The text without the blanks (spaces) at either end; tabs and other white space stay, as
// they do wherever the client trims a name, a path or a cell.
inline QString TrimSpaces(const QString& text)
{
    return TrimWhere(text, [](QChar c) { return c == u' '; });
}

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
// While one lives, SystemDecimalSeparator() on its thread answers what the locale said when it
// was made: a long step that reads a number in every row of a file asks the locale once, not
// once a number (asking takes a lock of the locale's every time).
class DecimalSeparatorHold {
public:
    DecimalSeparatorHold();
    ~DecimalSeparatorHold();
    DecimalSeparatorHold(const DecimalSeparatorHold&) = delete;
    DecimalSeparatorHold& operator=(const DecimalSeparatorHold&) = delete;

private:
    QString separator_;
    const QString* previous_;
};
// "." when the text has one, else "," when it has one, else the locale's separator.
QString DecimalSeparatorOf(const QString& number);

// The entity that stands for a character in an XML attribute value ("&amp;", "&lt;", "&gt;",
// "&apos;", "&quot;"), or null for a character written as it is. The one table of the escaping:
// the writers that escape in the same pass as they encode read it too.
constexpr const char* XmlAttributeEntity(char16_t c)
{
    switch (c) {
    case u'&': return "&amp;";
    case u'<': return "&lt;";
    case u'>': return "&gt;";
    case u'\'': return "&apos;";
    case u'"': return "&quot;";
    default: return nullptr;
    }
}
// True when the text holds a character that the attribute escaping replaces.
bool NeedsXmlEscaping(QStringView text);
// & < > ' " replaced by their entities, "&" first.
QString EscapeXmlAttribute(const QString& value);

// Text after the last "." of the path, blanks around it dropped; empty when none or when it is the
// last character.
QString GetFileExtension(const QString& path);

// A name inside a folder: folder + "/" + name, without doubling a separator the folder ends
// with; the name alone for an empty folder.
QString JoinPath(const QString& folder, const QString& name);

// The folder browser, through the dialog facade; empty when cancelled. It opens at the
// desktop (the home folder where there is no desktop folder).
QString BrowseForFolder(QWidget* owner, const QString& title);
// The same, opening at startFolder when that names an existing folder.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder);

} // namespace varnel
