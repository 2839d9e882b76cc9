#include "AttributeGuard.h"

#include <cctype>
#include <cstring>
#include <regex>

#include <iconv.h>

namespace varnel::xmlguard {
namespace {

bool IsBlank(std::uint32_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether text is the start of (or all of) word.
bool Begins(const std::string& text, const char* word)
{
    return std::string(word).compare(0, text.size(), text) == 0;
}

} // namespace

AttributeGuard::AttributeGuard(int maxAttributes) : max_(maxAttributes) {}

void AttributeGuard::refuse(const std::string& why)
{
    tripped_ = true;
    reason_ = why;
}

bool AttributeGuard::KeepsAsciiMarkup(const std::string& encoding)
{
    std::string name;
    for (const char c : encoding) {
        if (c != '-' && c != '_' && c != ' ')
            name += char(std::tolower(static_cast<unsigned char>(c)));
    }
    static const std::regex known("utf8|usascii|ascii|iso8859\\d{1,2}|latin\\d{1,2}|"
                                  "windows125\\d|cp125\\d|koi8[ru]?|cp866|ibm866|tis620");
    return std::regex_match(name, known);
}

// Whether the system can convert from the encoding (then the parser reads it); an encoding it
// does not know is left to the parser, which refuses it in its own words.
static bool IsConvertible(const std::string& encoding)
{
    const iconv_t cd = iconv_open("UTF-8", encoding.c_str());
    if (cd == iconv_t(-1))
        return false;
    iconv_close(cd);
    return true;
}

// The XML declaration has been read: the encoding it names must keep the markup in ASCII
// bytes where the document is read a byte at a time.
void AttributeGuard::declarationEnded()
{
    static const std::regex encoding("encoding\\s*=\\s*[\"']([^\"']*)[\"']");
    std::smatch m;
    if (width_ == 1 && std::regex_search(declaration_, m, encoding) && !KeepsAsciiMarkup(m[1]) &&
        IsConvertible(m[1])) {
        tagLine_ = 1;
        tagColumn_ = 1;
        refuse("Encoding " + std::string(m[1]) + " is not read");
    }
}

// The unit width from the document's first bytes, as the parser tells its encoding: a
// byte-order mark, or the "<" of the declaration in a wider unit.
void AttributeGuard::decideWidth()
{
    const auto at = [this](std::size_t i) {
        return i < pending_.size() ? static_cast<unsigned char>(pending_[i]) : 0x100u;
    };
    if (at(0) == 0 && at(1) == 0 && (at(2) == 0xFE || at(2) == 0) &&
        (at(3) == 0xFF || at(3) == '<')) {
        width_ = 4;
        bigEndian_ = true;
    } else if ((at(0) == 0xFF && at(1) == 0xFE && at(2) == 0 && at(3) == 0) ||
               (at(0) == '<' && at(1) == 0 && at(2) == 0 && at(3) == 0)) {
        width_ = 4;
    } else if ((at(0) == 0xFE && at(1) == 0xFF) || (at(0) == 0 && at(1) == '<')) {
        width_ = 2;
        bigEndian_ = true;
    } else if ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) == '<' && at(1) == 0)) {
        width_ = 2;
    } else {
        width_ = 1;
        // "<?xm" in EBCDIC, which the parser would read as such.
        if (at(0) == 0x4C && at(1) == 0x6F && at(2) == 0xA7 && at(3) == 0x94) {
            tagLine_ = 1;
            tagColumn_ = 1;
            refuse("EBCDIC documents are not read");
        }
    }
}

