#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringView>

namespace varnel {

// One outgoing document being written: Windows-1251 text, lines ended by CR LF, written
// sequentially to its file. A character Windows-1251 cannot hold is written as an XML character
// reference, so nothing typed is lost.
//
// A line goes to the file only once it is complete: when the writing stops half-way (a failure
// thrown by the caller), the file keeps the lines finished so far. Written bytes are passed to
// the file in large blocks.
class DocumentFile {
public:
    // Creates or truncates the file; fails with a message when it cannot.
    explicit DocumentFile(const QString& path);
    // Closes the file, keeping the complete lines, without raising.
    ~DocumentFile();
    DocumentFile(const DocumentFile&) = delete;
    DocumentFile& operator=(const DocumentFile&) = delete;

    // Markup of the current line: ASCII text of the writer's own.
    void ascii(const char* text) { buffer_.append(text); }
    // Markup from the data (element and attribute names).
    void markup(QStringView text);
    // An attribute value that is already escaped for "&", "<", ">" and quotes. Tab, CR and LF
    // are written as references so that a parser reads them back unchanged (inside an
    // attribute a literal one would be read as a blank); characters XML cannot carry at all
    // (other control characters, lone surrogates, U+FFFE and U+FFFF) are left out.
    void value(QStringView text);
    // Ends the current line with CR LF.
    void endLine();
    // Writes what is left and closes the file; fails when the file could not be written.
    void close();

    // Windows-1251 byte of a character, 0 when the code page has none (U+0000 included).
    static unsigned char cp1251Byte(char16_t c);

private:
    void encode(QStringView text, bool isValue);
    void flush(qsizetype upTo);
    [[noreturn]] void failWrite();

    QString path_;
    QFile file_;
    QByteArray buffer_;
    qsizetype lineStart_ = 0; // buffer_ up to here holds complete lines
    bool closed_ = false;
};

} // namespace varnel
