#include "core/XmlText.h"

#include <cstring>

namespace varnel {

QString Utf8Text(const char* bytes, qsizetype size)
{
    qsizetype marks = 0;
    while (size - 3 * marks >= 3 && std::memcmp(bytes + 3 * marks, "\xEF\xBB\xBF", 3) == 0)
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(bytes, size);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(bytes + 3 * marks, size - 3 * marks);
}

QString FromXml(const xmlChar* text)
{
    if (!text)
        return QString();
    const char* bytes = reinterpret_cast<const char*>(text);
    return Utf8Text(bytes, qsizetype(std::strlen(bytes)));
}

} // namespace varnel
