#include "handbook/PickCollation.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <numeric>

#ifdef VARNEL_HAVE_ICU
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#endif

namespace varnel {

QLocale PickListLocale()
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::Russian, QLocale::Russia);
    return locale;
}

QCollator PickListCollator()
{
    QCollator collator(PickListLocale());
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    collator.setIgnorePunctuation(false);
    return collator;
}

namespace {

// Ranks from an ascending order of the texts and a test for equal neighbours.
template <typename Equal> LargeVector<int> RanksOf(const LargeVector<int>& ascending, Equal equal)
{
    LargeVector<int> ranks(ascending.size());
    int rank = 0;
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        if (i > 0 && !equal(ascending[i - 1], ascending[i]))
            ++rank;
        ranks[std::size_t(ascending[i])] = rank;
    }
    return ranks;
}

#ifdef VARNEL_HAVE_ICU

// The same collator QCollator makes for the locale (secondary strength: letter case aside),
// used directly so that a hundred thousand sort keys go into one buffer instead of as many
// objects. Null when the platform's collation data cannot be opened.
UCollator* OpenCollator()
{
    const QByteArray tag = PickListLocale().bcp47Name().toLatin1();
    char id[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t parsed = 0;
    uloc_forLanguageTag(tag.constData(), id, sizeof id, &parsed, &status);
    if (U_FAILURE(status))
        return nullptr;
    status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(id, &status);
    if (U_FAILURE(status) || !collator)
        return nullptr;
    ucol_setStrength(collator, UCOL_SECONDARY);
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
    ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    if (U_FAILURE(status)) {
        ucol_close(collator);
        return nullptr;
    }
    return collator;
}

bool IcuRanks(const LargeVector<QStringView>& texts, LargeVector<int>& ranks)
{
    UCollator* collator = OpenCollator();
    if (!collator)
        return false;
    struct Closer {
        UCollator* c;
        ~Closer() { ucol_close(c); }
    } closer{collator};

    // Sort keys one after another; every key ends with a 0 byte and holds no other.
    LargeVector<uint8_t> bytes;
    bytes.reserve(texts.size() * 24);
    LargeVector<std::size_t> starts(texts.size() + 1);
    uint8_t buffer[1024];
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const QStringView text = texts[i];
        starts[i] = bytes.size();
        const auto* chars = reinterpret_cast<const UChar*>(text.utf16());
        const int32_t count = int32_t(text.size());
        int32_t length = ucol_getSortKey(collator, chars, count, buffer, sizeof buffer);
        if (length <= 0) {
            bytes.push_back(0);
        } else if (length <= int32_t(sizeof buffer)) {
            bytes.insert(bytes.end(), buffer, buffer + length);
        } else {
            const std::size_t at = bytes.size();
            bytes.resize(at + std::size_t(length));
            ucol_getSortKey(collator, chars, count, bytes.data() + at, length);
        }
    }
    starts[texts.size()] = bytes.size();

    // The first eight key bytes decide most comparisons.
    struct Entry {
        quint64 head;
        int index;
    };
    LargeVector<Entry> entries(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        quint64 head = 0;
        const std::size_t length = starts[i + 1] - starts[i];
        for (std::size_t b = 0; b < 8; ++b)
            head = (head << 8) | (b < length ? bytes[starts[i] + b] : 0);
        entries[i] = {head, int(i)};
    }
    const auto keyCompare = [&](int a, int b) {
        const std::size_t la = starts[std::size_t(a) + 1] - starts[std::size_t(a)];
        const std::size_t lb = starts[std::size_t(b) + 1] - starts[std::size_t(b)];
        const int r = std::memcmp(bytes.data() + starts[std::size_t(a)],
                                  bytes.data() + starts[std::size_t(b)], std::min(la, lb));
        return r != 0 ? r : (la < lb ? -1 : la > lb ? 1 : 0);
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.head != b.head)
            return a.head < b.head;
        const int r = keyCompare(a.index, b.index);
        return r != 0 ? r < 0 : a.index < b.index;
    });
    LargeVector<int> ascending(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        ascending[i] = entries[i].index;
    ranks = RanksOf(ascending, [&](int a, int b) { return keyCompare(a, b) == 0; });
    return true;
}

#endif

LargeVector<int> CollatorRanks(const LargeVector<QStringView>& texts)
{
    const QCollator collator = PickListCollator();
    LargeVector<QCollatorSortKey> keys;
    keys.reserve(texts.size());
    for (const QStringView text : texts)
        keys.push_back(collator.sortKey(QString::fromRawData(text.data(), text.size())));
    LargeVector<int> ascending(texts.size());
    std::iota(ascending.begin(), ascending.end(), 0);
    std::stable_sort(ascending.begin(), ascending.end(), [&](int a, int b) {
        return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0;
    });
    return RanksOf(ascending, [&](int a, int b) {
        return keys[std::size_t(a)].compare(keys[std::size_t(b)]) == 0;
    });
}

} // namespace

LargeVector<int> CollationRanks(const LargeVector<QStringView>& texts)
{
#ifdef VARNEL_HAVE_ICU
    LargeVector<int> ranks;
    if (IcuRanks(texts, ranks))
        return ranks;
#endif
    return CollatorRanks(texts);
}

} // namespace varnel
