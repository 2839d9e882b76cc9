#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace varnel {

// How a text file was stored, so that it can be written back the same way: its encoding, its
// byte-order mark and its line ends. A file opened, left untouched and saved again comes back
// byte for byte.
struct TextFormat {
    // "UTF-8", "UTF-16LE", "UTF-16BE", "windows-1251", or another name an XML declaration gave.
    QString encoding = QStringLiteral("UTF-8");
    bool byteOrderMark = false;
    // The line end the file uses ("\r\n", "\n" or "\r"), taken from its first line.
    QString lineEnd = QStringLiteral("\n");
    // The file is XML: a character its encoding cannot hold is written as a character reference.
    bool xml = false;
};

struct DecodedText {
    QString text; // the file's text with its line ends as they were
    TextFormat format;
};

// Reads a file's bytes in the encoding a byte-order mark or the XML declaration names. A file
// that names none is UTF-8 when it holds bytes beyond ASCII that form valid UTF-8, and
// otherwise (plain ASCII included) Windows-1251, the code page of every other file of the
// client. Bytes the named encoding does not decode completely (an invalid sequence, one cut off
// at the end, an odd byte of UTF-16) or would not write back the same make the file one that
// names none, so EncodeText of the text in its format gives the bytes back: nothing is lost on
// the way back.
DecodedText DecodeText(const QByteArray& bytes);

// Writes text whose lines are separated by "\n" in the given format. A character the encoding
// cannot hold becomes "&#N;" in an XML file; in any other file it raises an Error.
QByteArray EncodeText(const QString& text, const TextFormat& format);

// The encoding named by an XML declaration at the start of the bytes; empty when there is none.
QString DeclaredXmlEncoding(QByteArrayView bytes);

} // namespace varnel
