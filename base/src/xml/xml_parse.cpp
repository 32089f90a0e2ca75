#include <climits>
#include <cstring>

#include <libxml/parser.h>

#include "jxbase/trace.h"
#include "jxplat/text.h"
#include "xml_state.h"

namespace jxxml {

namespace {

// What the parse running on this thread reported: the first error, and whether an entity that
// names a file or URL was asked for.
struct ParseCapture {
    ParseErrorInfo error;
    bool failed = false;
};

thread_local ParseCapture* t_capture = nullptr;

void _parse_Record(ParseCapture& capture, LONG code, LONG line, LONG column, std::u16string reason) {
    if (capture.failed)
        return; // the first error explains the document best; later ones follow from it
    while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r'))
        reason.pop_back();
    capture.error = ParseErrorInfo{code, line, column, std::move(reason)};
    capture.failed = true;
}

void _parse_OnError(void*, xmlErrorPtr error) {
    if (!t_capture || !error || error->level < XML_ERR_ERROR)
        return;
    _parse_Record(*t_capture, JX_XML_E_PARSE_BASE + error->code, error->line, error->int2,
                  FromXml(reinterpret_cast<const xmlChar*>(error->message)));
}

xmlParserInputPtr _parse_RefuseEntity(const char* url, const char*, xmlParserCtxtPtr context) {
    if (t_capture) {
        LONG line = 0, column = 0;
        if (context && context->input) {
            line = context->input->line;
            column = context->input->col;
        }
        _parse_Record(*t_capture, E_ACCESSDENIED, line, column,
                      u"External entity refused: " + jxtext::Utf8ToUtf16(url ? url : ""));
    }
    return nullptr;
}

// Network access off; internal entities substituted (external ones reach the loader that
// refuses them); no DTD loading; libxml2's limits against entity expansion stay in force.
const int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOENT;

ParseResult _parse_Run(const char* data, size_t size, const char* encoding, int options) {
    XmlInit();
    ParseResult result;
    if (size > static_cast<size_t>(INT_MAX)) {
        result.error = ParseErrorInfo{E_OUTOFMEMORY, 0, 0, u"The document is too large."};
        return result;
    }
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context) {
        result.error = ParseErrorInfo{E_OUTOFMEMORY, 0, 0, u"Out of memory."};
        return result;
    }
    context->sax->serror = _parse_OnError;
    ParseCapture capture;
    QuietXmlErrors quiet;
    t_capture = &capture;
    xmlDocPtr doc = xmlCtxtReadMemory(context, data, static_cast<int>(size), nullptr, encoding, options);
    t_capture = nullptr;
    const bool wellFormed = context->wellFormed && context->nsWellFormed;
    xmlFreeParserCtxt(context);

    if (doc && wellFormed && !capture.failed) {
        DropWhitespaceText(reinterpret_cast<xmlNodePtr>(doc), false);
        // Only a declaration gives the document an encoding of its own.
        if (doc->standalone == -1 && doc->encoding) {
            xmlFree(const_cast<xmlChar*>(doc->encoding));
            doc->encoding = nullptr;
        }
        result.doc = doc;
        return result;
    }
    if (doc)
        xmlFreeDoc(doc);
    result.error =
        capture.failed ? capture.error : ParseErrorInfo{E_FAIL, 0, 0, u"The document could not be parsed."};
    JX_ENGINE_TRACE(1, u"jxxml::Parse", u"Error %08X at line %d (c: %d): %s",
                    static_cast<unsigned>(result.error.code), result.error.line, result.error.linePos,
                    result.error.reason.c_str());
    return result;
}

// The value of encoding="..." in a leading XML declaration, "" when there is none.
std::string _parse_DeclaredEncoding(std::string_view text) {
    if (text.substr(0, 5) != "<?xml" || text.size() < 6 || !strchr(" \t\r\n", text[5]))
        return std::string();
    const std::string_view declaration = text.substr(0, text.find("?>"));
    size_t pos = declaration.find("encoding");
    if (pos == std::string_view::npos)
        return std::string();
    pos += 8;
    auto skipBlanks = [&] {
        while (pos < declaration.size() && strchr(" \t\r\n", declaration[pos]))
            ++pos;
    };
    skipBlanks();
    if (pos >= declaration.size() || declaration[pos] != '=')
        return std::string();
    ++pos;
    skipBlanks();
    if (pos >= declaration.size() || (declaration[pos] != '"' && declaration[pos] != '\''))
        return std::string();
    const char quote = declaration[pos++];
    const size_t end = declaration.find(quote, pos);
    if (end == std::string_view::npos)
        return std::string();
    return std::string(declaration.substr(pos, end - pos));
}

} // namespace

void XmlInit() {
    static const bool initialized = [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(_parse_RefuseEntity);
        return true;
    }();
    (void)initialized;
}

ParseResult ParseBytes(const BYTE* data, size_t size) {
    // libxml2 finds byte-order marks and a UTF-16 declaration itself; UTF-16 without either is
    // recognised here by its first character '<'.
    const char* encoding = nullptr;
    if (size >= 4 && data[0] == '<' && data[1] == 0 && data[2] != '?')
        encoding = "UTF-16LE";
    else if (size >= 4 && data[0] == 0 && data[1] == '<' && data[3] != '?')
        encoding = "UTF-16BE";
    return _parse_Run(reinterpret_cast<const char*>(data), size, encoding, kParseOptions);
}

ParseResult ParseUtf8Text(std::string_view utf8) {
    if (utf8.substr(0, 3) == "\xEF\xBB\xBF")
        utf8.remove_prefix(3);
    ParseResult result = _parse_Run(utf8.data(), utf8.size(), "UTF-8", kParseOptions | XML_PARSE_IGNORE_ENC);
    if (result.doc) {
        // The text is already decoded; the declared name is what a later save writes.
        if (result.doc->encoding)
            xmlFree(const_cast<xmlChar*>(result.doc->encoding));
        const std::string declared = _parse_DeclaredEncoding(utf8);
        result.doc->encoding = declared.empty() ? nullptr : xmlStrdup(BAD_CAST declared.c_str());
    }
    return result;
}

void DropWhitespaceText(xmlNodePtr parent, bool preserve) {
    xmlNodePtr child = parent->children;
    while (child) {
        xmlNodePtr next = child->next;
        if (child->type == XML_TEXT_NODE && !preserve && IsXmlSpace(child->content)) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        } else if (child->type == XML_ELEMENT_NODE) {
            bool childPreserve = preserve;
            if (xmlChar* space = xmlGetNsProp(child, BAD_CAST "space", XML_XML_NAMESPACE)) {
                if (xmlStrEqual(space, BAD_CAST "preserve"))
                    childPreserve = true;
                else if (xmlStrEqual(space, BAD_CAST "default"))
                    childPreserve = false;
                xmlFree(space);
            }
            DropWhitespaceText(child, childPreserve);
        }
        child = next;
    }
}

} // namespace jxxml
