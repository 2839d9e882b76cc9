// The loopback registry's request reader and a row of many attributes: the first two bytes say
// how many times the rest (an attribute, "%N" numbering each copy) stands in one deal row. A
// row of up to 1024 attributes is read whole, one of more is refused with its place, before
// the parser spends the square of their number on it.

#include "FuzzSupport.h"
#include "Request.h"
#include "RequestReader.h"

#include <cstdint>

using namespace loopback;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int copies = (data[0] | data[1] << 8) % 2100;
    const QByteArray piece(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));
    QByteArray row;
    for (int i = 0; i < copies; ++i)
        row += QByteArray(piece).replace("%N", QByteArray::number(i));
    const QByteArray document = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<deals "
                                "Language=\"RU\">\r\n<deal" +
                                row + " />\r\n</deals>\r\n";
    RequestReader reader(document);
    if (reader.readRoot()) {
        reader.expectRows(QStringLiteral("deal"));
        Attributes attributes;
        while (reader.nextRow(attributes))
            FUZZ_CHECK(attributes.size() <= 1024, "a row of %d attributes", int(attributes.size()));
    }
    const QString fault = reader.faultText(Language::EN);
    if (reader.failed() && fault.endsWith(QStringLiteral(" has more than 1024 attributes")))
        FUZZ_CHECK(fault.startsWith(QStringLiteral("XML error at line 3, column 1: Element deal")),
                   "%s", qPrintable(fault));
    return 0;
}
