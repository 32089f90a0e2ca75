#include "xml_state.h"

#include <unordered_set>

#include <libxml/globals.h>

#include "jxplat/text.h"

namespace jxxml {

namespace {

// Frees the detached nodes that still have no parent (a detached node that got a parent is
// freed with it), then the tree.
void _xml_FreeTree(XmlTree& tree) {
    std::vector<xmlNodePtr> roots;
    std::unordered_set<xmlNodePtr> seen;
    for (xmlNodePtr node : tree.detached) {
        if (node->parent == nullptr && seen.insert(node).second)
            roots.push_back(node);
    }
    for (xmlNodePtr node : roots)
        xmlFreeNode(node); // frees an attribute as xmlFreeProp does
    tree.detached.clear();
    if (tree.doc)
        xmlFreeDoc(tree.doc);
    tree.doc = nullptr;
}

} // namespace

XmlDocumentState::~XmlDocumentState() {
    for (XmlTree& tree : retired)
        _xml_FreeTree(tree);
    _xml_FreeTree(current);
}

void XmlDocumentState::ReplaceTree(xmlDocPtr doc, bool othersMayPointIn) {
    if (current.doc) {
        if (othersMayPointIn)
            retired.push_back(std::move(current));
        else
            _xml_FreeTree(current);
    }
    current = XmlTree();
    current.doc = doc;
    indentOnSave = false;
}

void XmlDocumentState::AdoptDetached(xmlNodePtr node) {
    if (!node)
        return;
    XmlTree* tree = &current;
    for (XmlTree& old : retired) {
        if (old.doc == node->doc)
            tree = &old;
    }
    tree->detached.push_back(node);
}

std::u16string FromXml(const xmlChar* text) {
    if (!text)
        return std::u16string();
    return jxtext::Utf8ToUtf16(reinterpret_cast<const char*>(text));
}

std::string ToXml(const WCHAR* text) {
    if (!text)
        return std::string();
    return jxtext::Utf16ToUtf8(text);
}

std::string QualifiedNameUtf8(const xmlNode* node) {
    auto text = [](const xmlChar* value) {
        return std::string(value ? reinterpret_cast<const char*>(value) : "");
    };
    switch (node->type) {
    case XML_TEXT_NODE:
        return "#text";
    case XML_CDATA_SECTION_NODE:
        return "#cdata-section";
    case XML_COMMENT_NODE:
        return "#comment";
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
        return "#document";
    case XML_DOCUMENT_FRAG_NODE:
        return "#document-fragment";
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
        if (node->ns && node->ns->prefix)
            return text(node->ns->prefix) + ":" + text(node->name);
        return text(node->name);
    default:
        return text(node->name);
    }
}

std::u16string QualifiedName(const xmlNode* node) {
    return jxtext::Utf8ToUtf16(QualifiedNameUtf8(node));
}

bool IsXmlSpace(const xmlChar* text) {
    for (; text && *text; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n')
            return false;
    }
    return true;
}

LONG DomNodeType(const xmlNode* node) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_ENTITY_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
    case XML_DOCUMENT_NODE:
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DOCUMENT_FRAG_NODE:
    case XML_NOTATION_NODE:
        return static_cast<LONG>(node->type);
    case XML_HTML_DOCUMENT_NODE:
        return NODE_DOCUMENT;
    case XML_DTD_NODE:
        return NODE_DOCUMENT_TYPE;
    default:
        return NODE_INVALID;
    }
}

bool IsDocumentNode(const xmlNode* node) {
    return node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE;
}

xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view utf8Name) {
    if (!element || element->type != XML_ELEMENT_NODE)
        return nullptr;
    for (xmlAttrPtr attribute = element->properties; attribute; attribute = attribute->next) {
        if (QualifiedNameUtf8(reinterpret_cast<xmlNodePtr>(attribute)) == utf8Name)
            return attribute;
    }
    return nullptr;
}

void Unlink(XmlDocumentState& state, xmlNodePtr node) {
    if (!node || !node->parent)
        return;
    xmlUnlinkNode(node);
    state.AdoptDetached(node);
}

bool SetNodeText(XmlDocumentState& state, xmlNodePtr node, const std::string& text) {
    // Built before anything changes, so a failure leaves the node as it was.
    xmlNodePtr textNode = xmlNewDocText(node->doc, reinterpret_cast<const xmlChar*>(text.c_str()));
    if (!textNode)
        return false;
    while (node->children)
        Unlink(state, node->children);
    LinkLast(node, textNode);
    return true;
}

void LinkLast(xmlNodePtr parent, xmlNodePtr child) {
    if (child->type == XML_ATTRIBUTE_NODE) {
        xmlAttrPtr attribute = reinterpret_cast<xmlAttrPtr>(child);
        attribute->parent = parent;
        attribute->next = nullptr;
        attribute->prev = nullptr;
        if (!parent->properties) {
            parent->properties = attribute;
            return;
        }
        xmlAttrPtr last = parent->properties;
        while (last->next)
            last = last->next;
        last->next = attribute;
        attribute->prev = last;
        return;
    }
    // Linked by hand: xmlAddChild would merge adjacent text nodes and free the one a wrapper holds.
    child->parent = parent;
    child->next = nullptr;
    child->prev = parent->last;
    if (parent->last)
        parent->last->next = child;
    else
        parent->children = child;
    parent->last = child;
}

namespace {

void _xml_IgnoreGeneric(void*, const char*, ...) {}

} // namespace

QuietXmlErrors::QuietXmlErrors()
    : m_generic(xmlGenericError), m_genericContext(xmlGenericErrorContext), m_structured(xmlStructuredError),
      m_structuredContext(xmlStructuredErrorContext) {
    xmlSetGenericErrorFunc(nullptr, _xml_IgnoreGeneric);
    xmlSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) {});
}

QuietXmlErrors::~QuietXmlErrors() {
    xmlSetGenericErrorFunc(m_genericContext, m_generic);
    xmlSetStructuredErrorFunc(m_structuredContext, m_structured);
}

xmlNodePtr AdoptParse(XmlDocumentState& state, ParseResult&& result, bool othersMayPointIn) {
    state.parseError = std::make_shared<const ParseErrorInfo>(std::move(result.error));
    xmlDocPtr doc = result.doc ? result.doc : xmlNewDoc(BAD_CAST "1.0");
    state.ReplaceTree(doc, othersMayPointIn);
    return doc ? xmlDocGetRootElement(doc) : nullptr;
}

CXMLDOMDocument XmlAccess::WrapDocument(const std::shared_ptr<XmlDocumentState>& state) {
    CXMLDOMDocument document;
    SetState(document, state);
    return document;
}

CXMLDOMNamedNodeMap XmlAccess::WrapAttributes(const std::shared_ptr<XmlDocumentState>& state,
                                              xmlNodePtr element) {
    CXMLDOMNamedNodeMap map;
    if (!state || !element || element->type != XML_ELEMENT_NODE)
        return map;
    map.m_document = state;
    map.m_element = element;
    return map;
}

CXMLDOMParseError XmlAccess::WrapParseError(std::shared_ptr<const ParseErrorInfo> error) {
    CXMLDOMParseError wrapper;
    wrapper.m_error = std::move(error);
    return wrapper;
}

} // namespace jxxml
