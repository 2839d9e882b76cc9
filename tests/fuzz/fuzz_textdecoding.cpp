// Text windows on any file: the text as decoded, written back in the format it was read with,
// gives the file's bytes back.

#include "FuzzSupport.h"

#include "core/Error.h"
#include "text/TextEncoding.h"

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const DecodedText decoded = DecodeText(bytes);
    TextFormat format = decoded.format;
    format.lineEnd = QStringLiteral("\n"); // the decoded text keeps its own line ends
    QByteArray again;
    try {
        again = EncodeText(decoded.text, format);
    } catch (const Error& e) {
        FUZZ_CHECK(false, "%s: %s", qPrintable(decoded.format.encoding),
                   qPrintable(e.description()));
    }
    FUZZ_CHECK(again == bytes, "%s%s: %s became %s", qPrintable(decoded.format.encoding),
               decoded.format.byteOrderMark ? " with byte-order mark" : "",
               bytes.toHex(' ').constData(), again.toHex(' ').constData());
    // The line end is one the text uses, or the default of its encoding.
    FUZZ_CHECK(decoded.format.lineEnd == u"\n" || decoded.format.lineEnd == u"\r\n" ||
                   decoded.format.lineEnd == u"\r",
               "line end %s", fuzz::Printable(decoded.format.lineEnd).constData());
    return 0;
}
