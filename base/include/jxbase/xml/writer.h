// The reformatting pipeline behind CXMLDOMDocument::Reformat: an XML writer with its output
// settings, fed by a reader that walks a source document, writing into a target document.
#pragma once

#include "jxbase/xml/document.h"

namespace jxxml {
struct XmlWriterState;
}

class CMXWriter {
public:
    CMXWriter() = default;
    virtual ~CMXWriter();

    bool IsEmpty() const { return !m_writer; }
    bool Create();

    bool SetOmitXMLDeclaration(bool omit);
    bool SetStandalone(bool standalone);
    bool SetIndent(bool indent);
    bool SetDisableOutputEscaping(bool disable);
    // An encoding libxml2 knows ("UTF-8", "UTF-16", "ISO-8859-1", ...); E_INVALIDARG otherwise.
    bool SetEncoding(const WCHAR* encoding);
    // The document that receives what is written; its content is replaced.
    bool SetOutput(const CXMLDOMDocument& output);

private:
    friend class CSAXXMLReader;

    std::shared_ptr<jxxml::XmlWriterState> m_writer;
};

class CSAXXMLReader {
public:
    CSAXXMLReader() = default;
    virtual ~CSAXXMLReader();

    bool IsEmpty() const { return !m_created; }
    bool Create();
    // The writer receives the content, declaration and errors of what is parsed.
    bool PutContentHandler(const CMXWriter& writer);
    // Walks the source document into the writer, which writes its output document.
    bool Parse(const CXMLDOMDocument& source);

private:
    bool m_created = false;
    std::shared_ptr<jxxml::XmlWriterState> m_writer;
};
