#pragma once

// The SAX2 handler both streaming parsers of hostile files start from: the core's loaders and
// the workbook's parts.

#include <libxml/parser.h>

#include <cstring>

namespace varnel {

// A SAX2 handler with only the given events: a document type declaration (refused by the
// caller), the start and the end of an element, and the parser's errors. Everything else, the
// tree building included, is left out.
inline xmlSAXHandler XmlSaxHandler(internalSubsetSAXFunc doctype, startElementNsSAX2Func start,
                                   endElementNsSAX2Func end, xmlStructuredErrorFunc error)
{
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.internalSubset = doctype;
    sax.startElementNs = start;
    sax.endElementNs = end;
    sax.serror = error;
    return sax;
}

} // namespace varnel
