// The loopback registry's reading of the client's settings file.

#include "ClientSettings.h"

#include <cstddef>
#include <cstdint>

using namespace loopback;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString send = ReadIniValue(bytes, QStringLiteral("Path"), QStringLiteral("FolderSend"));
    (void)ResolveFolder(QStringLiteral("/program"), send);
    return 0;
}
