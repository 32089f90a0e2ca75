#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libxml/parser.h>

#include "jxbase/trace.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "xml_state.h"

using jxxml::Fail;
using jxxml::ParseErrorInfo;
using jxxml::ParseResult;
using jxxml::XmlAccess;

namespace {

ParseResult _doc_Failure(HRESULT code, std::u16string reason) {
    ParseResult result;
    result.error = ParseErrorInfo{code, 0, 0, std::move(reason)};
    return result;
}

// Only paths of this machine: no URL scheme of any kind.
bool _doc_IsLocalPath(std::u16string_view path) {
    return path.find(u"://") == std::u16string_view::npos && !jxtext::StartsWithNoCase(path, u"file:");
}

// The host file behind a Windows path, or the error that explains why it cannot be had.
ParseResult _doc_ReadFile(const WCHAR* path, std::string& bytes) {
    const std::u16string_view windowsPath = path ? path : u"";
    if (windowsPath.empty())
        return _doc_Failure(E_INVALIDARG, u"No file name was given.");
    if (!_doc_IsLocalPath(windowsPath))
        return _doc_Failure(E_ACCESSDENIED, u"Only local files are loaded.");
    const std::string hostPath = jxplat::WindowsToHostPath(windowsPath);
    if (hostPath.empty())
        return _doc_Failure(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
                            u"The system cannot find the path specified.");
    const int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info = {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = fd < 0 ? errno : EISDIR;
        if (fd >= 0)
            close(fd);
        if (error == ENOENT)
            return _doc_Failure(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                                u"The system cannot find the file specified.");
        if (error == ENOTDIR)
            return _doc_Failure(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
                                u"The system cannot find the path specified.");
        return _doc_Failure(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), u"Access is denied.");
    }
    bytes.clear();
    char buffer[65536];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof(buffer))) > 0)
        bytes.append(buffer, static_cast<size_t>(got));
    close(fd);
    if (got < 0)
        return _doc_Failure(HRESULT_FROM_WIN32(ERROR_CANTREAD), u"The file could not be read.");
    return ParseResult();
}

} // namespace

bool CXMLDOMDocument::Create() {
    jxxml::XmlInit();
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    if (!doc)
        return Fail<bool>(E_OUTOFMEMORY);
    auto state = std::make_shared<jxxml::XmlDocumentState>();
    state->ReplaceTree(doc, false);
    state->parseError = std::make_shared<const ParseErrorInfo>();
    XmlAccess::SetState(*this, std::move(state));
    return true;
}

namespace {

// Puts the parse result into the document object and answers as Load does.
CXMLDOMElement _doc_Take(const std::shared_ptr<jxxml::XmlDocumentState>& state, ParseResult&& result) {
    // Other wrappers of this document object may point into the tree being replaced.
    const bool others = state.use_count() > 1;
    xmlNodePtr root = jxxml::AdoptParse(*state, std::move(result), others);
    if (!root)
        return Fail<CXMLDOMElement>(E_FAIL);
    return XmlAccess::Wrap<CXMLDOMElement>(state, root);
}

} // namespace

