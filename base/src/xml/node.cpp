#include <libxml/parser.h>

#include "jxbase/trace.h"
#include "jxplat/text.h"
#include "xml_state.h"

using jxxml::Fail;
using jxxml::XmlAccess;

namespace {

// Kinds of node whose children are visible as DOM children.
bool _node_HasDomChildren(const xmlNode* node) {
    return node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE ||
           jxxml::IsDocumentNode(node) || node->type == XML_DOCUMENT_FRAG_NODE;
}

xmlNodePtr _node_FirstChild(const xmlNode* node) {
    return _node_HasDomChildren(node) ? node->children : nullptr;
}

// An attribute has no DOM siblings.
xmlNodePtr _node_Next(const xmlNode* node) {
    return node->type == XML_ATTRIBUTE_NODE ? nullptr : node->next;
}

xmlNodePtr _node_FindFrom(xmlNodePtr node, const WCHAR* name) {
    const std::string wanted = jxxml::ToXml(name);
    for (; node; node = _node_Next(node)) {
        if (jxxml::QualifiedNameUtf8(node) == wanted)
            return node;
    }
    return nullptr;
}

std::u16string _node_Trim(const std::u16string& text) {
    const std::u16string_view blanks = u" \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::u16string::npos)
        return std::u16string();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool _node_IsAncestorOrSelf(const xmlNode* candidate, const xmlNode* node) {
    for (; node; node = node->parent) {
        if (node == candidate)
            return true;
    }
    return false;
}

// What the DOM lets a parent take as a child.
bool _node_AcceptsChild(const xmlNode* parent, const xmlNode* child) {
    switch (child->type) {
    case XML_ELEMENT_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
        break;
    default:
        return false;
    }
    if (parent->type == XML_ELEMENT_NODE || parent->type == XML_DOCUMENT_FRAG_NODE)
        return true;
    if (!jxxml::IsDocumentNode(parent))
        return false;
    if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)
        return false;
    // One document element only.
    xmlNodePtr root = xmlDocGetRootElement(reinterpret_cast<const xmlDoc*>(parent));
    return child->type != XML_ELEMENT_NODE || root == nullptr || root == child;
}

} // namespace

CXMLDOMNode::~CXMLDOMNode() = default;

bool CXMLDOMNode::IsSameNode(const CXMLDOMNode& other) const {
    return XmlAccess::Node(*this) == XmlAccess::Node(other);
}

LONG CXMLDOMNode::GetNodeType() const {
    xmlNodePtr node = XmlAccess::Node(*this);
    return node ? jxxml::DomNodeType(node) : NODE_INVALID;
}

std::u16string CXMLDOMNode::GetNodeName() const {
    xmlNodePtr node = XmlAccess::Node(*this);
    return node ? jxxml::QualifiedName(node) : std::u16string();
}

std::u16string CXMLDOMNode::GetText() const {
    xmlNodePtr node = XmlAccess::Node(*this);
    if (!node || node->type == XML_DTD_NODE)
        return std::u16string();
    xmlChar* content = xmlNodeGetContent(node);
    std::u16string text = jxxml::FromXml(content);
    xmlFree(content);
    if (node->type == XML_ELEMENT_NODE || jxxml::IsDocumentNode(node)) {
        xmlNodePtr scope =
            node->type == XML_ELEMENT_NODE ? node : xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(node));
        if (!scope || xmlNodeGetSpacePreserve(scope) != 1)
            text = _node_Trim(text);
    }
    return text;
}

CXMLDOMNode CXMLDOMNode::GetFirstChild() const {
    xmlNodePtr node = XmlAccess::Node(*this);
    return node ? XmlAccess::Wrap<CXMLDOMNode>(m_document, _node_FirstChild(node)) : CXMLDOMNode();
}

CXMLDOMNode CXMLDOMNode::GetNextSibling() const {
    xmlNodePtr node = XmlAccess::Node(*this);
    return node ? XmlAccess::Wrap<CXMLDOMNode>(m_document, _node_Next(node)) : CXMLDOMNode();
}