bool AttributeGuard::feed(const char* data, std::size_t size)
{
    if (tripped_)
        return false;
    std::size_t i = 0;
    if (width_ == 0) {
        while (i < size && pending_.size() < 4)
            pending_ += data[i++];
        if (pending_.size() < 4)
            return true;
        decideWidth();
        if (tripped_)
            return false;
        // The XML declaration, when the document begins with one (after a byte-order mark).
        inDeclaration_ = true;
    }
    if (width_ == 1) {
        for (const char c : pending_)
            unit(static_cast<unsigned char>(c));
        pending_.clear();
        while (i < size && !tripped_) {
            // Text and quoted values hold nothing the guard looks at but their end: passed
            // over at once, their lines and columns counted.
            if (!inDeclaration_ && (state_ == State::Text || state_ == State::Quoted)) {
                const char stop = state_ == State::Text ? '<' : char(quote_);
                const auto* end = static_cast<const char*>(std::memchr(data + i, stop, size - i));
                const std::size_t run = (end ? std::size_t(end - data) : size) - i;
                if (run > 0) {
                    passOver(data + i, run);
                    i += run;
                    continue;
                }
            }
            unit(static_cast<unsigned char>(data[i++]));
        }
        return !tripped_;
    }
    // Wider units: whole units are read, a piece of one waits for the next call.
    std::string bytes = pending_;
    bytes.append(data + i, size - i);
    std::size_t at = 0;
    for (; at + std::size_t(width_) <= bytes.size() && !tripped_; at += std::size_t(width_)) {
        std::uint32_t c = 0;
        for (int k = 0; k < width_; ++k) {
            const int shift = bigEndian_ ? 8 * (width_ - 1 - k) : 8 * k;
            c |= std::uint32_t(static_cast<unsigned char>(bytes[at + std::size_t(k)])) << shift;
        }
        unit(c);
    }
    pending_ = bytes.substr(at);
    return !tripped_;
}

void AttributeGuard::passOver(const char* data, std::size_t size)
{
    const char* end = data + size;
    const char* line = data;
    while (const auto* lf = static_cast<const char*>(std::memchr(line, '\n', size_t(end - line)))) {
        ++line_;
        column_ = 1;
        line = lf + 1;
    }
    // A character is a byte, or in UTF-8 a byte that does not continue one.
    for (const char* c = line; c < end; ++c)
        column_ += (static_cast<unsigned char>(*c) & 0xC0) != 0x80;
    lastButOne_ = size >= 2 ? static_cast<unsigned char>(end[-2]) : last_;
    last_ = static_cast<unsigned char>(end[-1]);
}

