#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace loopback {

// The 8-bit code page of the client's files and of every answer the registry writes.

// Bytes to text. Byte 0x98, which the code page leaves undefined, becomes U+FFFD.
QString DecodeCp1251(QByteArrayView bytes);

// Appends the text as the value of an XML attribute: & < > ' and the double quote as their
// entities, CR, LF and TAB as character references (so a row stays on its line and keeps its
// value), and every character the code page cannot hold as &#N; with its code point.
void AppendAttributeValue(QByteArray& out, QStringView text);

// Appends text that needs no escaping (element and attribute names, fixed words): characters
// outside the code page become "?", which no caller passes on purpose.
void AppendPlain(QByteArray& out, QStringView text);

} // namespace loopback