CXMLDOMNode CXMLDOMNode::GetParentNode() const {
    xmlNodePtr node = XmlAccess::Node(*this);
    if (!node || node->type == XML_ATTRIBUTE_NODE)
        return CXMLDOMNode();
    return XmlAccess::Wrap<CXMLDOMNode>(m_document, node->parent);
}

CXMLDOMDocument CXMLDOMNode::GetOwnerDocument() const {
    xmlNodePtr node = XmlAccess::Node(*this);
    if (!node || jxxml::IsDocumentNode(node))
        return CXMLDOMDocument();
    return XmlAccess::WrapDocument(m_document);
}

CXMLDOMNamedNodeMap CXMLDOMNode::GetAttributes() const {
    return XmlAccess::WrapAttributes(m_document, XmlAccess::Node(*this));
}

bool CXMLDOMNode::HasChildNodes() const {
    xmlNodePtr node = XmlAccess::Node(*this);
    return node && _node_FirstChild(node) != nullptr;
}

CXMLDOMNode CXMLDOMNode::GetFirstChildByName(const WCHAR* name) const {
    xmlNodePtr node = XmlAccess::Node(*this);
    if (!node)
        return CXMLDOMNode();
    return XmlAccess::Wrap<CXMLDOMNode>(m_document, _node_FindFrom(_node_FirstChild(node), name));
}

CXMLDOMNode CXMLDOMNode::GetNextSiblingByName(const WCHAR* name) const {
    xmlNodePtr node = XmlAccess::Node(*this);
    if (!node)
        return CXMLDOMNode();
    return XmlAccess::Wrap<CXMLDOMNode>(m_document, _node_FindFrom(_node_Next(node), name));
}

CXMLDOMAttribute CXMLDOMNode::GetAttributeNode(const WCHAR* name) const {
    xmlAttrPtr attribute = jxxml::FindAttribute(XmlAccess::Node(*this), jxxml::ToXml(name));
    return XmlAccess::Wrap<CXMLDOMAttribute>(m_document, reinterpret_cast<xmlNodePtr>(attribute));
}

std::u16string CXMLDOMNode::GetAttribute(const WCHAR* name) const {
    xmlAttrPtr attribute = jxxml::FindAttribute(XmlAccess::Node(*this), jxxml::ToXml(name));
    if (!attribute)
        return std::u16string();
    xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute));
    std::u16string text = jxxml::FromXml(value);
    xmlFree(value);
    return text;
}

bool CXMLDOMNode::ReadAttribute(const WCHAR* name, std::u16string& text) const {
    if (!GetAttributeNode(name))
        return false;
    std::u16string value = GetAttribute(name);
    if (value == text)
        return false;
    text = std::move(value);
    return true;
}

CXMLDOMNode CXMLDOMNode::SelectSingleNode(const WCHAR* query) const {
    xmlNodePtr node = XmlAccess::Node(*this);
    if (!node)
        return Fail<CXMLDOMNode>(E_POINTER);
    std::vector<xmlNodePtr> found;
    HRESULT hr = S_OK;
    if (!jxxml::SelectXPath(node, query, true, found, hr))
        return Fail<CXMLDOMNode>(hr);
    return found.empty() ? CXMLDOMNode() : XmlAccess::Wrap<CXMLDOMNode>(m_document, found.front());
}

std::vector<CXMLDOMNode> CXMLDOMNode::SelectNodes(const WCHAR* query) const {
    std::vector<CXMLDOMNode> nodes;
    xmlNodePtr node = XmlAccess::Node(*this);
    if (!node)
        return Fail<std::vector<CXMLDOMNode>>(E_POINTER);
    std::vector<xmlNodePtr> found;
    HRESULT hr = S_OK;
    if (!jxxml::SelectXPath(node, query, false, found, hr))
        return Fail<std::vector<CXMLDOMNode>>(hr);
    nodes.reserve(found.size());
    for (xmlNodePtr each : found)
        nodes.push_back(XmlAccess::Wrap<CXMLDOMNode>(m_document, each));
    return nodes;
}

