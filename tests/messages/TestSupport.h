#pragma once

#include "core/AppContext.h"
#include "tests/support/ProgramFolder.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

namespace varnel::test {

using testing::ReadBytes;
using testing::ScopedProgramSettings;
using testing::WriteBytes;

// A settings file of the given lines in a folder that is also the program folder (which a
// ScopedProgramSettings of the test makes it).
inline void useSettings(const QString& folder, const QStringList& lines)
{
    QCOMPARE(SettingsFilePath(), folder + QStringLiteral("/varnel_client.ini"));
    QVERIFY(testing::WriteSettingsFile(lines));
}

struct XmlDocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

// Parses a written document with libxml2: no network, no entity substitution, errors quiet.
inline XmlDocPtr parseDocument(const QString& path)
{
    const QByteArray bytes = ReadBytes(path);
    return XmlDocPtr(xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

// Attribute of the first child element of the document element; null string when absent.
inline QString firstRowAttribute(xmlDoc* doc, const char* name)
{
    xmlNode* root = xmlDocGetRootElement(doc);
    for (xmlNode* n = root ? root->children : nullptr; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE)
            continue;
        xmlChar* v = xmlGetProp(n, reinterpret_cast<const xmlChar*>(name));
        if (!v)
            return QString();
        const QString s = QString::fromUtf8(reinterpret_cast<const char*>(v));
        xmlFree(v);
        return s;
    }
    return QString();
}

} // namespace varnel::test
