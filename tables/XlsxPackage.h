#pragma once

#include "tables/SourceFile.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <string_view>

struct _xmlParserCtxt;
struct zip;
struct zip_file;

namespace varnel::tables {

// The attributes of a start tag as the parser hands them over, looked up by local name.
class XmlAttributes {
public:
    XmlAttributes(int count, const unsigned char** raw) : count_(count), raw_(raw) {}
    // The value of the attribute with this local name (any prefix); empty when absent.
    QString value(std::string_view localName) const;
    bool has(std::string_view localName) const;

private:
    int count_;
    const unsigned char** raw_;
};

// What a part's XML is read into, an event at a time. Names are local names (prefixes left out,
// as packages written by different programs use different ones), in UTF-8.
class XmlSink {
public:
    virtual ~XmlSink() = default;
    virtual void startElement(std::string_view name, const XmlAttributes& attributes) = 0;
    virtual void endElement(std::string_view name) = 0;
    virtual void characters(const char* text, int size) = 0;
};

class Package;

// One part of the package read as XML, a piece at a time: every piece goes through the
// attribute bound and then the parser; a document type declaration is refused before its
// contents are read, nothing external is loaded, no entity is declared or expanded, and an
// element nested deeper than the document loader allows (XmlMaxDepth) stops the reading there.
// The part may unpack to no more than the package's bounds.
class PartReader {
public:
    PartReader(Package& package, qint64 index, XmlSink& sink);
    ~PartReader();
    PartReader(const PartReader&) = delete;
    PartReader& operator=(const PartReader&) = delete;

    // Reads and parses the next piece; false once the part has been read to its end. Raises
    // the reading error with the part's name and the parser's line and column.
    bool step();
    // Reads the whole part.
    void readAll();
    // Reads the whole part without parsing it: its bytes are all there and match its checksum.
    void readBytes();
    // A refusal found by the sink: the parser stops, and step() raises it with the part's name
    // and the parser's position.
    void refuse(const QString& reason);
    // A refusal of what the table holds (a cell too long, on the row the user sees): the parser
    // stops, and step() raises the text as it stands, as the CSV reader words it.
    void refuseTable(const QString& text);

    qint64 unpacked() const { return unpacked_; }
    qint64 size() const { return size_; }

    // The parser's side (its callbacks reach it).
    struct State;

private:
    [[noreturn]] void fail(const QString& reason) const;
    void parse(const char* data, int size, bool last);
    // Reads the next piece; 0 at the end.
    qint64 read(char* piece);

    Package& package_;
    QString name_;
    qint64 size_ = 0;
    qint64 unpacked_ = 0;
    zip_file* file_ = nullptr;
    std::unique_ptr<State> state_;
    bool ended_ = false;
};

// The zip container of a workbook, its parts found by name. Opening refuses an archive with
// more parts than the bounds allow before reading its directory, one whose parts are encrypted
// (a password), and one that is damaged.
class Package {
public:
    Package(SourceFile& file, const TableLimits& limits);
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    // The part's index, or -1 when the package has no part of that name.
    qint64 find(const QString& name) const;
    qint64 partCount() const;
    // The whole part as bytes (for small parts such as a "mimetype").
    QByteArray readSmall(qint64 index, qint64 maxBytes);

    SourceFile& file() const { return file_; }
    const TableLimits& limits() const { return limits_; }
    zip* archive() const { return archive_; }
    [[noreturn]] void fail(const QString& reason) const { file_.fail(reason); }
    // The text of libzip's failure.
    QString zipError() const;

private:
    void checkPartCount();

    SourceFile& file_;
    TableLimits limits_;
    zip* archive_ = nullptr;
};

// "_x" four hexadecimal digits "_" read as the character of that number, as a workbook's texts
// escape control characters ("_x000D_" for CR, "_x005F_" for "_" itself).
QString UnescapeWorkbookText(const QString& text);

} // namespace varnel::tables
