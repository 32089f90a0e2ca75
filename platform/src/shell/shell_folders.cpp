// The special folders of the machine (CSIDL numbers) at their fixed places below drive C:, as on
// a 64-bit Windows 10 machine seen by a 32-bit program.
#include <cstring>

#include "jxplat/combaseapi.h"
#include "jxplat/errhandling.h"
#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/shlobj.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"

namespace jxplat {
namespace {

std::u16string _shell_Profile() {
    return u"C:\\Users\\" + jxtext::Utf8ToUtf16(Machine().user.name);
}

std::u16string _shell_ProgramFilesX86() {
    return Machine().is64Bit ? u"C:\\Program Files (x86)" : u"C:\\Program Files";
}

std::u16string _shell_StartMenu() {
    return _shell_Profile() + u"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
}

std::u16string _shell_CommonStartMenu() {
    return u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
}

// Makes the folder with its parents when missing, as a real machine has it.
void _shell_Ensure(const std::u16string& folder) {
    std::string host = WindowsToHostPath(folder);
    if (!host.empty())
        EnsureHostDirectory(host);
}

bool _shell_FromIdList(PCIDLIST_ABSOLUTE idList, std::u16string& path) {
    if (!idList || idList->mkid.cb < sizeof(WORD))
        return false;
    const size_t bytes = idList->mkid.cb - sizeof(WORD);
    path.assign(bytes / sizeof(char16_t), u'\0');
    std::memcpy(path.data(), idList->mkid.abID, path.size() * sizeof(char16_t));
    return true;
}

} // namespace

std::u16string SpecialFolderPath(int folder) {
    switch (folder & ~CSIDL_FLAG_MASK) {
    case CSIDL_WINDOWS:
        return u"C:\\Windows";
    // The 32-bit program sees System32 (redirected to SysWOW64 by the file calls).
    case CSIDL_SYSTEM:
        return u"C:\\Windows\\system32";
    case CSIDL_SYSTEMX86:
        return Machine().is64Bit ? u"C:\\Windows\\SysWOW64" : u"C:\\Windows\\system32";
    case CSIDL_FONTS:
        return u"C:\\Windows\\Fonts";
    case CSIDL_PROGRAM_FILES:
    case CSIDL_PROGRAM_FILESX86:
        return _shell_ProgramFilesX86();
    case CSIDL_PROGRAM_FILES_COMMON:
    case CSIDL_PROGRAM_FILES_COMMONX86:
        return _shell_ProgramFilesX86() + u"\\Common Files";
    case CSIDL_COMMON_APPDATA:
        return u"C:\\ProgramData";
    case CSIDL_COMMON_STARTMENU:
        return _shell_CommonStartMenu();
    case CSIDL_COMMON_PROGRAMS:
        return _shell_CommonStartMenu() + u"\\Programs";
    case CSIDL_COMMON_STARTUP:
        return _shell_CommonStartMenu() + u"\\Programs\\Startup";
    case CSIDL_COMMON_DESKTOPDIRECTORY:
        return u"C:\\Users\\Public\\Desktop";
    case CSIDL_COMMON_DOCUMENTS:
        return u"C:\\Users\\Public\\Documents";
    case CSIDL_PROFILE:
        return _shell_Profile();
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY:
        return _shell_Profile() + u"\\Desktop";
    case CSIDL_PERSONAL:
        return _shell_Profile() + u"\\Documents";
    case CSIDL_APPDATA:
        return _shell_Profile() + u"\\AppData\\Roaming";
    case CSIDL_LOCAL_APPDATA:
        return _shell_Profile() + u"\\AppData\\Local";
    case CSIDL_STARTMENU:
        return _shell_StartMenu();
    case CSIDL_PROGRAMS:
        return _shell_StartMenu() + u"\\Programs";
    case CSIDL_STARTUP:
        return _shell_StartMenu() + u"\\Programs\\Startup";
    default:
        return std::u16string();
    }
}

} // namespace jxplat

HRESULT SHGetFolderPathW(HWND, int folder, HANDLE, DWORD, LPWSTR path) {
    if (!path)
        return E_INVALIDARG;
    path[0] = 0;
    const std::u16string found = jxplat::SpecialFolderPath(folder);
    if (found.empty() || found.size() >= MAX_PATH)
        return E_INVALIDARG;
    jxplat::_shell_Ensure(found);
    // The 32-bit program's System32 is SysWOW64 on a 64-bit machine: both exist there.
    if ((folder & ~CSIDL_FLAG_MASK) == CSIDL_SYSTEM && jxplat::Machine().is64Bit)
        jxplat::_shell_Ensure(u"C:\\Windows\\SysWOW64");
    std::memcpy(path, found.c_str(), (found.size() + 1) * sizeof(char16_t));
    return S_OK;
}

BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int folder, BOOL) {
    return SUCCEEDED(SHGetFolderPathW(owner, folder, nullptr, SHGFP_TYPE_CURRENT, path)) ? TRUE : FALSE;
}

HRESULT SHGetSpecialFolderLocation(HWND, int folder, PIDLIST_ABSOLUTE* idList) {
    if (!idList)
        return E_INVALIDARG;
    *idList = nullptr;
    const std::u16string found = jxplat::SpecialFolderPath(folder);
    if (found.empty())
        return E_INVALIDARG;
    jxplat::_shell_Ensure(found);
    // One item holding the folder's path, then the terminating empty item.
    const size_t itemBytes = sizeof(WORD) + found.size() * sizeof(char16_t);
    auto* bytes = static_cast<BYTE*>(CoTaskMemAlloc(itemBytes + sizeof(WORD)));
    if (!bytes)
        return E_OUTOFMEMORY;
    const WORD cb = static_cast<WORD>(itemBytes);
    std::memcpy(bytes, &cb, sizeof cb);
    std::memcpy(bytes + sizeof(WORD), found.data(), found.size() * sizeof(char16_t));
    std::memset(bytes + itemBytes, 0, sizeof(WORD));
    *idList = reinterpret_cast<PIDLIST_ABSOLUTE>(bytes);
    return S_OK;
}

BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE idList, LPWSTR path) {
    std::u16string found;
    if (!path)
        return FALSE;
    path[0] = 0;
    if (!jxplat::_shell_FromIdList(idList, found) || found.size() >= MAX_PATH)
        return FALSE;
    std::memcpy(path, found.c_str(), (found.size() + 1) * sizeof(char16_t));
    return TRUE;
}

void ILFree(PIDLIST_ABSOLUTE idList) {
    CoTaskMemFree(idList);
}
