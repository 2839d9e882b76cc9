// The pick definition reader (an XML file of column elements) and the fixed list of a pick tag,
// on arbitrary bytes: every input gives columns or the loading rule's error, never a crash.
#include "core/Error.h"
#include "handbook/PickDefinition.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

// One file for the whole run, rewritten for every input.
const char* DefinitionPath()
{
    static char path[] = "/tmp/fuzz_pick_definition_XXXXXX";
    static const bool made = [] {
        const int fd = ::mkstemp(path);
        if (fd < 0)
            std::abort();
        ::close(fd);
        return true;
    }();
    (void)made;
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* path = DefinitionPath();
    if (FILE* f = std::fopen(path, "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    try {
        for (const varnel::PickColumn& column :
             varnel::ReadPickDefinition(QString::fromLocal8Bit(path))) {
            if (column.widthTwips < 0)
                std::abort();
        }
    } catch (const varnel::Error&) {
    }

    const QString tag = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const varnel::FixedList list = varnel::ParseFixedList(tag);
    for (const QStringList& row : list.rows) {
        if (row.size() != list.columnCount)
            std::abort();
    }
    return 0;
}
