// The attribute bound against the XML parser itself: for every document the parser reads as
// well-formed (without a DOCTYPE, which the readers refuse), the guard refuses it exactly when
// one of its start tags has more attributes than the bound (3 here, so that the fuzzer meets
// it often); and the pieces the bytes arrive in never change what the guard finds.

#include "FuzzSupport.h"
#include "xmlguard/AttributeGuard.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>

using varnel::xmlguard::AttributeGuard;

namespace {

constexpr int kBound = 3;

struct Counts {
    int most = 0;
    bool doctype = false;
};

void StartElement(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*, int namespaces,
                  const xmlChar**, int attributes, int defaulted, const xmlChar**)
{
    auto* counts = static_cast<Counts*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
    counts->most = std::max(counts->most, namespaces + attributes - defaulted);
}

void Doctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    static_cast<Counts*>(static_cast<xmlParserCtxtPtr>(ctx)->_private)->doctype = true;
}

void Silent(void*, const char*, ...) {}

// The most attributes of a start tag, or -1 when the parser does not read the document whole.
int ParserCount(const char* data, size_t size)
{
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = StartElement;
    sax.internalSubset = Doctype;
    Counts counts;
    xmlSetGenericErrorFunc(nullptr, Silent);
    xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr);
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ctxt->_private = &counts;
    xmlParseChunk(ctxt, data, int(size), 1);
    const bool whole = ctxt->wellFormed && !counts.doctype;
    xmlFreeParserCtxt(ctxt);
    return whole ? counts.most : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    AttributeGuard whole(kBound);
    whole.feed(bytes, size);

    // The same bytes in pieces of sizes the input itself chooses.
    AttributeGuard pieces(kBound);
    for (size_t at = 0, step = 1; at < size; at += step) {
        step = 1 + (static_cast<unsigned char>(bytes[at]) % 7);
        pieces.feed(bytes + at, std::min(step, size - at));
    }
    FUZZ_CHECK(whole.tripped() == pieces.tripped() && whole.line() == pieces.line() &&
                   whole.column() == pieces.column() && whole.reason() == pieces.reason(),
               "pieces: %d %d:%d vs %d %d:%d", whole.tripped(), whole.line(), whole.column(),
               pieces.tripped(), pieces.line(), pieces.column());

    const int most = ParserCount(bytes, size);
    if (most >= 0)
        FUZZ_CHECK(whole.tripped() == (most > kBound), "guard %d (%s), parser %d", whole.tripped(),
                   whole.reason().c_str(), most);
    return 0;
}
