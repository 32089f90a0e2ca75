// Element and attribute wrappers: nodes of those kinds with their few operations of their own.
#pragma once

#include "jxbase/xml/node.h"

class CXMLDOMElement : public CXMLDOMNode {
public:
    CXMLDOMElement() = default;
    // Takes over the other wrapper's node (any kind); the old one is let go.
    void Assign(const CXMLDOMNode& other) { CXMLDOMNode::operator=(other); }
};

class CXMLDOMAttribute : public CXMLDOMNode {
public:
    CXMLDOMAttribute() = default;
    // Replaces the value; the text is stored as it is (no entity references are interpreted).
    bool SetValue(const WCHAR* value);
};
