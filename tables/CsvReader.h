#pragma once

#include "tables/SourceFile.h"
#include "tables/TableReader.h"

#include <QString>
#include <QStringDecoder>

#include <memory>

namespace varnel::tables {

// A CSV text as files come from back offices and spreadsheets:
// - the encoding by a byte-order mark (UTF-8, UTF-16 little or big endian); without one, UTF-8
//   when the bytes beyond ASCII form valid UTF-8 throughout the file, otherwise Windows-1251 (a
//   marked file whose bytes do not decode as marked is read the same way);
// - the separator (comma, semicolon or Tab) the title row uses most, outside quotes (semicolon
//   before Tab before comma on a tie);
// - a cell in double quotes may hold the separator, line breaks and doubled quotes; text after
//   its closing quote belongs to the cell;
// - CR LF, LF or a lone CR end a row, a last row may go without; rows whose cells are all blank
//   are passed over.
// - a cell that begins with apostrophes and then one of the starts a spreadsheet takes for a
//   formula loses one apostrophe (see StartsLikeFormula): the one the table writer put there.
// The file is read twice, a piece at a time (once for the encoding, once for the rows): memory
// stays in proportion to one row. A NUL character makes it no text; a quote left open at the
// end, a row or a cell beyond the limits refuse the file with the row's number.
// A spreadsheet that opens a CSV file takes a cell beginning with "=", "+", "-", "@", Tab or CR
// for a formula. Whether a text begins so once the apostrophes it begins with are passed over:
// the table writer puts one apostrophe more in front of such a text (and quotes it), which
// makes it a text to the spreadsheet, and the reader takes one away, so that every text comes
// back as written ("=1+1" is written '=1+1, "'=1+1" is written ''=1+1).
bool StartsLikeFormula(QStringView text);

class CsvReader : public TableReader {
public:
    CsvReader(std::unique_ptr<SourceFile> file, const TableLimits& limits);
    ~CsvReader() override;

    bool next(TableRecord& record) override;
    qint64 done() const override { return done_; }
    qint64 total() const override { return file_->size(); }
    QString description() const override;

    enum class Encoding { Utf8, Utf16LE, Utf16BE, Windows1251 };
    Encoding encoding() const { return encoding_; }
    QChar separator() const { return separator_; }

private:
    void detectEncoding();
    // Decodes the next piece of the file onto the buffer; false at the end of the file.
    bool fill();
    void detectSeparator();
    // The characters of the row starting at the buffer's place; false at the end of the file.
    bool readRow(QStringList& cells);
    [[noreturn]] void failRow(const QString& reason, int row) const;

    std::unique_ptr<SourceFile> file_;
    TableLimits limits_;
    Encoding encoding_ = Encoding::Windows1251;
    qint64 skip_ = 0; // bytes of the byte-order mark
    QStringDecoder decoder_;
    QString buffer_;
    qsizetype at_ = 0;
    bool atEnd_ = false;
    qint64 done_ = 0;
    QChar separator_ = u';';
    int records_ = 0;
    // Rows read, blank ones too: a record's number is its row as a spreadsheet shows the file.
    int rows_ = 0;
    qsizetype lastCells_ = 0; // cells of the row before: room made for as many in the next
    bool finished_ = false;
};

} // namespace varnel::tables
