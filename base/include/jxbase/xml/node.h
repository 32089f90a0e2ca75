// Wrapper of one node of an XML document. A wrapper keeps its document alive: the libxml2 tree
// is freed when the last wrapper of the document (document, node, map or attribute) goes.
// Copies share the node. Operations on an empty wrapper return empty results; failures leave an
// empty result or false and put the HRESULT into the thread's last error.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

struct _xmlNode;

namespace jxxml {
struct XmlDocumentState;
struct XmlAccess;
} // namespace jxxml

class CXMLDOMAttribute;
class CXMLDOMDocument;
class CXMLDOMNamedNodeMap;

// DOM node type numbers, as callers pass them to CreateNode and read them from GetNodeType.
enum DOMNodeType : LONG {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_ENTITY_REFERENCE = 5,
    NODE_ENTITY = 6,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
    NODE_DOCUMENT_FRAGMENT = 11,
    NODE_NOTATION = 12,
};

class CXMLDOMNode {
public:
    CXMLDOMNode() = default;
    CXMLDOMNode(const CXMLDOMNode&) = default;
    CXMLDOMNode(CXMLDOMNode&&) = default;
    CXMLDOMNode& operator=(const CXMLDOMNode&) = default;
    CXMLDOMNode& operator=(CXMLDOMNode&&) = default;
    virtual ~CXMLDOMNode();

    bool IsEmpty() const { return !m_document; }
    explicit operator bool() const { return !IsEmpty(); }
    // True when both wrappers hold the same node.
    bool IsSameNode(const CXMLDOMNode& other) const;

    LONG GetNodeType() const;
    // "#text", "#comment", "#cdata-section", "#document" for those kinds; the qualified name otherwise.
    std::u16string GetNodeName() const;
    // An attribute's value, a text or comment's content; for an element or the document the
    // text of all descendant text and CDATA nodes, outer white space trimmed unless
    // xml:space="preserve" applies.
    std::u16string GetText() const;

    CXMLDOMNode GetFirstChild() const;
    CXMLDOMNode GetNextSibling() const;
    CXMLDOMNode GetParentNode() const;
    // The document object; empty for the document itself.
    CXMLDOMDocument GetOwnerDocument() const;
    // The attributes of an element; empty for every other kind of node.
    CXMLDOMNamedNodeMap GetAttributes() const;
    bool HasChildNodes() const;

    // Node names are compared exactly, with case.
    CXMLDOMNode GetFirstChildByName(const WCHAR* name) const;
    CXMLDOMNode GetNextSiblingByName(const WCHAR* name) const;

    CXMLDOMAttribute GetAttributeNode(const WCHAR* name) const;
    // "" for a missing attribute, as for an empty one.
    std::u16string GetAttribute(const WCHAR* name) const;
    // Copies the attribute's text into text when the attribute exists and its text differs;
    // true only then ("changed"), so a present attribute equal to text answers false.
    bool ReadAttribute(const WCHAR* name, std::u16string& text) const;

    // XPath 1.0 from this node. No match is an empty result, not a failure; an invalid query
    // or one that yields no node set fails with E_INVALIDARG.
    CXMLDOMNode SelectSingleNode(const WCHAR* query) const;
    std::vector<CXMLDOMNode> SelectNodes(const WCHAR* query) const;

    // Appends newChild (moved when it is in this document, copied from another one) and returns
    // the appended node.
    CXMLDOMNode AppendChild(const CXMLDOMNode& newChild);
    // CreateNode in the owner document (the document itself when this is the document), then
    // AppendChild.
    CXMLDOMNode AppendNewNode(LONG nodeType, const WCHAR* name, const WCHAR* namespaceUri);
    // Elements only: replaces the value of the attribute or adds a new one.
    CXMLDOMAttribute SetAttribute(const WCHAR* name, const WCHAR* value);

protected:
    friend struct jxxml::XmlAccess;

    std::shared_ptr<jxxml::XmlDocumentState> m_document;
    // Null while m_document is set: the node is the document itself.
    _xmlNode* m_node = nullptr;
};
