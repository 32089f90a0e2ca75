// WriteRegistryValue and ExpandEnvironmentInPlace.
#include <vector>

#include "jxbase/regkey.h"

bool WriteRegistryValue(const std::u16string& text, HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                        REGSAM viewBits, DWORD typeIndex) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey ? subKey : u"", 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE | viewBits, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG status =
        RegSetValueExW(key, valueName, 0, typeIndex + 1, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() * 2 + 2));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool ExpandEnvironmentInPlace(std::u16string& text) {
    DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0)
        return false;
    std::vector<WCHAR> buffer(needed + 1, u'\0');
    if (ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed + 1) == 0)
        return false;
    text.assign(buffer.data());
    return true;
}
