// The spreadsheet export's page reader: any HTML becomes a sheet whose merged ranges lie inside
// it and never overlap, through the "SAVE AS" cut and the column fitting.
#include "core/Error.h"
#include "viewer/SpreadsheetExport.h"

#include <QSet>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace varnel;

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

void CheckMerges(const Sheet& sheet)
{
    QSet<quint64> covered;
    for (const SheetMerge& m : sheet.merges) {
        Check(m.firstRow >= 0 && m.firstColumn >= 0, "a merge starts inside the sheet");
        Check(m.firstRow <= m.lastRow && m.firstColumn <= m.lastColumn, "a merge is a range");
        Check(m.firstRow != m.lastRow || m.firstColumn != m.lastColumn, "a merge is not one cell");
        Check(m.lastRow < sheet.rows.size(), "a merge ends inside the rows");
        for (int r = m.firstRow; r <= m.lastRow; ++r)
            for (int c = m.firstColumn; c <= m.lastColumn; ++c) {
                const quint64 key = (quint64(quint32(r)) << 32) | quint32(c);
                Check(!covered.contains(key), "merges do not overlap");
                covered.insert(key);
            }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray html(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        Sheet sheet = ReadPageSheet(html);
        CheckMerges(sheet);
        const qsizetype rows = sheet.rows.size();
        const int removed = RemoveRowsToSaveAs(sheet);
        Check(removed >= 0 && sheet.rows.size() == rows - removed, "the cut removes its rows");
        CheckMerges(sheet);
        FitColumns(sheet);
        Check(sheet.columnWidths.size() == sheet.columnCount(), "every column is fitted");
        for (const double w : sheet.columnWidths)
            Check(w >= 0 && w <= 100, "fitted widths stay within bounds");
        (void)SheetText(sheet);
    } catch (const Error&) {
        // A page larger than a worksheet is refused with a message.
    }
    return 0;
}
