// The attribute collection of an element.
#pragma once

#include "jxbase/xml/node.h"

class CXMLDOMNamedNodeMap {
public:
    CXMLDOMNamedNodeMap() = default;
    virtual ~CXMLDOMNamedNodeMap();

    bool IsEmpty() const { return !m_document; }
    explicit operator bool() const { return !IsEmpty(); }

    LONG GetLength() const;
    CXMLDOMNode GetItem(LONG index) const;
    // The attribute with this qualified name; an empty wrapper when there is none.
    CXMLDOMNode GetNamedItem(const WCHAR* name) const;
    // Adds an attribute of this document (or a copy of one from another document) to the
    // element, replacing one of the same name. An attribute that belongs to another element is
    // refused. Returns the attribute now in the collection.
    CXMLDOMNode SetNamedItem(const CXMLDOMNode& attribute);

private:
    friend struct jxxml::XmlAccess;

    std::shared_ptr<jxxml::XmlDocumentState> m_document;
    _xmlNode* m_element = nullptr;
};
