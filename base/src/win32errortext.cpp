#include "jxbase/win32errortext.h"

#include "jxplat/text.h"

CWin32ErrorText::CWin32ErrorText(DWORD options) : CWin32ErrorText(GetLastError(), options) {}

CWin32ErrorText::CWin32ErrorText(DWORD code, DWORD options) : m_code(code), m_options(options) {
    _ErrBuild();
}

CWin32ErrorText CWin32ErrorText::CWin32ErrorTextFromCode(DWORD code, DWORD options) {
    return CWin32ErrorText(code, options);
}

void CWin32ErrorText::_ErrBuild() {
    // Building the text must not change the last error of the code being traced.
    const DWORD lastError = GetLastError();

    // The internet functions' codes have their texts in the WinInet module.
    HMODULE wininet = (m_code >= 12000 && m_code <= 12175) ? LoadLibraryW(u"WinInet.dll") : nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    if (wininet)
        flags |= FORMAT_MESSAGE_FROM_HMODULE;
    LPWSTR message = nullptr;
    DWORD length = 0;
    for (DWORD language : {DWORD{1033}, DWORD{0}}) {
        length =
            FormatMessageW(flags, wininet, m_code, language, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
        if (length != 0)
            break;
    }
    if (wininet)
        FreeLibrary(wininet);

    if (length == 0 || !message) {
        m_text = jxtext::ToText(static_cast<unsigned long long>(m_code));
    } else {
        std::u16string text(message, length);
        LocalFree(message);
        // Nothing is trimmed: the closing line break becomes two blanks.
        for (char16_t& c : text) {
            if ((c == u'\t' && !(m_options & KeepTabs)) ||
                ((c == u'\r' || c == u'\n') && !(m_options & KeepLineBreaks)))
                c = u' ';
        }
        if (m_options & PrefixCode)
            m_text = u"(" + jxtext::ToText(static_cast<unsigned long long>(m_code)) + u") " + text;
        else
            m_text = std::move(text);
    }
    SetLastError(lastError);
}
