#pragma once

#include <QString>

namespace loopback {

// The language of a request's answers.
enum class Language { RU, EN };

// The registry's coded messages, in the language of the request.
enum class Code {
    C10, // a date that is not yyyy-mm-dd or no calendar day
    S5,
    S13,
    S14,
    S15,       // Side other than B or S
    S16,       // Price
    S16Amount, // the same code for a repo deal's Amount, with its own field name
    S17,
    S18,
    S26,
    S27,
    S52,
    S54,
    S55,
    S59,
    S80,
    S81,
    S82,
    S83,
    S90,
    S91,
    S97,
    S98,
    S99,
};

struct Message {
    QString code; // "S16"
    QString text; // "(S16) Поле Price (0) должно иметь положительное значение"
};

// The code's text with %1% and %2% replaced by the values.
Message MakeMessage(Code code, Language language, const QString& v1 = QString(),
                    const QString& v2 = QString());

// Why a request is not a document of its kind: the reasons of an S98 refusal.
enum class FormatFault {
    Empty,       // no bytes at all
    Doctype,     // a document type declaration
    Xml,         // not well-formed: detail = the parser's message, with line and column
    Root,        // detail = the element expected
    UnknownRoot, // detail = the element found
    Row,         // detail = the row element expected, detail2 = the element found
    Nested,      // detail = the element found, detail2 = the row element
    Text,        // detail = the element holding the text
    NotRegular,  // the request is not a plain file
};

QString FormatFaultText(FormatFault fault, Language language, const QString& detail = QString(),
                        const QString& detail2 = QString(), int line = 0, int column = 0);

} // namespace loopback
