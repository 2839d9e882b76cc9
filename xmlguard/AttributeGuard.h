#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The XML parser takes time that grows with the square of the number of attributes of one
// start tag (each new attribute is compared with every one before it): 80,000 of them in a
// 790 KB file take ten seconds. Every reader of the client and the loopback registry passes the
// bytes of a document through this guard before the parser sees them, and refuses a start tag
// with more attributes than any document of theirs has, so that a file costs time in proportion
// to its size. The guard knows nothing of either program: plain C++, no Qt.
namespace varnel::xmlguard {

// More attributes than this on one start tag refuse the document. The documents of the system
// have a few dozen; at this bound a file of nothing but such tags parses about three times as
// slowly as an ordinary file of its size.
inline constexpr int kMaxAttributes = 1024;

// Counts the attributes of every start tag as the document's bytes go by, piece by piece, in
// the order the parser reads them. Comments, CDATA sections, processing instructions, end tags,
// the document type declaration (its internal subset included) and quoted values are passed
// over; attributes are counted as names, so that HTML attributes without a value count too.
// UTF-16 and UTF-32 documents are recognised by their first bytes and read a unit at a time;
// every other document is read a byte at a time, which serves the encodings whose markup
// characters are the ASCII bytes. A document in any other (EBCDIC by its first bytes, or an
// encoding its declaration names that is not known to keep the ASCII bytes: UTF-7, EBCDIC
// code pages and the like) is refused as well, since its markup could pass unseen.
class AttributeGuard {
public:
    explicit AttributeGuard(int maxAttributes = kMaxAttributes);

    // The next piece of the document. False once a start tag has more attributes than allowed
    // (from then on every call answers false).
    bool feed(const char* data, std::size_t size);
    bool tripped() const { return tripped_; }

    // Where the refused start tag (or declaration) begins (1-based; columns count characters
    // in UTF-8 and UTF-16, bytes otherwise), and the reason in the parser's words: "Element e
    // has more than 1024 attributes", "Encoding X is not read".
    int line() const { return tagLine_; }
    int column() const { return tagColumn_; }
    const std::string& reason() const { return reason_; }

    // Whether the markup of a document in the encoding its declaration names is ASCII bytes.
    static bool KeepsAsciiMarkup(const std::string& encoding);

private:
    enum class State {
        Text,
        Open,        // after "<"
        Bang,        // after "<!", deciding between a comment, CDATA and a declaration
        Comment,     // up to "-->"
        CData,       // up to "]]>"
        Instruction, // up to "?>"
        Declaration, // up to its ">", over its internal subset
        EndTag,      // up to ">"
        TagName,
        InTag,     // between attributes
        Name,      // an attribute's name
        AfterName, // blanks after a name, before "=" or the next attribute
        BeforeValue,
        Quoted,
        Unquoted
    };
    enum class Subset { None, Open, Bang, Comment, Instruction, Markup };

    void unit(std::uint32_t c);
    // A run of single-byte units that changes no state (text, a quoted value).
    void passOver(const char* data, std::size_t size);
    void subsetUnit(std::uint32_t c);
    void decideWidth();
    void refuse(const std::string& why);
    void declarationEnded();

    int max_;
    bool tripped_ = false;
    std::string reason_;
    std::string declaration_; // the XML declaration, while it is read
    bool inDeclaration_ = false;
    int width_ = 0; // bytes a unit: 0 until known, 1, 2 or 4
    bool bigEndian_ = false;
    std::string pending_; // bytes of an unfinished unit, or of the start while the width is open

    State state_ = State::Text;
    std::uint32_t quote_ = 0;
    std::uint32_t last_ = 0; // the unit before
    std::uint32_t lastButOne_ = 0;
    std::string bang_; // what follows "<!" so far
    int count_ = 0;    // attributes of the current start tag
    std::string name_; // the current start tag's name, as far as it is ASCII
    int depth_ = 0;    // brackets open in a declaration
    Subset subset_ = Subset::None;
    std::uint32_t subsetQuote_ = 0;

    int line_ = 1;
    int column_ = 1;
    int tagLine_ = 0;
    int tagColumn_ = 0;
};

} // namespace varnel::xmlguard
