// CSV texts as users bring them: any bytes either give rows or the reading error, never a
// crash, a hang, a row beyond the bounds or a number out of order; read again they give the
// same rows; written as CSV by the table writer (texts a spreadsheet would take for formulas
// behind an apostrophe) and read back, the same cells again.
#include "FuzzSupport.h"
#include "core/Error.h"
#include "tables/TableReader.h"
#include "tables/TableWriter.h"

#include <cstddef>
#include <cstdint>

namespace {

QList<varnel::TableRecord> ReadAll(const QString& path, const varnel::TableLimits& limits,
                                   QString& failure)
{
    QList<varnel::TableRecord> rows;
    try {
        std::unique_ptr<varnel::TableReader> reader = varnel::OpenTableFile(path, limits);
        varnel::TableRecord record;
        while (reader->next(record)) {
            // Rows are numbered as a spreadsheet shows the file: blank ones count, so a number
            // may skip, never go back.
            const int previous = rows.isEmpty() ? 0 : rows.last().number;
            FUZZ_CHECK(record.number > previous, "row %d after %d", record.number, previous);
            FUZZ_CHECK(record.cells.size() <= limits.columns, "%lld cells",
                       static_cast<long long>(record.cells.size()));
            qint64 chars = 0;
            for (const QString& cell : record.cells) {
                FUZZ_CHECK(cell.size() <= limits.cellChars, "a cell of %lld",
                           static_cast<long long>(cell.size()));
                chars += cell.size();
            }
            FUZZ_CHECK(chars <= limits.recordChars, "a row of %lld", static_cast<long long>(chars));
            rows.append(record);
        }
    } catch (const varnel::Error& e) {
        failure = e.description();
    }
    return rows;
}

// The rows read as a table of texts, under two titles of their own.
class Rows : public varnel::TableSource {
public:
    explicit Rows(const QList<varnel::TableRecord>& rows) : rows_(rows) {}
    QStringList columnTitles() const override { return {QStringLiteral("a"), QStringLiteral("b")}; }
    int rowCount() const override { return int(rows_.size()); }
    void rowCells(int row, QList<varnel::TableCell>& cells) const override
    {
        for (const QString& cell : rows_.at(row).cells)
            cells.append(varnel::TableCell::textCell(cell));
    }

private:
    const QList<varnel::TableRecord>& rows_;
};

// Whether UTF-8 holds every character of the rows (a lone surrogate it does not).
bool Utf8Whole(const QList<varnel::TableRecord>& rows)
{
    for (const varnel::TableRecord& row : rows) {
        for (const QString& cell : row.cells) {
            if (QString::fromUtf8(cell.toUtf8()) != cell)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace varnel;
    const QString path = fuzz::ScratchFile("table.csv");
    fuzz::WriteFile(path, reinterpret_cast<const char*>(data), size);
    TableLimits limits;
    limits.cellChars = 300;
    limits.recordChars = 2000;
    limits.columns = 40;
    limits.records = 500;
    QString first, second;
    const QList<TableRecord> a = ReadAll(path, limits, first);
    const QList<TableRecord> b = ReadAll(path, limits, second);
    FUZZ_CHECK(first == second, "%s / %s", qPrintable(first), qPrintable(second));
    FUZZ_CHECK(a.size() == b.size(), "two readings differ");
    for (qsizetype i = 0; i < a.size(); ++i)
        FUZZ_CHECK(a.at(i).cells == b.at(i).cells && a.at(i).number == b.at(i).number,
                   "row %lld differs", static_cast<long long>(i));
    if (a.isEmpty() || !first.isEmpty() || !Utf8Whole(a))
        return 0;
    const QString written = fuzz::ScratchFile("written.csv");
    try {
        WriteTableFile(written, Rows(a), TableFormat::Csv);
    } catch (const Error&) {
        return 0;
    }
    TableLimits wide; // quotes and apostrophes make the written rows longer
    QString failure;
    const QList<TableRecord> back = ReadAll(written, wide, failure);
    FUZZ_CHECK(failure.isEmpty(), "written and read back: %s", qPrintable(failure));
    FUZZ_CHECK(back.size() == a.size() + 1, "%lld rows written, %lld read back",
               static_cast<long long>(a.size()), static_cast<long long>(back.size()) - 1);
    for (qsizetype i = 0; i < a.size(); ++i)
        FUZZ_CHECK(back.at(i + 1).cells == a.at(i).cells, "row %lld comes back otherwise",
                   static_cast<long long>(i));
    return 0;
}
