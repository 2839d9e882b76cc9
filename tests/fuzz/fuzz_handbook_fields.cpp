// The field reader that tells a handbook from other incoming messages, on arbitrary bytes:
// whatever the split of the input into reads, the verdict is the same, and it never reads out
// of bounds.
#include "handbook/HandbookFields.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* bytes = reinterpret_cast<const char*>(data);
    const bool whole = varnel::IsHandbookText(QByteArrayView(bytes, qsizetype(size)));

    // The first byte chooses the read size of the second pass.
    const qsizetype step = size > 0 ? 1 + data[0] % 17 : 1;
    varnel::HandbookFieldReader reader;
    for (qsizetype at = 0; at < qsizetype(size); at += step)
        reader.feed(bytes + at, std::min<qsizetype>(step, qsizetype(size) - at));
    const bool split = reader.finish() == varnel::HandbookFieldReader::Verdict::Handbook;
    if (whole != split)
        std::abort();
    return 0;
}
