#include "jxbase/trace.h"
#include "xml_state.h"

using jxxml::Fail;
using jxxml::XmlAccess;

CXMLDOMNamedNodeMap::~CXMLDOMNamedNodeMap() = default;

LONG CXMLDOMNamedNodeMap::GetLength() const {
    LONG count = 0;
    for (xmlAttrPtr attribute = m_element ? m_element->properties : nullptr; attribute;
         attribute = attribute->next)
        ++count;
    return count;
}

CXMLDOMNode CXMLDOMNamedNodeMap::GetItem(LONG index) const {
    LONG position = 0;
    for (xmlAttrPtr attribute = m_element ? m_element->properties : nullptr; attribute;
         attribute = attribute->next) {
        if (position++ == index)
            return XmlAccess::Wrap<CXMLDOMNode>(m_document, reinterpret_cast<xmlNodePtr>(attribute));
    }
    return CXMLDOMNode();
}

CXMLDOMNode CXMLDOMNamedNodeMap::GetNamedItem(const WCHAR* name) const {
    xmlAttrPtr attribute = jxxml::FindAttribute(m_element, jxxml::ToXml(name));
    return XmlAccess::Wrap<CXMLDOMNode>(m_document, reinterpret_cast<xmlNodePtr>(attribute));
}

CXMLDOMNode CXMLDOMNamedNodeMap::SetNamedItem(const CXMLDOMNode& attribute) {
    xmlNodePtr node = XmlAccess::Node(attribute);
    if (!m_element || !node)
        return Fail<CXMLDOMNode>(E_POINTER);
    if (node->type != XML_ATTRIBUTE_NODE)
        return Fail<CXMLDOMNode>(E_INVALIDARG);
    if (node->parent == m_element)
        return XmlAccess::Wrap<CXMLDOMNode>(m_document, node);
    if (node->doc != m_element->doc) {
        // From another tree: a copy for this element, still without a parent.
        xmlAttrPtr copy = xmlCopyProp(m_element, reinterpret_cast<xmlAttrPtr>(node));
        if (!copy)
            return Fail<CXMLDOMNode>(E_OUTOFMEMORY);
        copy->parent = nullptr;
        node = reinterpret_cast<xmlNodePtr>(copy);
    } else if (node->parent) {
        JX_ENGINE_TRACE(1, u"CXMLDOMNamedNodeMap::SetNamedItem", u"Attribute %s belongs to another element.",
                        jxxml::QualifiedName(node).c_str());
        return Fail<CXMLDOMNode>(E_FAIL);
    }
    if (xmlAttrPtr existing = jxxml::FindAttribute(m_element, jxxml::QualifiedNameUtf8(node)))
        jxxml::Unlink(*m_document, reinterpret_cast<xmlNodePtr>(existing));
    jxxml::LinkLast(m_element, node);
    return XmlAccess::Wrap<CXMLDOMNode>(m_document, node);
}
