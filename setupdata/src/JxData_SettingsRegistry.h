// Registry helpers of the stored settings: the product's keys below HKEY_CLASSES_ROOT "JxSetup"
// and the walk over a key's values.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace JxSetup::Data {

inline const WCHAR* const kSettingsTopKey = u"JxSetup";

// "JxSetup\<product id>" and its sub-keys; callers make sure the product id is not empty.
inline std::u16string ProductSettingsKey(const std::u16string& productId) {
    return std::u16string(kSettingsTopKey) + u"\\" + productId;
}
inline std::u16string ProductSettingsKey(const std::u16string& productId, const WCHAR* subKey) {
    return ProductSettingsKey(productId) + u"\\" + subKey;
}

// Closes a registry key at the end of its scope.
class CSettingsKey {
public:
    CSettingsKey() = default;
    ~CSettingsKey() {
        if (m_Key)
            RegCloseKey(m_Key);
    }
    CSettingsKey(const CSettingsKey&) = delete;
    CSettingsKey& operator=(const CSettingsKey&) = delete;

    LSTATUS Open(HKEY root, const std::u16string& path, REGSAM access) {
        return RegOpenKeyExW(root, path.c_str(), 0, access, &m_Key);
    }
    LSTATUS Create(HKEY root, const std::u16string& path, REGSAM access) {
        return RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                               &m_Key, nullptr);
    }
    HKEY Get() const { return m_Key; }

private:
    HKEY m_Key = nullptr;
};

// The names of the values the key holds now (names of up to 16383 characters).
inline std::vector<std::u16string> ReadSettingsValueNames(HKEY key) {
    std::vector<std::u16string> names;
    std::vector<WCHAR> buffer(16384);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LSTATUS status =
            RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            continue;
        names.emplace_back(buffer.data(), length);
    }
    return names;
}

// A value of the open key as text, up to its first zero character; empty when it cannot be read.
inline std::u16string ReadSettingsString(HKEY key, const std::u16string& name) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return {};
    std::vector<BYTE> data(size + sizeof(WCHAR), 0);
    if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS)
        return {};
    std::u16string text;
    for (size_t at = 0; at + 1 < size; at += 2) {
        const char16_t c = static_cast<char16_t>(data[at] | (data[at + 1] << 8));
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

// Writes text as REG_SZ into the open key.
inline LSTATUS WriteSettingsString(HKEY key, const std::u16string& name, const std::u16string& text) {
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

} // namespace JxSetup::Data
