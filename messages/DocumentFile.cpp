#include "messages/DocumentFile.h"

#include "core/Error.h"

#include <QStringDecoder>

#include <array>
#include <memory>

namespace varnel {
namespace {

constexpr qsizetype kBlockSize = 64 * 1024;

// Reverse table of Qt's Windows-1251 decoder: byte of every character the code page holds.
struct Cp1251Table {
    std::array<unsigned char, 0x10000> byte{};

    Cp1251Table()
    {
        for (int c = 1; c < 0x80; ++c)
            byte[c] = static_cast<unsigned char>(c);
        QStringDecoder decoder("windows-1251");
        if (!decoder.isValid())
            return;
        for (int b = 0x80; b < 0x100; ++b) {
            const char raw = static_cast<char>(b);
            const QString s = decoder.decode(QByteArrayView(&raw, 1));
            decoder.resetState();
            if (s.size() == 1 && s.at(0).unicode() != 0xFFFD)
                byte[s.at(0).unicode()] = static_cast<unsigned char>(b);
        }
    }
};

const Cp1251Table& table()
{
    static const std::unique_ptr<Cp1251Table> t = std::make_unique<Cp1251Table>();
    return *t;
}

void appendReference(QByteArray& out, char32_t codePoint)
{
    char digits[16];
    int n = 0;
    do {
        digits[n++] = char('0' + codePoint % 10);
        codePoint /= 10;
    } while (codePoint);
    out.append("&#", 2);
    while (n)
        out.append(digits[--n]);
    out.append(';');
}

} // namespace

unsigned char DocumentFile::cp1251Byte(char16_t c)
{
    return table().byte[c];
}

DocumentFile::DocumentFile(const QString& path) : path_(path), file_(path)
{
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        Fail(QStringLiteral("Не удалось создать файл ") + path_ + QStringLiteral(":\r\n") +
             file_.errorString());
    buffer_.reserve(kBlockSize + 4096);
}

DocumentFile::~DocumentFile()
{
    if (closed_ || !file_.isOpen())
        return;
    buffer_.truncate(lineStart_);
    file_.write(buffer_);
    file_.close();
}

void DocumentFile::markup(QStringView text)
{
    encode(text, false);
}

void DocumentFile::value(QStringView text)
{
    encode(text, true);
}

void DocumentFile::encode(QStringView text, bool isValue)
{
    const auto& bytes = table().byte;
    const qsizetype n = text.size();
    const char16_t* p = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (c >= 0x20 && c < 0x80) {
            buffer_.append(char(c));
            continue;
        }
        if (c < 0x20) {
            if (c == u'\t' || c == u'\n' || c == u'\r') {
                if (isValue)
                    appendReference(buffer_, c);
                else
                    buffer_.append(char(c));
            }
            continue; // not a character of XML 1.0
        }
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
                appendReference(buffer_, QChar::surrogateToUcs4(c, p[i + 1]));
                ++i;
            }
            continue;
        }
        if (QChar::isLowSurrogate(c) || c == 0xFFFE || c == 0xFFFF)
            continue;
        if (const unsigned char b = bytes[c])
            buffer_.append(char(b));
        else
            appendReference(buffer_, c);
    }
}

void DocumentFile::endLine()
{
    buffer_.append("\r\n", 2);
    lineStart_ = buffer_.size();
    if (lineStart_ >= kBlockSize)
        flush(lineStart_);
}

void DocumentFile::flush(qsizetype upTo)
{
    if (upTo > 0 && file_.write(buffer_.constData(), upTo) != upTo)
        failWrite();
    buffer_.remove(0, upTo);
    lineStart_ -= upTo;
}

void DocumentFile::close()
{
    flush(lineStart_);
    buffer_.clear();
    closed_ = true;
    file_.close();
    if (file_.error() != QFileDevice::NoError)
        failWrite();
}

void DocumentFile::failWrite()
{
    const QString reason = file_.errorString();
    closed_ = true;
    file_.close();
    Fail(QStringLiteral("Не удалось записать файл ") + path_ + QStringLiteral(":\r\n") + reason);
}

} // namespace varnel
