#pragma once

#include <QString>

#include <libxml/xmlstring.h>

namespace varnel {

// Text of the UTF-8 that libxml2 hands out, every character kept: QString::fromUtf8 drops a
// leading U+FEFF, which in a value is a character like any other (and may come more than once).
QString Utf8Text(const char* bytes, qsizetype size);
// The same for a NUL-terminated string of the parser; a null string gives a null QString.
QString FromXml(const xmlChar* text);

} // namespace varnel