CXMLDOMNode CXMLDOMNode::AppendChild(const CXMLDOMNode& newChild) {
    xmlNodePtr parent = XmlAccess::Node(*this);
    xmlNodePtr child = XmlAccess::Node(newChild);
    if (!parent || !child)
        return Fail<CXMLDOMNode>(E_POINTER);
    xmlDocPtr doc = jxxml::IsDocumentNode(parent) ? reinterpret_cast<xmlDocPtr>(parent) : parent->doc;
    if (!_node_AcceptsChild(parent, child) || _node_IsAncestorOrSelf(child, parent)) {
        JX_ENGINE_TRACE(1, u"CXMLDOMNode::AppendChild", u"A %s cannot take a %s as child.",
                        jxxml::QualifiedName(parent).c_str(), jxxml::QualifiedName(child).c_str());
        return Fail<CXMLDOMNode>(E_INVALIDARG);
    }
    if (child->doc != doc) {
        // A node of another tree is copied into this one: trees never share nodes.
        child = xmlDocCopyNode(child, doc, 1);
        if (!child)
            return Fail<CXMLDOMNode>(E_OUTOFMEMORY);
    } else if (child->parent) {
        xmlUnlinkNode(child);
    }
    jxxml::LinkLast(parent, child);
    if (child->type == XML_ELEMENT_NODE)
        xmlReconciliateNs(doc, child); // namespaces the moved subtree uses are declared in its new place
    return XmlAccess::Wrap<CXMLDOMNode>(m_document, child);
}

CXMLDOMNode CXMLDOMNode::AppendNewNode(LONG nodeType, const WCHAR* name, const WCHAR* namespaceUri) {
    if (!XmlAccess::Node(*this))
        return Fail<CXMLDOMNode>(E_POINTER);
    CXMLDOMDocument owner = XmlAccess::WrapDocument(m_document);
    CXMLDOMNode node = owner.CreateNode(nodeType, name, namespaceUri);
    if (!node)
        return CXMLDOMNode();
    return AppendChild(node);
}

CXMLDOMAttribute CXMLDOMNode::SetAttribute(const WCHAR* name, const WCHAR* value) {
    xmlNodePtr element = XmlAccess::Node(*this);
    if (!element)
        return Fail<CXMLDOMAttribute>(E_POINTER);
    if (element->type != XML_ELEMENT_NODE)
        return Fail<CXMLDOMAttribute>(E_NOINTERFACE);
    const std::string utf8Name = jxxml::ToXml(name);
    xmlAttrPtr attribute = jxxml::FindAttribute(element, utf8Name);
    if (attribute) {
        if (!jxxml::SetNodeText(*m_document, reinterpret_cast<xmlNodePtr>(attribute), jxxml::ToXml(value)))
            return Fail<CXMLDOMAttribute>(E_OUTOFMEMORY);
        return XmlAccess::Wrap<CXMLDOMAttribute>(m_document, reinterpret_cast<xmlNodePtr>(attribute));
    }
    if (xmlValidateQName(BAD_CAST utf8Name.c_str(), 0) != 0)
        return Fail<CXMLDOMAttribute>(E_INVALIDARG);
    attribute = xmlNewDocProp(element->doc, BAD_CAST utf8Name.c_str(), nullptr);
    if (!attribute)
        return Fail<CXMLDOMAttribute>(E_OUTOFMEMORY);
    xmlNodePtr attributeNode = reinterpret_cast<xmlNodePtr>(attribute);
    if (!jxxml::SetNodeText(*m_document, attributeNode, jxxml::ToXml(value))) {
        xmlFreeProp(attribute);
        return Fail<CXMLDOMAttribute>(E_OUTOFMEMORY);
    }
    jxxml::LinkLast(element, attributeNode);
    return XmlAccess::Wrap<CXMLDOMAttribute>(m_document, attributeNode);
}
