#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace varnel {

struct XmlElement;

// One column of a pick list.
struct PickColumn {
    enum class Align { Left, Right, Center };

    QString name;  // handbook attribute shown in the column (empty for a fixed list)
    QString title; // header text
    int widthTwips = 1000;
    Align align = Align::Left;

    // The column's record: "name=" + attribute name + ";".
    QString descriptor() const { return QStringLiteral("name=") + name + u';'; }
};

// Width of a column whose definition gives none, or none that is a number.
inline constexpr int kDefaultPickColumnTwips = 1000;

// The column an element of a definition file describes; false when Visible is "0".
bool PickColumnOf(const XmlElement& element, PickColumn& column);

// The shown columns of a pick definition file, in order. Raises the loading rule's errors
// ("Файл <name> не найден", "Ошибка загрузки файла ...").
QList<PickColumn> ReadPickDefinition(const QString& path);

// The file a handbook pick tag names: a tag without "\" or "/" lies in the program folder.
QString PickDefinitionPath(const QString& tag);

// Whether a pick tag reads the current handbook: it contains "ISSUELIST" or "ISSUE_LIST", letter
// case aside.
bool PickTagReadsHandbook(const QString& tag);

// A cell text as the list shows it: longer than 259 characters, its first 256 and "...".
QString ShortenedCell(const QString& text);

// The rows of a fixed list tag: rows separated by "|", columns by Tab. The first row fixes the
// number of columns; a later row fills at most that many, a shorter one leaves the rest empty.
struct FixedList {
    int columnCount = 0;
    QList<QStringList> rows; // each exactly columnCount cells
};
FixedList ParseFixedList(const QString& tag);

// The result of a pick: the cells of the chosen row, each without CR LF, joined with CR LF.
QString PickResultText(const QStringList& cells);

} // namespace varnel
