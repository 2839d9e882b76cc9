// Walking a loaded document: names, attributes and child elements as the client reads them.
#include "core/XmlLoad.h"
#include "core/XmlText.h"

#include <libxml/tree.h>

namespace varnel {

using xmltext::FromXml;
using xmltext::QualifiedName;

QString XmlNodeName(const _xmlNode* node)
{
    if (!node)
        return QString();
    return QualifiedName(node->ns ? node->ns->prefix : nullptr, node->name);
}

namespace {

const xmlAttr* FindAttribute(const _xmlNode* node, const QString& attributeName)
{
    if (!node || node->type != XML_ELEMENT_NODE)
        return nullptr;
    for (const xmlAttr* a = node->properties; a; a = a->next) {
        if (QualifiedName(a->ns ? a->ns->prefix : nullptr, a->name) == attributeName)
            return a;
    }
    return nullptr;
}

QString AttributeText(const xmlAttr* a)
{
    xmlChar* text = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(a));
    QString value = FromXml(text);
    xmlFree(text);
    return value;
}

} // namespace

QString XmlAttribute(const _xmlNode* node, const QString& attributeName)
{
    const xmlAttr* a = FindAttribute(node, attributeName);
    return a ? AttributeText(a) : QString();
}

bool XmlHasAttribute(const _xmlNode* node, const QString& attributeName)
{
    return FindAttribute(node, attributeName) != nullptr;
}

QList<_xmlNode*> XmlChildElements(const _xmlNode* node)
{
    QList<_xmlNode*> children;
    if (!node)
        return children;
    for (xmlNode* c = node->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE)
            children.append(c);
    }
    return children;
}

XmlElement XmlElementOf(const _xmlNode* node)
{
    XmlElement element;
    if (!node || node->type != XML_ELEMENT_NODE)
        return element;
    element.name = XmlNodeName(node);
    for (const xmlNs* ns = node->nsDef; ns; ns = ns->next) {
        element.attributes.append(
            {ns->prefix ? QStringLiteral("xmlns:") + FromXml(ns->prefix) : QStringLiteral("xmlns"),
             FromXml(ns->href)});
    }
    for (const xmlAttr* a = node->properties; a; a = a->next)
        element.attributes.append(
            {QualifiedName(a->ns ? a->ns->prefix : nullptr, a->name), AttributeText(a)});
    return element;
}

// ---- XmlElement

QString XmlElement::attribute(const QString& attributeName) const
{
    for (const auto& a : attributes) {
        if (a.first == attributeName)
            return a.second;
    }
    return QString();
}

bool XmlElement::hasAttribute(const QString& attributeName) const
{
    for (const auto& a : attributes) {
        if (a.first == attributeName)
            return true;
    }
    return false;
}

} // namespace varnel
