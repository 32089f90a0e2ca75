#include <libxml/encoding.h>
#include <libxml/parserInternals.h>

#include "jxbase/trace.h"
#include "xml_state.h"

using jxxml::Fail;
using jxxml::XmlAccess;

namespace {

// Text written without escaping: libxml2 writes text nodes carrying this name as they are.
void _writer_MarkUnescaped(xmlNodePtr node) {
    for (; node; node = node->next) {
        if (node->type == XML_TEXT_NODE)
            node->name = xmlStringTextNoenc;
        else if (node->type == XML_ELEMENT_NODE)
            _writer_MarkUnescaped(node->children);
    }
}

// Writes the source as text with the writer's settings and parses that text into the output
// document. The output changes only when the text parses.
bool _writer_Write(const jxxml::XmlWriterState& writer, const CXMLDOMDocument& source) {
    const std::shared_ptr<jxxml::XmlDocumentState> output = writer.output.lock();
    xmlNodePtr sourceNode = XmlAccess::Node(source);
    if (!output || !sourceNode || !jxxml::IsDocumentNode(sourceNode))
        return Fail<bool>(E_UNEXPECTED);
    xmlDocPtr sourceDoc = reinterpret_cast<xmlDocPtr>(sourceNode);

    xmlDocPtr copy = nullptr;
    if (writer.disableOutputEscaping) {
        copy = xmlCopyDoc(sourceDoc, 1);
        if (!copy)
            return Fail<bool>(E_OUTOFMEMORY);
        _writer_MarkUnescaped(copy->children);
    }
    std::string text;
    HRESULT hr = S_OK;
    const bool written = jxxml::SerializeDocument(copy ? copy : sourceDoc, "UTF-8", false, false, text, hr);
    if (copy)
        xmlFreeDoc(copy);
    if (!written)
        return Fail<bool>(hr);

    jxxml::ParseResult parsed = jxxml::ParseBytes(reinterpret_cast<const BYTE*>(text.data()), text.size());
    if (!parsed.doc) {
        JX_ENGINE_TRACE(1, u"CSAXXMLReader::Parse", u"The written document does not parse: %s",
                        parsed.error.reason.c_str());
        return Fail<bool>(parsed.error.code);
    }
    xmlDocPtr doc = parsed.doc;
    if (doc->encoding)
        xmlFree(const_cast<xmlChar*>(doc->encoding));
    doc->encoding = xmlStrdup(BAD_CAST writer.encoding.c_str());
    doc->standalone = writer.omitDeclaration ? -1 : (writer.standalone ? 1 : 0);
    // The output and this function hold the state; anyone else may point into the old tree.
    jxxml::AdoptParse(*output, std::move(parsed), output.use_count() > 2);
    output->indentOnSave = writer.indent;
    return true;
}

} // namespace

CMXWriter::~CMXWriter() = default;

bool CMXWriter::Create() {
    jxxml::XmlInit();
    m_writer = std::make_shared<jxxml::XmlWriterState>();
    return true;
}

bool CMXWriter::SetOmitXMLDeclaration(bool omit) {
    if (!m_writer)
        return Fail<bool>(E_POINTER);
    m_writer->omitDeclaration = omit;
    return true;
}

bool CMXWriter::SetStandalone(bool standalone) {
    if (!m_writer)
        return Fail<bool>(E_POINTER);
    m_writer->standalone = standalone;
    return true;
}

bool CMXWriter::SetIndent(bool indent) {
    if (!m_writer)
        return Fail<bool>(E_POINTER);
    m_writer->indent = indent;
    return true;
}

bool CMXWriter::SetDisableOutputEscaping(bool disable) {
    if (!m_writer)
        return Fail<bool>(E_POINTER);
    m_writer->disableOutputEscaping = disable;
    return true;
}

bool CMXWriter::SetEncoding(const WCHAR* encoding) {
    if (!m_writer)
        return Fail<bool>(E_POINTER);
    const std::string name = jxxml::ToXml(encoding);
    xmlCharEncodingHandlerPtr handler = name.empty() ? nullptr : xmlFindCharEncodingHandler(name.c_str());
    if (!handler) {
        JX_ENGINE_TRACE(1, u"CMXWriter::SetEncoding", u"Unknown encoding \"%S\".", name.c_str());
        return Fail<bool>(E_INVALIDARG);
    }
    xmlCharEncCloseFunc(handler);
    m_writer->encoding = name;
    return true;
}

bool CMXWriter::SetOutput(const CXMLDOMDocument& output) {
    if (!m_writer)
        return Fail<bool>(E_POINTER);
    if (!XmlAccess::State(output))
        return Fail<bool>(E_INVALIDARG);
    m_writer->output = XmlAccess::State(output);
    return true;
}

CSAXXMLReader::~CSAXXMLReader() = default;

bool CSAXXMLReader::Create() {
    jxxml::XmlInit();
    m_created = true;
    return true;
}

bool CSAXXMLReader::PutContentHandler(const CMXWriter& writer) {
    if (!m_created)
        return Fail<bool>(E_POINTER);
    if (!writer.m_writer)
        return Fail<bool>(E_INVALIDARG);
    m_writer = writer.m_writer;
    return true;
}

bool CSAXXMLReader::Parse(const CXMLDOMDocument& source) {
    if (!m_created)
        return Fail<bool>(E_POINTER);
    if (!m_writer)
        return Fail<bool>(E_UNEXPECTED);
    return _writer_Write(*m_writer, source);
}
