#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace loopback {

// The registry's side of the 8-bit code page: the code page of the requests it reads and of
// every answer it writes. The loopback registry stands for the other end of the road and links
// nothing of the client, so this table is independent of the client's (core/Windows1251.h) and
// reads byte 0x98, which the code page leaves undefined, as U+FFFD where the client keeps it as
// U+0098.

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
