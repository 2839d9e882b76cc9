#pragma once

// Text out of libxml2, shared by the XML loaders and the helpers that walk a loaded document.

#include <QString>

#include <libxml/xmlstring.h>

#include <cstring>

namespace varnel::xmltext {

// The parser's UTF-8 as text, every character kept: QString::fromUtf8 drops a leading U+FEFF,
// which in a value is a character like any other (and may come more than once).
inline QString Utf8Text(const char* bytes, qsizetype size)
{
    qsizetype marks = 0;
    while (size - 3 * marks >= 3 && std::memcmp(bytes + 3 * marks, "\xEF\xBB\xBF", 3) == 0)
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(bytes, size);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(bytes + 3 * marks, size - 3 * marks);
}

inline QString FromXml(const xmlChar* text)
{
    if (!text)
        return QString();
    const char* bytes = reinterpret_cast<const char*>(text);
    return Utf8Text(bytes, qsizetype(std::strlen(bytes)));
}

// "prefix:local", or the local name alone.
inline QString QualifiedName(const xmlChar* prefix, const xmlChar* local)
{
    if (prefix && *prefix)
        return FromXml(prefix) + u':' + FromXml(local);
    return FromXml(local);
}

} // namespace varnel::xmltext
