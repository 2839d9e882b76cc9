// The settings reader and writer on any file: reading never fails and never gives more than
// the buffer holds, and a value written under a section and key reads back as written.

#include "FuzzSupport.h"

#include "core/PrivateProfile.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace varnel;

namespace {

// Names and values from a few letters, so that the fuzzer finds them in the file it makes:
// ASCII, Cyrillic in both cases (they must match without regard to case), digits, blanks and
// signs that mean something on a settings line.
const char16_t kLetters[] = u"aAbBzZ_0жЖёЁ";
const char16_t kInner[] = u" =;[]\"'\t#";

QString Name(FuzzedDataProvider& in)
{
    QString name;
    const int length = in.ConsumeIntegralInRange(1, 6);
    for (int i = 0; i < length; ++i) {
        const bool inner = i > 0 && i + 1 < length && in.ConsumeBool();
        // A name may not hold "=", start with "[" or carry blanks at its ends.
        name += inner ? QChar(kInner[in.ConsumeIntegralInRange<size_t>(0, 3) == 1 ? 2 : 0])
                      : QChar(kLetters[in.ConsumeIntegralInRange<size_t>(0, 11)]);
    }
    return name;
}

// A value that reads back as written: no blank at its ends and not wholly enclosed in quotes.
QString Value(FuzzedDataProvider& in)
{
    QString value;
    const int length = in.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < length; ++i) {
        const bool inner = i > 0 && i + 1 < length && in.ConsumeBool();
        value += inner ? QChar(kInner[in.ConsumeIntegralInRange<size_t>(0, 8)])
                       : QChar(kLetters[in.ConsumeIntegralInRange<size_t>(0, 11)]);
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QString section = Name(in);
    const QString key = Name(in);
    const QString value = Value(in);
    const std::string file = in.ConsumeRemainingBytesAsString();
    const QString path = fuzz::ScratchFile("settings.ini");
    fuzz::WriteFile(path, file.data(), file.size());

    const QString read = PrivateProfile::GetString(path, section, key, QStringLiteral("def"));
    FUZZ_CHECK(read.size() <= 2046, "%lld characters", (long long)read.size());
    PrivateProfile::GetInt(path, section, key, 7);
    const QString cut = PrivateProfile::GetString(path, section, key, QString(), 5);
    FUZZ_CHECK(cut.size() <= 3, "%lld characters from a buffer of 5", (long long)cut.size());

    const Outcome written = PrivateProfile::WriteString(path, section, key, value);
    FUZZ_CHECK(written.done(), "write refused: %s", qPrintable(written.failure));
    const QString back = PrivateProfile::GetString(path, section, key, QStringLiteral("<none>"));
    const QString expected = value.isEmpty() ? QStringLiteral("<none>") : value;
    FUZZ_CHECK(back == expected, "[%s] %s wrote %s, read %s", fuzz::Printable(section).constData(),
               fuzz::Printable(key).constData(), fuzz::Printable(value).constData(),
               fuzz::Printable(back).constData());
    return 0;
}
