// Answers of the receive folder as the sending journal reads them: any bytes give a document
// element and rows, or the loading rule's error, never a crash, a hang or a row without its
// number.
#include "FuzzSupport.h"

#include "core/Error.h"
#include "journal/JournalDocuments.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_journal_answer";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const QString path = varnel::fuzz::ScratchFile("answer.msg");
    varnel::fuzz::WriteFile(path, reinterpret_cast<const char*>(data), size);
    try {
        varnel::AnswerReader reader(path);
        const varnel::AnswerHead& head = reader.head();
        FUZZ_CHECK(head.kind == varnel::AnswerKindOf(head.root), "%s", qPrintable(head.root));
        varnel::AnswerRow row;
        while (reader.next(row))
            FUZZ_CHECK(row.n > 0, "row %d", row.n);
    } catch (const varnel::Error&) {
    }
    return 0;
}
