// The outcome of a document's last load. A code of 0 means the load succeeded; a failed load
// has a negative code (an HRESULT), the 1-based line and column where the parser stopped, and
// the reason as text.
#pragma once

#include <memory>
#include <string>

#include <windows.h>

namespace jxxml {
struct ParseErrorInfo;
struct XmlAccess;
} // namespace jxxml

// Codes of the parser's own errors: this base plus libxml2's error number.
#define JX_XML_E_PARSE_BASE ((HRESULT)0x80040200L)

class CXMLDOMParseError {
public:
    CXMLDOMParseError() = default;
    virtual ~CXMLDOMParseError();

    bool IsEmpty() const { return !m_error; }
    explicit operator bool() const { return !IsEmpty(); }

    // -1 with the last error set when the wrapper is empty.
    LONG GetErrorCode() const;
    LONG GetLine() const;
    LONG GetLinePos() const;
    std::u16string GetReason() const;

private:
    friend struct jxxml::XmlAccess;

    std::shared_ptr<const jxxml::ParseErrorInfo> m_error;
};
