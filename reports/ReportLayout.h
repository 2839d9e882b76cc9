#pragma once

#include "reports/ReportKind.h"

#include <QList>
#include <QString>

namespace varnel {

// One field of a report layout file: one child of its document element. Field i is bound to
// editor slot i, whether it is shown or not.
struct LayoutField {
    int slot = 0;
    bool visible = true; // Visible="0" leaves the field out of the report entirely
    QString name;
    QString title;
    int widthTwips = 1000; // the layout's width; a stored one may replace it
    Qt::Alignment alignment = Qt::AlignLeft;
    QString type;   // "D" date, "N" number, anything else text
    QString format; // as written: a date field without one is shown as dd.mm.yyyy
    QString def;    // as written: "%DATE%" is replaced where the editors fill it in
    QString empty;
    QString pick;

    // "name=...;type=...;fmt=...;def=...;empty=...;pick=..." with the raw attribute texts.
    QString descriptor() const;
};

struct ReportLayout {
    QString path;
    QList<LayoutField> fields; // every field, in slot order
};

// The layout file of a kind: the program folder followed by its fixed name.
QString LayoutPathOf(ReportKind kind);

// Reads a layout file. Raises the XML loading rule's errors for a missing or malformed file,
// and a clear error for a layout the window cannot show: more fields than slots, a semicolon
// in a value that goes into a column descriptor, a shown field whose name cannot be an XML
// attribute name or is given twice.
ReportLayout ReadReportLayout(const QString& path, int slotCount);

} // namespace varnel
