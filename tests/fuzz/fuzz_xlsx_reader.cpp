// Workbooks as users bring them. The input is either a whole file (the zip container itself
// fuzzed) or, after a first byte of 'P', parts of a workbook separated by the byte 0x1F (the
// sheet, the shared texts, the styles, the workbook's properties) put into a package: the
// parts' XML fuzzed behind a sound container. Every input gives rows or the reading error: no
// crash, no hang, nothing beyond the bounds (nesting, columns, cells, rows), no DTD or entity
// acted on.
#include "FuzzSupport.h"
#include "core/Error.h"
#include "tables/TableReader.h"

#include <zip.h>

#include <cstddef>
#include <cstdint>

namespace {

bool WritePackage(const QString& path, const QList<QByteArray>& pieces)
{
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    const QByteArray rels =
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"";
    const QList<QPair<const char*, QByteArray>> parts{
        {"_rels/.rels", "<Relationships " + rels + "><Relationship Id=\"r\" Type=\"" + rel +
                            "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", "<workbook " + ns + " xmlns:r=\"" + rel.chopped(1) + "\">" +
                                pieces.value(3) +
                                "<sheets><sheet name=\"a\" sheetId=\"1\" r:id=\"s\"/></sheets>"
                                "</workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships " + rels + "><Relationship Id=\"s\" Type=\"" + rel +
             "worksheet\" Target=\"sheet.xml\"/><Relationship Id=\"t\" Type=\"" + rel +
             "sharedStrings\" Target=\"strings.xml\"/><Relationship Id=\"u\" Type=\"" + rel +
             "styles\" Target=\"styles.xml\"/></Relationships>"},
        {"xl/sheet.xml", pieces.value(0)},
        {"xl/strings.xml", pieces.value(1)},
        {"xl/styles.xml", pieces.value(2)}};
    int error = 0;
    zip_t* archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    // libzip reads the parts when the archive is closed, here: they live until then.
    for (const auto& [name, bytes] : parts) {
        zip_source_t* source =
            zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (!source || zip_file_add(archive, name, source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace varnel;
    const QString path = fuzz::ScratchFile("table.xlsx");
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    if (input.startsWith('P')) {
        if (!WritePackage(path, input.mid(1).split('\x1F')))
            return 0;
    } else {
        fuzz::WriteFile(path, input.constData(), size_t(input.size()));
    }
    TableLimits limits;
    limits.cellChars = 300;
    limits.recordChars = 2000;
    limits.columns = 40;
    limits.records = 500;
    limits.partBytes = 4 * 1024 * 1024;
    limits.sharedStrings = 2000;
    limits.sharedChars = 20000;
    try {
        std::unique_ptr<TableReader> reader = OpenTableFile(path, limits);
        TableRecord record;
        int last = 0;
        while (reader->next(record)) {
            // Rows by their numbers on the sheet: ascending, within the bound.
            FUZZ_CHECK(record.number > last && record.number <= limits.records, "row %d after %d",
                       record.number, last);
            last = record.number;
            FUZZ_CHECK(record.width() <= limits.columns, "%d columns", record.width());
            // A row with gaps holds its cells only, with their columns in order.
            FUZZ_CHECK(record.columns.isEmpty() || record.columns.size() == record.cells.size(),
                       "%lld columns for %lld cells", static_cast<long long>(record.columns.size()),
                       static_cast<long long>(record.cells.size()));
            for (qsizetype k = 1; k < record.columns.size(); ++k)
                FUZZ_CHECK(record.columns.at(k - 1) < record.columns.at(k), "columns out of order");
            for (const QString& cell : record.cells)
                FUZZ_CHECK(cell.size() <= limits.cellChars, "a cell of %lld",
                           static_cast<long long>(cell.size()));
        }
    } catch (const Error&) {
    }
    return 0;
}
