#include "xml_state.h"

bool CXMLDOMAttribute::SetValue(const WCHAR* value) {
    xmlNodePtr node = jxxml::XmlAccess::Node(*this);
    if (!node)
        return jxxml::Fail<bool>(E_POINTER);
    if (node->type != XML_ATTRIBUTE_NODE)
        return jxxml::Fail<bool>(E_NOINTERFACE);
    if (!jxxml::SetNodeText(*m_document, node, jxxml::ToXml(value)))
        return jxxml::Fail<bool>(E_OUTOFMEMORY);
    return true;
}
