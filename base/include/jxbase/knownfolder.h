// The known-folder lookup through "Shell32.dll", loaded on first use.
#pragma once

#include <string>

#include <windows.h>

class CKnownFolderPath {
public:
    CKnownFolderPath() = default;
    virtual ~CKnownFolderPath();
    CKnownFolderPath(const CKnownFolderPath&) = delete;
    CKnownFolderPath& operator=(const CKnownFolderPath&) = delete;

    // The folder's path into path (empty first). E_FAIL when the library or its function is
    // missing (a failed load is tried again on the next call); otherwise the lookup's HRESULT.
    HRESULT GetPath(REFKNOWNFOLDERID id, DWORD flags, std::u16string& path);

private:
    using LookupFunction = HRESULT (*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);

    HMODULE m_hShell32 = nullptr;
    LookupFunction m_pfnGetKnownFolderPath = nullptr;
};
