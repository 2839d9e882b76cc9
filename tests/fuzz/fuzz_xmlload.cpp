// The XML loaders on any bytes: they refuse the same files with the same text, and read the same
// document element and children from the files they take. The subtree reader builds the same
// tree as the document loader, in slices of three children, and fails with the same words; the
// count of children agrees with the streaming reader.

#include "FuzzSupport.h"

#include "core/Error.h"
#include "core/XmlLoad.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <optional>

using namespace varnel;

namespace {

QString Describe(const XmlElement& e)
{
    QString text = e.name;
    for (const auto& a : e.attributes)
        text += u' ' + a.first + u'=' + a.second;
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    xmlInitParser();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Within one read of either loader, so both see the input in the same steps.
    if (size > 16000)
        return 0;
    const QString path = fuzz::ScratchFile("load.xml");
    fuzz::WriteFile(path, reinterpret_cast<const char*>(data), size);

    QStringList fromDocument;
    std::optional<QString> documentFailure;
    try {
        const XmlDocument doc = XmlDocument::Load(path);
        fromDocument << Describe(XmlElementOf(doc.root()));
        for (_xmlNode* child : XmlChildElements(doc.root()))
            fromDocument << Describe(XmlElementOf(child));
    } catch (const Error& e) {
        documentFailure = e.description();
    }

    QStringList fromReader;
    std::optional<QString> readerFailure;
    try {
        XmlChildReader reader(path);
        fromReader << Describe(reader.root());
        XmlElement child;
        while (reader.next(child))
            fromReader << Describe(child);
    } catch (const Error& e) {
        readerFailure = e.description();
    }

    std::optional<QString> countFailure;
    qint64 counted = -1;
    try {
        counted = XmlCountChildren(path);
    } catch (const Error& e) {
        countFailure = e.description();
    }
    FUZZ_CHECK(countFailure == readerFailure && (readerFailure || counted == fromReader.size() - 1),
               "reader: %s, %lld children\ncount: %s, %lld",
               qPrintable(readerFailure.value_or(QStringLiteral("read"))),
               qlonglong(fromReader.size() - 1),
               qPrintable(countFailure.value_or(QStringLiteral("counted"))), qlonglong(counted));

    QStringList fromSubtrees;
    std::optional<QString> subtreeFailure;
    try {
        XmlSubtreeReader reader(path, XmlLoadOptions());
        xmlDocPtr head = reader.next(0);
        fromSubtrees << Describe(XmlElementOf(xmlDocGetRootElement(head)));
        xmlFreeDoc(head);
        for (xmlDocPtr slice; (slice = reader.next(3));) {
            for (_xmlNode* child : XmlChildElements(xmlDocGetRootElement(slice)))
                fromSubtrees << Describe(XmlElementOf(child));
            xmlFreeDoc(slice);
        }
    } catch (const Error& e) {
        subtreeFailure = e.description();
    }
    FUZZ_CHECK(documentFailure == subtreeFailure &&
                   (documentFailure || fromDocument == fromSubtrees),
               "document: %s\n%s\nsubtrees: %s\n%s",
               qPrintable(documentFailure.value_or(QStringLiteral("loaded"))),
               qPrintable(fromDocument.join(u'\n')),
               qPrintable(subtreeFailure.value_or(QStringLiteral("loaded"))),
               qPrintable(fromSubtrees.join(u'\n')));

    FUZZ_CHECK(documentFailure.has_value() == readerFailure.has_value(), "document: %s\nreader: %s",
               qPrintable(documentFailure.value_or(QStringLiteral("loaded"))),
               qPrintable(readerFailure.value_or(QStringLiteral("loaded"))));
    if (documentFailure) {
        // The same place; the parser words some reasons differently for the two (it quotes a
        // broken comment only when it builds a document).
        const auto place = [](const QString& text) { return text.mid(text.lastIndexOf(u'\n')); };
        FUZZ_CHECK(place(*documentFailure) == place(*readerFailure), "document: %s\nreader: %s",
                   qPrintable(*documentFailure), qPrintable(*readerFailure));
        FUZZ_CHECK(documentFailure->startsWith(QStringLiteral("Ошибка загрузки файла ")) ||
                       documentFailure->startsWith(QStringLiteral("Файл ")),
                   "%s", qPrintable(*documentFailure));
    } else {
        FUZZ_CHECK(fromDocument == fromReader, "document:\n%s\nreader:\n%s",
                   qPrintable(fromDocument.join(u'\n')), qPrintable(fromReader.join(u'\n')));
    }
    return 0;
}
