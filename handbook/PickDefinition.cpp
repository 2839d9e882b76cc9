#include "handbook/PickDefinition.h"

#include "core/AppContext.h"
#include "core/Values.h"
#include "core/XmlLoad.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace varnel {
namespace {

// Wider than any screen; keeps a careless definition from overflowing the header.
constexpr double kMaxColumnTwips = 1000000;

int WidthOf(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(TrimSpaces(text), &ok);
    if (!ok || !std::isfinite(value) || value < 0)
        return kDefaultPickColumnTwips;
    return int(std::lround(std::min(value, kMaxColumnTwips)));
}

} // namespace

bool PickColumnOf(const XmlElement& element, PickColumn& column)
{
    if (TrimSpaces(element.attribute(QStringLiteral("Visible"))) == u"0")
        return false;
    column = PickColumn();
    column.name = element.attribute(QStringLiteral("Name"));
    column.title = element.attribute(QStringLiteral("Title"));
    if (element.hasAttribute(QStringLiteral("Width")))
        column.widthTwips = WidthOf(element.attribute(QStringLiteral("Width")));
    if (element.hasAttribute(QStringLiteral("Align"))) {
        const QString align = TrimSpaces(element.attribute(QStringLiteral("Align"))).toUpper();
        column.align = align == u"L"   ? PickColumn::Align::Left
                       : align == u"R" ? PickColumn::Align::Right
                                       : PickColumn::Align::Center;
    }
    return true;
}

QList<PickColumn> ReadPickDefinition(const QString& path)
{
    const XmlDocument document = XmlDocument::Load(path);
    QList<PickColumn> columns;
    // Comments and other non-element children describe no column.
    for (_xmlNode* child : XmlChildElements(document.root())) {
        PickColumn column;
        if (PickColumnOf(XmlElementOf(child), column))
            columns.append(column);
    }
    return columns;
}

QString PickDefinitionPath(const QString& tag)
{
    if (tag.contains(u'\\') || tag.contains(u'/'))
        return tag;
    return ProgramFolder() + u'/' + tag;
}

bool PickTagReadsHandbook(const QString& tag)
{
    const QString upper = tag.toUpper();
    return upper.contains(QStringLiteral("ISSUELIST")) ||
           upper.contains(QStringLiteral("ISSUE_LIST"));
}

QString ShortenedCell(const QString& text)
{
    if (text.size() <= 259)
        return text;
    qsizetype keep = 256;
    // Never half a surrogate pair.
    if (text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep) + QStringLiteral("...");
}

FixedList ParseFixedList(const QString& tag)
{
    FixedList list;
    QString text = tag;
    if (!text.endsWith(u'|'))
        text += u'|';
    QStringList rows = text.split(u'|');
    rows.removeLast(); // what follows the closing "|"
    for (qsizetype r = 0; r < rows.size(); ++r) {
        QStringList cells = rows.at(r).split(u'\t');
        if (r == 0)
            list.columnCount = int(cells.size());
        if (cells.size() > list.columnCount)
            cells.resize(list.columnCount);
        while (cells.size() < list.columnCount)
            cells.append(QString());
        list.rows.append(cells);
    }
    return list;
}

QString PickResultText(const QStringList& cells)
{
    QStringList lines;
    lines.reserve(cells.size());
    for (QString cell : cells)
        lines.append(cell.remove(QStringLiteral("\r\n")));
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace varnel
