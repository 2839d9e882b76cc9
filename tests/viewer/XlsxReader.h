#pragma once

// Reads back what a workbook's first worksheet holds, for the tests: the zip container read
// by its central directory, the parts inflated with zlib, the sheet's XML read with libxml2.

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zlib.h>

#include <cstring>

namespace varnel::testing {

struct XlsxCell {
    QString ref;   // "B3"
    QString type;  // "s" shared string, "n" number, "str", ...
    QString value; // the text, or the number as written
    int style = 0;
};

struct XlsxSheet {
    bool ok = false;
    QList<XlsxCell> cells;
    QStringList merges;        // "A1:A2", sorted (their order in the file means nothing)
    QHash<int, double> widths; // 1-based column -> width
    QStringList numberFormats; // format codes by style index (empty for built-in ones)
    QString sheetName;

    const XlsxCell* at(const QString& ref) const
    {
        for (const XlsxCell& c : cells) {
            if (c.ref == ref)
                return &c;
        }
        return nullptr;
    }
    QString text(const QString& ref) const
    {
        const XlsxCell* c = at(ref);
        return c ? c->value : QString();
    }
};

inline quint32 Le32(const char* p)
{
    return quint32(uchar(p[0])) | quint32(uchar(p[1])) << 8 | quint32(uchar(p[2])) << 16 |
           quint32(uchar(p[3])) << 24;
}
inline quint16 Le16(const char* p)
{
    return quint16(uchar(p[0]) | uchar(p[1]) << 8);
}

// The parts of a zip file by name.
inline QHash<QString, QByteArray> ReadZip(const QByteArray& zip)
{
    QHash<QString, QByteArray> parts;
    const qsizetype end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > zip.size())
        return parts;
    const char* d = zip.constData();
    const quint16 count = Le16(d + end + 10);
    qsizetype at = Le32(d + end + 16);
    for (int i = 0; i < count && at + 46 <= zip.size(); ++i) {
        if (Le32(d + at) != 0x02014b50)
            break;
        const quint16 method = Le16(d + at + 10);
        const quint32 compressed = Le32(d + at + 20);
        const quint32 size = Le32(d + at + 24);
        const quint16 nameLength = Le16(d + at + 28);
        const quint16 extra = Le16(d + at + 30);
        const quint16 comment = Le16(d + at + 32);
        const quint32 local = Le32(d + at + 42);
        const QString name = QString::fromUtf8(d + at + 46, nameLength);
        at += 46 + nameLength + extra + comment;
        const qsizetype data = local + 30 + Le16(d + local + 26) + Le16(d + local + 28);
        if (data + compressed > zip.size())
            break;
        QByteArray out(size, '\0');
        if (method == 0) {
            out = zip.mid(data, compressed);
        } else {
            z_stream z;
            std::memset(&z, 0, sizeof z);
            inflateInit2(&z, -MAX_WBITS);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(d + data));
            z.avail_in = compressed;
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = size;
            inflate(&z, Z_FINISH);
            inflateEnd(&z);
        }
        parts.insert(name, out);
    }
    return parts;
}

inline QString NodeText(xmlNode* node)
{
    xmlChar* t = xmlNodeGetContent(node);
    QString s = QString::fromUtf8(reinterpret_cast<const char*>(t));
    xmlFree(t);
    return s;
}

inline QString Prop(xmlNode* node, const char* name)
{
    xmlChar* t = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    QString s = t ? QString::fromUtf8(reinterpret_cast<const char*>(t)) : QString();
    xmlFree(t);
    return s;
}

template <typename F> void ForEachElement(xmlNode* node, const char* name, F f)
{
    for (xmlNode* n = node; n; n = n->next) {
        if (n->type == XML_ELEMENT_NODE &&
            std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0)
            f(n);
        ForEachElement(n->children, name, f);
    }
}

inline xmlDoc* ParsePart(const QByteArray& bytes)
{
    return xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr, XML_PARSE_NONET);
}

// The number format code of each cell style of a workbook's parts, by style index (empty for
// built-in ones).
inline QStringList ReadNumberFormats(const QHash<QString, QByteArray>& parts)
{
    QStringList formats;
    if (xmlDoc* doc = ParsePart(parts.value(QStringLiteral("xl/styles.xml")))) {
        QHash<QString, QString> codes;
        ForEachElement(xmlDocGetRootElement(doc), "numFmt", [&](xmlNode* n) {
            codes.insert(Prop(n, "numFmtId"), Prop(n, "formatCode"));
        });
        ForEachElement(xmlDocGetRootElement(doc), "cellXfs", [&](xmlNode* xfs) {
            for (xmlNode* xf = xfs->children; xf; xf = xf->next) {
                if (xf->type == XML_ELEMENT_NODE)
                    formats << codes.value(Prop(xf, "numFmtId"));
            }
        });
        xmlFreeDoc(doc);
    }
    return formats;
}

inline XlsxSheet ReadXlsx(const QString& path)
{
    XlsxSheet sheet;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return sheet;
    const QHash<QString, QByteArray> parts = ReadZip(f.readAll());
    if (!parts.contains(QStringLiteral("xl/worksheets/sheet1.xml")))
        return sheet;

    QStringList shared;
    if (xmlDoc* doc = ParsePart(parts.value(QStringLiteral("xl/sharedStrings.xml")))) {
        ForEachElement(xmlDocGetRootElement(doc), "si",
                       [&](xmlNode* si) { shared << NodeText(si); });
        xmlFreeDoc(doc);
    }
    if (xmlDoc* doc = ParsePart(parts.value(QStringLiteral("xl/workbook.xml")))) {
        ForEachElement(xmlDocGetRootElement(doc), "sheet",
                       [&](xmlNode* s) { sheet.sheetName = Prop(s, "name"); });
        xmlFreeDoc(doc);
    }
    sheet.numberFormats = ReadNumberFormats(parts);
    xmlDoc* doc = ParsePart(parts.value(QStringLiteral("xl/worksheets/sheet1.xml")));
    if (!doc)
        return sheet;
    xmlNode* root = xmlDocGetRootElement(doc);
    ForEachElement(root, "c", [&](xmlNode* c) {
        XlsxCell cell;
        cell.ref = Prop(c, "r");
        cell.type = Prop(c, "t");
        if (cell.type.isEmpty())
            cell.type = QStringLiteral("n");
        cell.style = Prop(c, "s").toInt();
        QString v;
        for (xmlNode* n = c->children; n; n = n->next) {
            if (n->type == XML_ELEMENT_NODE &&
                (std::strcmp(reinterpret_cast<const char*>(n->name), "v") == 0 ||
                 std::strcmp(reinterpret_cast<const char*>(n->name), "is") == 0))
                v = NodeText(n);
        }
        if (cell.type == u"s")
            v = shared.value(v.toInt());
        // A string written in the cell itself reads as a shared one does.
        if (cell.type == u"inlineStr")
            cell.type = QStringLiteral("s");
        cell.value = v;
        if (cell.type == u"n" && v.isEmpty())
            cell.type = QStringLiteral("blank");
        sheet.cells << cell;
    });
    ForEachElement(root, "mergeCell", [&](xmlNode* m) { sheet.merges << Prop(m, "ref"); });
    sheet.merges.sort();
    ForEachElement(root, "col", [&](xmlNode* col) {
        for (int c = Prop(col, "min").toInt(); c <= Prop(col, "max").toInt(); ++c)
            sheet.widths.insert(c, Prop(col, "width").toDouble());
    });
    xmlFreeDoc(doc);
    sheet.ok = true;
    return sheet;
}

} // namespace varnel::testing