CXMLDOMElement CXMLDOMDocument::Load(const WCHAR* path) {
    if (!m_document)
        return Fail<CXMLDOMElement>(E_POINTER);
    std::string bytes;
    ParseResult result = _doc_ReadFile(path, bytes);
    if (result.error.code == 0)
        result = jxxml::ParseBytes(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    else
        JX_ENGINE_TRACE(1, u"CXMLDOMDocument::Load", u"%s: %s", path ? path : u"",
                        result.error.reason.c_str());
    return _doc_Take(m_document, std::move(result));
}

CXMLDOMElement CXMLDOMDocument::LoadXml(const WCHAR* text) {
    if (!m_document)
        return Fail<CXMLDOMElement>(E_POINTER);
    return _doc_Take(m_document, jxxml::ParseUtf8Text(jxxml::ToXml(text)));
}

CXMLDOMElement CXMLDOMDocument::LoadBytes(const BYTE* data, size_t size) {
    if (!m_document)
        return Fail<CXMLDOMElement>(E_POINTER);
    return _doc_Take(m_document, jxxml::ParseBytes(data, data ? size : 0));
}

CXMLDOMElement CXMLDOMDocument::GetDocumentElement() const {
    if (!m_document || !m_document->current.doc)
        return CXMLDOMElement();
    return XmlAccess::Wrap<CXMLDOMElement>(m_document, xmlDocGetRootElement(m_document->current.doc));
}

CXMLDOMParseError CXMLDOMDocument::GetParseError() const {
    if (!m_document)
        return Fail<CXMLDOMParseError>(E_POINTER);
    return XmlAccess::WrapParseError(m_document->parseError);
}

bool CXMLDOMDocument::Save(const WCHAR* path) {
    if (!path || !*path)
        return Fail<bool>(E_INVALIDARG);
    if (!m_document || !m_document->current.doc)
        return Fail<bool>(E_POINTER);
    if (!_doc_IsLocalPath(path))
        return Fail<bool>(E_ACCESSDENIED);
    const std::string hostPath = jxplat::WindowsToHostPath(path);
    if (hostPath.empty())
        return Fail<bool>(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    xmlDocPtr doc = m_document->current.doc;
    // The declaration decides the encoding; a document without one is written as UTF-8 without one.
    const std::string encoding = doc->encoding ? reinterpret_cast<const char*>(doc->encoding) : "UTF-8";
    std::string bytes;
    HRESULT hr = S_OK;
    if (!jxxml::SerializeDocument(doc, encoding, doc->standalone == -1, m_document->indentOnSave, bytes,
                                  hr)) {
        JX_ENGINE_TRACE(1, u"CXMLDOMDocument::Save", u"Cannot write the document as %S.", encoding.c_str());
        return Fail<bool>(hr);
    }
    hr = jxxml::WriteHostFile(hostPath, bytes);
    if (FAILED(hr)) {
        JX_ENGINE_TRACE(1, u"CXMLDOMDocument::Save", u"Cannot write %s: %08X", path,
                        static_cast<unsigned>(hr));
        return Fail<bool>(hr);
    }
    return true;
}

CXMLDOMElement CXMLDOMDocument::CreateElement(const WCHAR* tagName) {
    CXMLDOMElement element;
    element.Assign(CreateNode(NODE_ELEMENT, tagName, nullptr));
    return element;
}

CXMLDOMAttribute CXMLDOMDocument::CreateAttribute(const WCHAR* name) {
    CXMLDOMNode node = CreateNode(NODE_ATTRIBUTE, name, nullptr);
    return XmlAccess::Wrap<CXMLDOMAttribute>(XmlAccess::State(node), XmlAccess::Node(node));
}

CXMLDOMNode CXMLDOMDocument::CreateNode(LONG nodeType, const WCHAR* name, const WCHAR* namespaceUri) {
    if (!m_document || !m_document->current.doc)
        return Fail<CXMLDOMNode>(E_POINTER);
    xmlDocPtr doc = m_document->current.doc;
    const std::string utf8Name = jxxml::ToXml(name);
    const std::string uri = jxxml::ToXml(namespaceUri);
    const xmlChar* xmlName = BAD_CAST utf8Name.c_str();
    xmlNodePtr node = nullptr;
    switch (nodeType) {
    case NODE_ELEMENT: {
        if (xmlValidateQName(xmlName, 0) != 0)
            return Fail<CXMLDOMNode>(E_INVALIDARG);
        if (uri.empty()) {
            node = xmlNewDocNode(doc, nullptr, xmlName, nullptr);
            break;
        }
        const size_t colon = utf8Name.find(':');
        const std::string prefix = colon == std::string::npos ? std::string() : utf8Name.substr(0, colon);
        const std::string local = colon == std::string::npos ? utf8Name : utf8Name.substr(colon + 1);
        node = xmlNewDocNode(doc, nullptr, BAD_CAST local.c_str(), nullptr);
        if (node) {
            xmlNsPtr ns =
                xmlNewNs(node, BAD_CAST uri.c_str(), prefix.empty() ? nullptr : BAD_CAST prefix.c_str());
            xmlSetNs(node, ns);
        }
        break;
    }
    case NODE_ATTRIBUTE:
        if (xmlValidateQName(xmlName, 0) != 0)
            return Fail<CXMLDOMNode>(E_INVALIDARG);
        node = reinterpret_cast<xmlNodePtr>(xmlNewDocProp(doc, xmlName, nullptr));
        break;
    case NODE_TEXT:
        node = xmlNewDocText(doc, BAD_CAST "");
        break;
    case NODE_CDATA_SECTION:
        node = xmlNewCDataBlock(doc, BAD_CAST "", 0);
        break;
    case NODE_COMMENT:
        node = xmlNewDocComment(doc, BAD_CAST "");
        break;
    case NODE_PROCESSING_INSTRUCTION:
        // A node named "xml" would be written after the declaration libxml2 writes itself and
        // make the file unreadable; the declaration is Reformat's business.
        if (xmlValidateName(xmlName, 0) != 0 || jxtext::EqualsNoCase(name ? name : u"", u"xml"))
            return Fail<CXMLDOMNode>(E_INVALIDARG);
        node = xmlNewDocPI(doc, xmlName, nullptr);
        break;
    default:
        JX_ENGINE_TRACE(1, u"CXMLDOMDocument::CreateNode", u"Node type %d is not supported.", nodeType);
        return Fail<CXMLDOMNode>(E_INVALIDARG);
    }
    if (!node)
        return Fail<CXMLDOMNode>(E_OUTOFMEMORY);
    m_document->AdoptDetached(node);
    return XmlAccess::Wrap<CXMLDOMNode>(m_document, node);
}

bool CXMLDOMDocument::Reformat(const FormatOptions& options) {
    if (!m_document)
        return Fail<bool>(E_POINTER);
    CMXWriter writer;
    if (!writer.Create())
        return false;
    if (!writer.SetOmitXMLDeclaration(options.omitXmlDeclaration) ||
        !writer.SetStandalone(options.standalone) || !writer.SetIndent(options.indent) ||
        !writer.SetDisableOutputEscaping(!options.escapeOutput) ||
        !writer.SetEncoding(options.encoding.c_str()))
        return false;
    CSAXXMLReader reader;
    if (!reader.Create() || !reader.PutContentHandler(writer))
        return false;
    return writer.SetOutput(*this) && reader.Parse(*this);
}
