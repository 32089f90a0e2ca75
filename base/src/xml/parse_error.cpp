#include "xml_state.h"

namespace {

LONG _error_NoObject() {
    SetLastError(static_cast<DWORD>(E_POINTER));
    return -1;
}

} // namespace

CXMLDOMParseError::~CXMLDOMParseError() = default;

LONG CXMLDOMParseError::GetErrorCode() const {
    return m_error ? m_error->code : _error_NoObject();
}

LONG CXMLDOMParseError::GetLine() const {
    return m_error ? m_error->line : _error_NoObject();
}

LONG CXMLDOMParseError::GetLinePos() const {
    return m_error ? m_error->linePos : _error_NoObject();
}

std::u16string CXMLDOMParseError::GetReason() const {
    return m_error ? m_error->reason : jxxml::Fail<std::u16string>(E_POINTER);
}
