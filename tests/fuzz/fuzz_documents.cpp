// The document writers on any cell texts: what they write is well-formed Windows-1251 XML that
// parses back to the values meant. A report cell loses its line breaks and the characters XML
// cannot carry, a number cell writes "," as ".", a date cell is written as yyyy-mm-dd or ends
// the writing with the date message; a revocation value is trimmed of blanks and keeps its
// line breaks.

#include "FuzzSupport.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/Values.h"
#include "core/XmlLoad.h"
#include "messages/DocumentWriters.h"
#include "messages/SimpleData.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

using namespace varnel;

namespace {

// Characters XML 1.0 carries (tab, CR and LF included); the rest are left out by the writers.
QString XmlCharacters(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += text.mid(i, 2);
            ++i;
            continue;
        }
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || QChar::isSurrogate(c) ||
            c == 0xFFFE || c == 0xFFFF)
            continue;
        out += QChar(c);
    }
    return out;
}

QString Cell(FuzzedDataProvider& in)
{
    return fuzz::Utf16Units(in.ConsumeRandomLengthString(24));
}

QString Attribute(const _xmlNode* node, const QString& name, bool* present)
{
    *present = XmlHasAttribute(node, name);
    return XmlAttribute(node, name);
}

void CheckReport(FuzzedDataProvider& in)
{
    static const char* const kTypes[] = {"C", "N", "D"};
    const int columns = in.ConsumeIntegralInRange(1, 4);
    QStringList descriptors{QStringLiteral("name=")};
    QStringList types;
    for (int c = 1; c <= columns; ++c) {
        types << QString::fromLatin1(kTypes[in.ConsumeIntegralInRange(0, 2)]);
        descriptors << QStringLiteral("name=F%1;type=%2").arg(c).arg(types.last());
    }
    SimpleReportTable table(descriptors, in.ConsumeBool());
    bool badDate = false;
    const int rows = in.ConsumeIntegralInRange(0, 4);
    for (int r = 0; r < rows; ++r) {
        QStringList cells{QString::number(r + 1)};
        for (int c = 1; c <= columns; ++c) {
            QString value = Cell(in);
            if (types.at(c - 1) == u"D" && in.ConsumeBool())
                value = QStringLiteral("%1.%2.%3")
                            .arg(in.ConsumeIntegralInRange(1, 31))
                            .arg(in.ConsumeIntegralInRange(1, 12))
                            .arg(in.ConsumeIntegralInRange(0, 2100));
            if (types.at(c - 1) == u"D" && !value.isEmpty()) {
                try {
                    ParseDate(value);
                } catch (const Error&) {
                    badDate = true;
                }
            }
            cells << value;
        }
        table.addRow(cells);
    }

    const QString path = fuzz::ScratchFile("report.xml");
    QFile::remove(path);
    try {
        WriteDealsXml(path, table);
    } catch (const Error& e) {
        FUZZ_CHECK(badDate, "writing failed: %s", qPrintable(e.description()));
        FUZZ_CHECK(!QFileInfo::exists(path), "a refused report left a file");
        return;
    }
    FUZZ_CHECK(!badDate, "a bad date was written");
    const XmlDocument doc = XmlDocument::Load(path);
    const QString rowName = table.isRepo() ? QStringLiteral("RepoDeal") : QStringLiteral("deal");
    FUZZ_CHECK(XmlNodeName(doc.root()) == rowName + u's', "root %s",
               qPrintable(XmlNodeName(doc.root())));
    const QList<_xmlNode*> written = XmlChildElements(doc.root());
    FUZZ_CHECK(written.size() == rows, "%lld rows of %d", (long long)written.size(), rows);
    for (int r = 0; r < rows; ++r) {
        FUZZ_CHECK(XmlNodeName(written.at(r)) == rowName, "row element");
        for (int c = 1; c <= columns; ++c) {
            const QString value = table.cell(r, c);
            QString expected = value;
            if (types.at(c - 1) == u"D" && !value.isEmpty())
                expected = FormatIsoDate(ParseDate(value));
            if (types.at(c - 1) == u"N")
                expected.replace(u',', u'.');
            expected = XmlCharacters(expected);
            expected.remove(u'\r');
            expected.remove(u'\n');
            bool present = false;
            const QString got = Attribute(written.at(r), QStringLiteral("F%1").arg(c), &present);
            FUZZ_CHECK(present == !value.isEmpty(), "row %d field %d present: %d", r, c,
                       int(present));
            FUZZ_CHECK(got == expected, "row %d field %d: %s written as %s", r, c,
                       fuzz::Printable(value).constData(), fuzz::Printable(got).constData());
        }
    }
}

void CheckRevocation(FuzzedDataProvider& in)
{
    const bool repo = in.ConsumeBool();
    SimpleRevocationList list(Cell(in));
    const int rows = in.ConsumeIntegralInRange(0, 4);
    for (int r = 0; r < rows; ++r) {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << Cell(in);
        list.addRow(cells);
    }
    const QString path = fuzz::ScratchFile("revoke.xml");
    WriteRequestXml(repo ? QStringLiteral("RepoRevokeDeals") : QStringLiteral("RevokeDeals"), path,
                    {nullptr, &list});
    const XmlDocument doc = XmlDocument::Load(path);
    static const char* const kDeal[] = {"Id", "Agreement", "Reference", "Participant", "Reason"};
    static const char* const kRepo[] = {"Id", "Agreement", "Reference", "Direction", "Participant"};
    const QList<_xmlNode*> written = XmlChildElements(doc.root());
    FUZZ_CHECK(written.size() == rows, "%lld rows of %d", (long long)written.size(), rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 5; ++c) {
            const QString value = TrimSpaces(list.cell(r, c));
            bool present = false;
            const QString got =
                Attribute(written.at(r), QString::fromLatin1(repo ? kRepo[c] : kDeal[c]), &present);
            FUZZ_CHECK(present == !value.isEmpty(), "row %d column %d present: %d", r, c,
                       int(present));
            FUZZ_CHECK(got == XmlCharacters(value), "row %d column %d: %s written as %s", r, c,
                       fuzz::Printable(value).constData(), fuzz::Printable(got).constData());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    xmlInitParser();
    SetSettingsFilePath(fuzz::ScratchFile("no-settings.ini")); // the language is RU
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool())
        CheckReport(in);
    else
        CheckRevocation(in);
    return 0;
}
