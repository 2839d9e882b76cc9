// The merge tool's INI model on any text: what loads saves in a normal form that loads again
// to the same lines and values; what does not load fails with one of the tool's own errors.
// The command-line splitter takes any line.

#include "FuzzSupport.h"

#include "CIniMngr.h"
#include "MergeRun.h"
#include "Windows1251.h"

using namespace varnel;

namespace {

bool IsToolError(int number)
{
    return number == kIniErrSubscript || number == kIniErrInvalidArgument ||
           number == kIniErrDuplicate;
}

void CheckLines(const QStringList& lines)
{
    CIniMngr document;
    try {
        document.LoadLines(lines);
    } catch (const IniError& e) {
        FUZZ_CHECK(IsToolError(e.number()), "error %d: %s", e.number(),
                   qPrintable(e.description()));
        return;
    }
    QStringList saved;
    document.SaveLines(saved);
    FUZZ_CHECK(saved.size() == lines.size(), "%lld lines saved of %lld", (long long)saved.size(),
               (long long)lines.size());

    CIniMngr again;
    try {
        again.LoadLines(saved);
    } catch (const IniError& e) {
        FUZZ_CHECK(false, "saved lines do not load: error %d: %s", e.number(),
                   qPrintable(e.description()));
    }
    QStringList savedAgain;
    again.SaveLines(savedAgain);
    FUZZ_CHECK(savedAgain == saved, "the saved form is not stable:\n%s\n---\n%s",
               qPrintable(saved.join(u'\n')), qPrintable(savedAgain.join(u'\n')));
    const IniValueMap values = document.Values();
    const IniValueMap valuesAgain = again.Values();
    FUZZ_CHECK(values.keys() == valuesAgain.keys() && values.values() == valuesAgain.values(),
               "values differ after saving");
    for (qsizetype i = 0; i < values.size(); ++i) {
        FUZZ_CHECK(document.ValueExistsKey(values.keys().at(i)), "key %s not found",
                   qPrintable(values.keys().at(i)));
        FUZZ_CHECK(document.Value(values.keys().at(i)) == values.values().at(i), "value of %s",
                   qPrintable(values.keys().at(i)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text =
        DecodeWindows1251(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    FUZZ_CHECK(EncodeWindows1251(text) ==
                   QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
               "Windows-1251 does not come back byte for byte");

    // As the merge run reads a file: lines split at CR LF only.
    CheckLines(SplitAtCrLf(text));

    // Load splits at every CR and LF and drops empty lines.
    CIniMngr loaded;
    try {
        loaded.Load(text);
        QString saved;
        loaded.Save(saved);
        CIniMngr again;
        again.Load(saved);
        QString savedAgain;
        again.Save(savedAgain);
        FUZZ_CHECK(savedAgain == saved, "Load and Save are not stable");
    } catch (const IniError& e) {
        FUZZ_CHECK(IsToolError(e.number()), "error %d: %s", e.number(),
                   qPrintable(e.description()));
    }

    try {
        const QStringList arguments = SplitCommandLine(text);
        for (const QString& a : arguments)
            FUZZ_CHECK(!a.startsWith(u'"'), "an argument starts with a quote");
    } catch (const IniError& e) {
        FUZZ_CHECK(e.number() == kIniErrInvalidArgument, "error %d", e.number());
    }
    return 0;
}
