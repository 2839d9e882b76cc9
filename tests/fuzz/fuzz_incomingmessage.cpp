// The incoming message viewer's copy builder: whatever a received file holds, the copy is the
// file from its first "<?xml" on, cut only where its kind says, and the stylesheet instruction
// is the one thing added; the handbook's search in either case finds what a search of the file in
// capitals does.
#include "answers/IncomingMessage.h"

#include <QUrl>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace varnel;

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    const PreparedMessage prepared = PrepareIncomingMessage(file);

    // The search that spares a handbook its copy in capitals finds what the copy would.
    for (const QByteArray& needle : {QByteArray("<?XML"), QByteArray("<ISSUELIST"),
                                     QByteArray("ISSUE"), QByteArray("<?XML-STYLESHEET")}) {
        const QByteArray capitals = UpperCasedText(file);
        for (const qsizetype from : {qsizetype(0), qsizetype(3)})
            Check(IndexOfIgnoringCase(file, needle, from) == capitals.indexOf(needle, from),
                  "the search in either case finds what the copy in capitals does");
    }
    Check(ContainsStylesheetInstruction(file) == HasStylesheetInstruction(UpperCasedText(file)),
          "an instruction is found in the file as in its capitals");

    const qsizetype declaration = UpperCasedText(file).indexOf("<?XML");
    const qsizetype start = declaration > 0 ? declaration : 0;
    Check(file.mid(start).startsWith(prepared.text), "the copy is a part of the file");
    const QByteArray upper = UpperCasedText(prepared.text);
    if (!prepared.kind) {
        Check(prepared.text == file.mid(start), "a file without a kind is not cut");
        return 0;
    }
    Check(UpperCasedText(file).contains(prepared.kind->marker), "the kind's marker is there");
    if (!prepared.kind->byClosingTag && prepared.kind->name != u"SUBSCRIBERESULT")
        Check(prepared.text == file.mid(start), "receipts and handbooks are not cut");

    // Paths with every character that could break the instruction.
    static const QString paths[] = {QStringLiteral("/a\"b&c<d>e'f/Схемы 100%#?.xsl"),
                                    QStringLiteral("/x.xsl")};
    for (const QString& path : paths) {
        QByteArray text = prepared.text;
        if (!AttachStylesheet(text, prepared.kind->openingMarker, path)) {
            Check(text == prepared.text, "a left-out instruction changes nothing");
            continue;
        }
        const QByteArray instruction = StylesheetInstruction(path);
        const qsizetype at = text.indexOf(instruction);
        Check(at >= 0, "the instruction is in the copy");
        QByteArray back = text;
        back.remove(at, instruction.size());
        Check(back == prepared.text, "nothing but the instruction is added");
        Check(UpperCasedText(text)
                  .mid(at + instruction.size())
                  .startsWith(prepared.kind->openingMarker),
              "the instruction stands right before the root");
        Check(instruction.count('"') == 4 && instruction.count("?>") == 1,
              "the path cannot close the instruction");
    }
    return 0;
}
