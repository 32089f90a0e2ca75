// The known-folder lookup; "Shell32.dll" is loaded on the first call and freed with the object.
#include "jxbase/knownfolder.h"

CKnownFolderPath::~CKnownFolderPath() {
    if (m_hShell32)
        FreeLibrary(m_hShell32);
}

HRESULT CKnownFolderPath::GetPath(REFKNOWNFOLDERID id, DWORD flags, std::u16string& path) {
    path.clear();
    if (!m_hShell32) {
        m_hShell32 = LoadLibraryW(u"Shell32.dll");
        if (m_hShell32)
            m_pfnGetKnownFolderPath =
                reinterpret_cast<LookupFunction>(GetProcAddress(m_hShell32, "SHGetKnownFolderPath"));
    }
    if (!m_pfnGetKnownFolderPath)
        return E_FAIL;
    PWSTR result = nullptr;
    const HRESULT status = m_pfnGetKnownFolderPath(id, flags, nullptr, &result);
    if (SUCCEEDED(status) && result)
        path = result;
    CoTaskMemFree(result);
    return status;
}
