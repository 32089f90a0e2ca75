// Internal state shared by the XML wrappers: the libxml2 document behind a document object, the
// nodes it owns outside its tree, and the helpers every wrapper uses.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include "jxbase/xml/xmldom.h"

namespace jxxml {

// One libxml2 tree and the nodes created for it or taken out of it that no parent owns yet.
struct XmlTree {
    xmlDocPtr doc = nullptr;
    std::vector<xmlNodePtr> detached;
};

struct ParseErrorInfo {
    LONG code = 0;
    LONG line = 0;
    LONG linePos = 0;
    std::u16string reason;
};

// The document object. A load replaces its tree; the old tree stays alive while wrappers may
// still point into it and is freed with the document object.
struct XmlDocumentState {
    XmlTree current;
    std::vector<XmlTree> retired;
    std::shared_ptr<const ParseErrorInfo> parseError;
    bool indentOnSave = false;

    XmlDocumentState() = default;
    XmlDocumentState(const XmlDocumentState&) = delete;
    XmlDocumentState& operator=(const XmlDocumentState&) = delete;
    ~XmlDocumentState();

    // Makes doc the current tree. othersMayPointIn: wrappers other than the caller's share this
    // state, so the old tree must outlive this call.
    void ReplaceTree(xmlDocPtr doc, bool othersMayPointIn);
    // Hands a node that has no parent (new, or just unlinked) to its tree, which frees it later
    // unless it gets a parent again.
    void AdoptDetached(xmlNodePtr node);
};

// Settings of the XML writer and the document it writes into.
struct XmlWriterState {
    bool omitDeclaration = false;
    bool standalone = false;
    bool indent = false;
    bool disableOutputEscaping = false;
    std::string encoding = "UTF-16";
    // Weak, so that the writer does not count as a holder of the output's current tree.
    std::weak_ptr<XmlDocumentState> output;
};

// What a parse produced: a document on success, the error otherwise.
struct ParseResult {
    xmlDocPtr doc = nullptr;
    ParseErrorInfo error;
};

// Initializes libxml2 once per process and installs the entity loader that refuses everything.
void XmlInit();

// While alive, libxml2 messages of this thread that no parser context takes go nowhere instead
// of stderr; the previous handlers come back afterwards.
class QuietXmlErrors {
public:
    QuietXmlErrors();
    ~QuietXmlErrors();
    QuietXmlErrors(const QuietXmlErrors&) = delete;
    QuietXmlErrors& operator=(const QuietXmlErrors&) = delete;

private:
    xmlGenericErrorFunc m_generic;
    void* m_genericContext;
    xmlStructuredErrorFunc m_structured;
    void* m_structuredContext;
};

// Parsing (xml_parse.cpp). The bytes may carry a byte-order mark and a declaration.
ParseResult ParseBytes(const BYTE* data, size_t size);
// UTF-8 text converted from the caller's UTF-16; its declared encoding is only recorded.
ParseResult ParseUtf8Text(std::string_view utf8);
void DropWhitespaceText(xmlNodePtr parent, bool preserve);
// Takes a parse result into the document object: its tree becomes current (an empty tree when
// the parse failed) and its error the parse error. Returns the document element or null.
xmlNodePtr AdoptParse(XmlDocumentState& state, ParseResult&& result, bool othersMayPointIn);

// XPath 1.0 selection from node (xml_xpath.cpp), in document order.
bool SelectXPath(xmlNodePtr node, const WCHAR* query, bool firstOnly, std::vector<xmlNodePtr>& out,
                 HRESULT& hr);

// Serialization (xml_save.cpp). encoding "" means the document's own rule (declared or UTF-8).
bool SerializeDocument(xmlDocPtr doc, const std::string& encoding, bool omitDeclaration, bool indent,
                       std::string& out, HRESULT& hr);
HRESULT WriteHostFile(const std::string& hostPath, const std::string& bytes);

// Text helpers.
std::u16string FromXml(const xmlChar* text);
std::string ToXml(const WCHAR* text);
std::string QualifiedNameUtf8(const xmlNode* node);
std::u16string QualifiedName(const xmlNode* node);
bool IsXmlSpace(const xmlChar* text);

// Failure: sets the last error and returns the empty value of the result type.
template <typename T> T Fail(HRESULT hr) {
    SetLastError(static_cast<DWORD>(hr));
    return T();
}

// Builds and opens wrappers; the wrapper classes are friends of this struct.
struct XmlAccess {
    template <typename T> static T Wrap(const std::shared_ptr<XmlDocumentState>& state, xmlNodePtr node) {
        T wrapper;
        if (!state || !node)
            return wrapper;
        wrapper.m_document = state;
        wrapper.m_node = node == reinterpret_cast<xmlNodePtr>(state->current.doc) ? nullptr : node;
        return wrapper;
    }
    static CXMLDOMDocument WrapDocument(const std::shared_ptr<XmlDocumentState>& state);
    static CXMLDOMNamedNodeMap WrapAttributes(const std::shared_ptr<XmlDocumentState>& state,
                                              xmlNodePtr element);
    static CXMLDOMParseError WrapParseError(std::shared_ptr<const ParseErrorInfo> error);

    // The libxml2 node of a wrapper (the current document node when the wrapper holds the
    // document itself); null for an empty wrapper.
    static xmlNodePtr Node(const CXMLDOMNode& node) {
        if (!node.m_document)
            return nullptr;
        return node.m_node ? node.m_node : reinterpret_cast<xmlNodePtr>(node.m_document->current.doc);
    }
    static const std::shared_ptr<XmlDocumentState>& State(const CXMLDOMNode& node) { return node.m_document; }
    static void SetState(CXMLDOMNode& node, std::shared_ptr<XmlDocumentState> state) {
        node.m_document = std::move(state);
        node.m_node = nullptr;
    }
};

// A node's type as the DOM numbers it (libxml2's DTD node is the document type).
LONG DomNodeType(const xmlNode* node);
bool IsDocumentNode(const xmlNode* node);

// Attributes of an element by qualified name.
xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view utf8Name);
// Replaces the children of node by one text node holding text as it is. The old children go to
// the detached list, so wrappers of them stay valid.
bool SetNodeText(XmlDocumentState& state, xmlNodePtr node, const std::string& text);
// Links a node that has no parent as the last child (or attribute) of parent.
void LinkLast(xmlNodePtr parent, xmlNodePtr child);
// Detaches a node from its parent into the detached list.
void Unlink(XmlDocumentState& state, xmlNodePtr node);

} // namespace jxxml