void AttributeGuard::unit(std::uint32_t c)
{
    const int line = line_;
    const int column = column_;
    if (c == '\n') {
        ++line_;
        column_ = 1;
    } else if (width_ == 1 ? (c & 0xC0) != 0x80 : !(width_ == 2 && c >= 0xDC00 && c <= 0xDFFF)) {
        ++column_;
    }

    if (inDeclaration_) {
        // The document's first instruction, when it is the XML declaration.
        if (c < 0x80)
            declaration_ += char(c);
        if ((c == '>' && last_ == '?') || declaration_.size() >= 512) {
            inDeclaration_ = false;
            if (declaration_.compare(0, 5, "<?xml") == 0)
                declarationEnded();
            declaration_.clear();
        }
    }

    switch (state_) {
    case State::Text:
        if (c == '<') {
            state_ = State::Open;
            tagLine_ = line;
            tagColumn_ = column;
        }
        break;
    case State::Open:
        if (c == '!') {
            state_ = State::Bang;
            bang_.clear();
        } else if (c == '?') {
            state_ = State::Instruction;
        } else if (c == '/') {
            state_ = State::EndTag;
        } else {
            state_ = State::TagName;
            count_ = 0;
            name_.clear();
            name_ += width_ == 1 || c < 0x80 ? char(c) : '?';
        }
        break;
    case State::Bang:
        bang_ += c < 0x80 ? char(c) : '\x01';
        if (bang_ == "--") {
            state_ = State::Comment;
        } else if (bang_ == "[CDATA[") {
            state_ = State::CData;
        } else if (!Begins(bang_, "--") && !Begins(bang_, "[CDATA[")) {
            state_ = State::Declaration;
            depth_ = c == '[' ? 1 : 0;
            quote_ = c == '"' || c == '\'' ? c : 0;
            subset_ = Subset::None;
            if (c == '>')
                state_ = State::Text;
        }
        break;
    case State::Comment:
        if (c == '>' && last_ == '-' && lastButOne_ == '-')
            state_ = State::Text;
        break;
    case State::CData:
        if (c == '>' && last_ == ']' && lastButOne_ == ']')
            state_ = State::Text;
        break;
    case State::Instruction:
        if (c == '>' && last_ == '?')
            state_ = State::Text;
        break;
    case State::Declaration:
        if (depth_ > 0) {
            subsetUnit(c);
        } else if (quote_ != 0) {
            if (c == quote_)
                quote_ = 0;
        } else if (c == '"' || c == '\'') {
            quote_ = c;
        } else if (c == '[') {
            depth_ = 1;
            subset_ = Subset::None;
        } else if (c == '>') {
            state_ = State::Text;
        }
        break;
    case State::EndTag:
        if (c == '>')
            state_ = State::Text;
        break;
    case State::TagName:
        if (c == '>')
            state_ = State::Text;
        else if (IsBlank(c) || c == '/')
            state_ = State::InTag;
        else if (name_.size() < 64)
            name_ += width_ == 1 || c < 0x80 ? char(c) : '?';
        break;
    case State::InTag:
    case State::AfterName:
        if (c == '>') {
            state_ = State::Text;
        } else if (c == '/') {
            state_ = State::InTag;
        } else if (c == '=' && state_ == State::AfterName) {
            state_ = State::BeforeValue;
        } else if (!IsBlank(c)) {
            // An attribute begins: its name, or a value without one in a broken tag.
            if (++count_ > max_)
                refuse("Element " + name_ + " has more than " + std::to_string(max_) +
                       " attributes");
            state_ = c == '=' ? State::BeforeValue : State::Name;
        }
        break;
    case State::Name:
        if (c == '>')
            state_ = State::Text;
        else if (c == '=')
            state_ = State::BeforeValue;
        else if (c == '/')
            state_ = State::InTag;
        else if (IsBlank(c))
            state_ = State::AfterName;
        break;
    case State::BeforeValue:
        if (c == '"' || c == '\'') {
            state_ = State::Quoted;
            quote_ = c;
        } else if (c == '>') {
            state_ = State::Text;
        } else if (!IsBlank(c)) {
            state_ = State::Unquoted;
        }
        break;
    case State::Quoted:
        if (c == quote_)
            state_ = State::InTag;
        break;
    case State::Unquoted:
        if (c == '>')
            state_ = State::Text;
        else if (IsBlank(c))
            state_ = State::InTag;
        break;
    }
    lastButOne_ = last_;
    last_ = c;
}

// The internal subset of a document type declaration: markup declarations (whose quoted
// literals may hold any character), comments and instructions, up to its "]".
void AttributeGuard::subsetUnit(std::uint32_t c)
{
    switch (subset_) {
    case Subset::None:
        if (c == ']')
            depth_ = 0;
        else if (c == '<')
            subset_ = Subset::Open;
        break;
    case Subset::Open:
        if (c == '!') {
            subset_ = Subset::Bang;
            bang_.clear();
        } else {
            subset_ = c == '?' ? Subset::Instruction : Subset::None;
        }
        break;
    case Subset::Bang:
        bang_ += c < 0x80 ? char(c) : '\x01';
        if (bang_ == "--") {
            subset_ = Subset::Comment;
        } else if (!Begins(bang_, "--")) {
            subset_ = Subset::Markup;
            subsetQuote_ = c == '"' || c == '\'' ? c : 0;
            if (c == '>')
                subset_ = Subset::None;
        }
        break;
    case Subset::Comment:
        if (c == '>' && last_ == '-' && lastButOne_ == '-')
            subset_ = Subset::None;
        break;
    case Subset::Instruction:
        if (c == '>' && last_ == '?')
            subset_ = Subset::None;
        break;
    case Subset::Markup:
        if (subsetQuote_ != 0) {
            if (c == subsetQuote_)
                subsetQuote_ = 0;
        } else if (c == '"' || c == '\'') {
            subsetQuote_ = c;
        } else if (c == '>') {
            subset_ = Subset::None;
        }
        break;
    }
}

} // namespace varnel::xmlguard
