// The loopback registry's request reader, with the deal checks and the answer lines it feeds:
// any bytes must end in rows or a fault, never in a crash, a hang or a row of invalid text.

#include "Answer.h"
#include "DealRules.h"
#include "Request.h"
#include "RequestReader.h"

#include <cstddef>
#include <cstdint>

using namespace loopback;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    RequestReader reader(bytes);
    if (!reader.readRoot()) {
        (void)reader.faultText(Language::EN);
        return 0;
    }
    const KindInfo* kind = KindByRoot(reader.rootName());
    reader.expectRows(kind ? QString::fromLatin1(kind->row) : QStringLiteral("deal"),
                      size % 2 == 1);
    Attributes row;
    QByteArray line;
    while (reader.nextRow(row)) {
        const std::optional<Message> message =
            CheckDeal(kind ? kind->kind : RequestKind::Deals, row, Language::RU, nullptr);
        row.append({QStringLiteral("Text"), message ? message->text : QString()});
        line.clear();
        AppendStartTag(line, u"Receipt", row, true);
        // One line per row, whatever the values hold.
        if (line.indexOf('\n') != line.size() - 1)
            __builtin_trap();
    }
    if (reader.failed())
        (void)reader.faultText(Language::RU);
    return 0;
}
