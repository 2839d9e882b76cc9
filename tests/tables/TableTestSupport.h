#pragma once

// What the table suites share: a table in memory, every row of a table file, and workbooks
// made part by part for the cases no spreadsheet program writes on purpose.

#include "core/Error.h"
#include "tables/TableReader.h"
#include "tables/TableWriter.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <zip.h>

namespace varnel::testing {

class MemoryTable : public TableSource {
public:
    QStringList titles;
    QList<QList<TableCell>> rows;

    QStringList columnTitles() const override { return titles; }
    int rowCount() const override { return int(rows.size()); }
    void rowCells(int row, QList<TableCell>& cells) const override { cells = rows.at(row); }
};

// Every row of a table file, each as its number followed by its cells; the reading error's text
// in *failure (empty when the whole file was read).
inline QList<QStringList> ReadTable(const QString& path, QString* failure = nullptr,
                                    const TableLimits& limits = {}, QString* description = nullptr)
{
    QList<QStringList> rows;
    try {
        std::unique_ptr<TableReader> reader = OpenTableFile(path, limits);
        if (description)
            *description = reader->description();
        TableRecord record;
        while (reader->next(record))
            rows.append(QStringList{QString::number(record.number)} + record.row());
        if (failure)
            failure->clear();
    } catch (const Error& e) {
        if (failure)
            *failure = e.description();
    }
    return rows;
}

// A zip package of the given parts, in that order; each deflated unless stored is asked for.
struct ZipPart {
    QString name;
    QByteArray bytes;
    bool stored = false;
};
inline bool WriteZip(const QString& path, const QList<ZipPart>& parts)
{
    int error = 0;
    zip_t* archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    // libzip reads the parts when the archive is closed, here: they live until then.
    for (const ZipPart& part : parts) {
        zip_source_t* source =
            zip_source_buffer(archive, part.bytes.constData(), zip_uint64_t(part.bytes.size()), 0);
        const zip_int64_t index =
            source ? zip_file_add(archive, part.name.toUtf8().constData(), source, ZIP_FL_OVERWRITE)
                   : -1;
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        zip_set_file_compression(archive, zip_uint64_t(index),
                                 part.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
    }
    return zip_close(archive) == 0;
}

// The parts of a workbook whose first sheet holds sheetData, with these shared strings and
// styles (the cellXfs' number formats, numFmts for those from 164 on) and workbook properties.
inline QList<ZipPart> WorkbookParts(const QByteArray& sheetData, const QByteArray& sharedStrings,
                                    const QByteArray& styles = QByteArray(),
                                    const QByteArray& workbookProperties = QByteArray())
{
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    QList<ZipPart> parts;
    parts.append({QStringLiteral("[Content_Types].xml"),
                  "<?xml version=\"1.0\"?><Types "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"});
    parts.append({QStringLiteral("_rels/.rels"),
                  "<?xml version=\"1.0\"?><Relationships "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" Type=\"" +
                      rel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"});
    // Two sheets, the second part first in the workbook's order.
    parts.append({QStringLiteral("xl/workbook.xml"),
                  "<?xml version=\"1.0\"?><workbook " + ns + " xmlns:r=\"" + rel.chopped(1) +
                      "\">" + workbookProperties +
                      "<sheets><sheet name=\"Сделки\" sheetId=\"2\" r:id=\"rId2\"/>"
                      "<sheet name=\"Прочее\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"});
    parts.append({QStringLiteral("xl/_rels/workbook.xml.rels"),
                  "<?xml version=\"1.0\"?><Relationships "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" Type=\"" +
                      rel +
                      "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                      "<Relationship Id=\"rId2\" Type=\"" +
                      rel +
                      "worksheet\" Target=\"/xl/worksheets/../worksheets/sheet2.xml\"/>"
                      "<Relationship Id=\"rId3\" Type=\"" +
                      rel +
                      "sharedStrings\" Target=\"sharedStrings.xml\"/>"
                      "<Relationship Id=\"rId4\" Type=\"" +
                      rel + "styles\" Target=\"styles.xml\"/></Relationships>"});
    parts.append({QStringLiteral("xl/worksheets/sheet1.xml"),
                  "<?xml version=\"1.0\"?><worksheet " + ns +
                      "><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>не тот "
                      "лист</t></is></c></row></sheetData></worksheet>"});
    parts.append({QStringLiteral("xl/worksheets/sheet2.xml"), "<?xml version=\"1.0\"?><worksheet " +
                                                                  ns + "><sheetData>" + sheetData +
                                                                  "</sheetData></worksheet>"});
    parts.append({QStringLiteral("xl/sharedStrings.xml"),
                  "<?xml version=\"1.0\"?><sst " + ns + ">" + sharedStrings + "</sst>"});
    parts.append({QStringLiteral("xl/styles.xml"),
                  "<?xml version=\"1.0\"?><styleSheet " + ns + ">" + styles + "</styleSheet>"});
    return parts;
}

} // namespace varnel::testing
