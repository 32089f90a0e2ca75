// An XML document over libxml2. Loading parses with network access, DTD loading and external
// entities refused; internal entities are substituted, white-space-only text is dropped and
// comments are kept. A failed load leaves the document empty and its parse error filled.
#pragma once

#include "jxbase/xml/element.h"
#include "jxbase/xml/parse_error.h"

class CXMLDOMDocument : public CXMLDOMNode {
public:
    // Argument of Reformat.
    struct FormatOptions {
        bool omitXmlDeclaration = false;
        bool standalone = false;
        bool indent = false;
        bool escapeOutput = true;
        std::u16string encoding = u"UTF-16";
    };

    CXMLDOMDocument() = default;

    // A new, empty document in this wrapper.
    bool Create();

    // Loads a local file by its Windows path (URLs are refused). The encoding comes from the
    // byte-order mark or the declaration (UTF-8 without either). Returns the document element,
    // or an empty element with E_FAIL as last error when the file did not load.
    CXMLDOMElement Load(const WCHAR* path);
    // The same from text; an encoding declaration in the text is kept for Save but does not
    // change how the text is read.
    CXMLDOMElement LoadXml(const WCHAR* text);
    // The same from the bytes of a file held in memory.
    CXMLDOMElement LoadBytes(const BYTE* data, size_t size);

    CXMLDOMElement GetDocumentElement() const;
    CXMLDOMParseError GetParseError() const;

    // Writes the document to a file in the encoding of its declaration, UTF-8 when it has none;
    // a document without a declaration is written without one. A missing or empty path fails
    // with E_INVALIDARG. The file is replaced only when the whole document was written.
    bool Save(const WCHAR* path);

    CXMLDOMElement CreateElement(const WCHAR* tagName);
    CXMLDOMAttribute CreateAttribute(const WCHAR* name);
    // Element, attribute, text, CDATA section, processing instruction or comment. Names must be
    // valid XML names; the XML declaration is not a node here (Reformat sets it).
    CXMLDOMNode CreateNode(LONG nodeType, const WCHAR* name, const WCHAR* namespaceUri);

    // Rewrites the document in place through the XML writer: declaration, standalone flag,
    // indentation and encoding as asked; later saves keep them. True when both the writing and
    // the parsing of the result succeeded; otherwise the document is unchanged.
    bool Reformat(const FormatOptions& options);
};
