#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstring>
#include <memory>

namespace varnel {

class AtomicFile;

// One outgoing document being written: Windows-1251 text, lines ended by CR LF, written
// sequentially to its file. A character Windows-1251 cannot hold is written as an XML character
// reference, so nothing typed is lost.
//
// The document goes to a hidden file beside its path and replaces the file there only when
// close() has written all of it: when the writing stops half-way (a failure thrown by the caller,
// a full disk), a file already at the path stays as it was and nothing else is left behind.
// Written bytes are passed to the file in large blocks.
class DocumentFile {
public:
    // How an attribute value is written, beyond the encoding.
    enum ValueFlag {
        KeepLineBreaks = 0,
        DropLineBreaks = 1, // every CR and LF left out
        CommaToPoint = 2,   // every "," written as "."
    };

    // Starts the new file beside path; fails with the system's reason when it cannot.
    explicit DocumentFile(const QString& path);
    // Drops an unfinished document without raising.
    ~DocumentFile();
    DocumentFile(const DocumentFile&) = delete;
    DocumentFile& operator=(const DocumentFile&) = delete;

    // Markup of the current line: bytes of the writer's own.
    void bytes(const char* data, qsizetype size)
    {
        reserve(size);
        std::memcpy(buf_.get() + size_, data, size_t(size));
        size_ += size;
    }
    void ascii(const char* text) { bytes(text, qsizetype(std::strlen(text))); }
    void bytes(const QByteArray& b) { bytes(b.constData(), b.size()); }
    // Markup from the data (element and attribute names), encoded.
    void markup(QStringView text);
    // An attribute value that is already escaped for "&", "<", ">" and quotes. Tab, CR and LF
    // are written as references so that a parser reads them back unchanged (inside an
    // attribute a literal one would be read as a blank); characters XML cannot carry at all
    // (other control characters, lone surrogates, U+FFFE and U+FFFF) are left out.
    void value(QStringView text, int flags = KeepLineBreaks);
    // A whole attribute of the data: its opening (' name="', encoded), the value not yet
    // escaped ("&", "<", ">", "'" and the double quote are written as the attribute escaping
    // writes them, in the same pass as the encoding), and the closing quote.
    void rawAttribute(const QByteArray& opening, QStringView text, int flags);
    // Ends the current line with CR LF.
    void endLine();
    // Writes what is left and puts the file in place; fails with the system's reason when the
    // file could not be written.
    void close();

    // The text encoded as markup, for callers that write the same name many times.
    static QByteArray encodeMarkup(QStringView text);

private:
    void reserve(qsizetype more)
    {
        if (size_ + more > capacity_)
            grow(more);
    }
    void grow(qsizetype more);
    void encode(QStringView text, int flags, bool isValue, bool escape = false);
    void flushLines();

    QString path_;
    std::unique_ptr<AtomicFile> file_;
    std::unique_ptr<char[]> buf_;
    qsizetype size_ = 0;
    qsizetype capacity_ = 0;
    qsizetype lineStart_ = 0; // the buffer up to here holds complete lines
    bool closed_ = false;
};

// Lines 1 and 2 of every outgoing document: the XML declaration and the version comment.
void WriteDocumentFrame(DocumentFile& f);

// An attribute of the writer's own name. Language and reply type come from the settings and the
// dialog rather than from the user's typing, but are escaped all the same, so that no value can
// break the document.
void WriteAttribute(DocumentFile& f, const char* name, const QString& escapedValue);

} // namespace varnel
