// The readable text of a Win32 error code, as every trace and log line of the base library
// writes it: "(5) Access is denied.  " with the options every caller passes (PrefixCode |
// KeepTabs).
#pragma once

#include <string>

#include <windows.h>

class CWin32ErrorText {
public:
    static constexpr DWORD PrefixCode = 1;     // "(" + code + ") " before the message
    static constexpr DWORD KeepTabs = 2;       // otherwise each tab becomes a blank
    static constexpr DWORD KeepLineBreaks = 4; // otherwise each CR and LF becomes a blank

    // The text of GetLastError().
    explicit CWin32ErrorText(DWORD options);
    CWin32ErrorText(DWORD code, DWORD options);
    static CWin32ErrorText CWin32ErrorTextFromCode(DWORD code, DWORD options);

    const std::u16string& Text() const { return m_text; }
    const WCHAR* c_str() const { return m_text.c_str(); }
    operator const std::u16string&() const { return m_text; }
    DWORD Code() const { return m_code; }
    DWORD Options() const { return m_options; }

private:
    void _ErrBuild();

    std::u16string m_text;
    DWORD m_code;
    DWORD m_options;
};
