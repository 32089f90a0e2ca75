// Small helpers of the registry tests: keys that close themselves, string values, subkey lists.
#pragma once

#include <string>
#include <vector>

#include "jxplat/winreg.h"

namespace jxregtest {

// An open key that is closed when the test scope ends.
class CKey {
public:
    CKey() = default;
    ~CKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }
    operator HKEY() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

inline LSTATUS Create(HKEY root, const char16_t* path, REGSAM sam, CKey* key, DWORD* disposition = nullptr) {
    return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, key->Out(),
                           disposition);
}

inline LSTATUS Open(HKEY root, const char16_t* path, REGSAM sam, CKey* key) {
    return RegOpenKeyExW(root, path, 0, sam, key->Out());
}

inline LSTATUS SetString(HKEY key, const char16_t* name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

// Creates root\path in the view of sam and sets one string value in it.
inline LSTATUS WriteString(HKEY root, const char16_t* path, REGSAM sam, const char16_t* name,
                           const std::u16string& text) {
    CKey key;
    LSTATUS status = Create(root, path, KEY_SET_VALUE | sam, &key);
    return status == ERROR_SUCCESS ? SetString(key, name, text) : status;
}

// Reads a string value of root\path in the view of sam; the stored terminator is dropped.
inline LSTATUS ReadString(HKEY root, const char16_t* path, REGSAM sam, const char16_t* name,
                          std::u16string* text) {
    CKey key;
    LSTATUS status = Open(root, path, KEY_QUERY_VALUE | sam, &key);
    if (status != ERROR_SUCCESS)
        return status;
    char16_t buffer[512] = {};
    DWORD size = sizeof(buffer) - sizeof(char16_t);
    DWORD type = 0;
    status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (status == ERROR_SUCCESS)
        *text = std::u16string(buffer);
    return status;
}

inline bool KeyExists(HKEY root, const char16_t* path, REGSAM sam = 0) {
    CKey key;
    return Open(root, path, KEY_READ | sam, &key) == ERROR_SUCCESS;
}

inline std::vector<std::u16string> SubkeyNames(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

inline std::vector<std::u16string> ValueNames(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        char16_t name[256];
        DWORD length = 256;
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

} // namespace jxregtest
