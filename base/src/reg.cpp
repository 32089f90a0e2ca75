#include "jxbase/reg.h"

#include <cstring>
#include <new>

namespace {

// A key opened for one operation, closed on every way out.
class ScopedKey {
public:
    ~ScopedKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    LONG Open(HKEY root, const WCHAR* subKey, REGSAM access) {
        return RegOpenKeyExW(root, subKey ? subKey : u"", 0, access, &m_key);
    }
    LONG Create(HKEY root, const WCHAR* subKey, REGSAM access) {
        return RegCreateKeyExW(root, subKey ? subKey : u"", 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                               nullptr, &m_key, nullptr);
    }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

const DWORD kStringBufferBytes = 520;

} // namespace

std::u16string GetProductRegistryPath(const WCHAR* subPath) {
    static const std::u16string root = u"Software\\Tolvane";
    if (!subPath || !*subPath)
        return root;
    return root + u"\\" + subPath;
}

std::u16string CReg::GetStringFromRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                                           const std::u16string& defaultValue, REGSAM view) {
    std::u16string result = defaultValue;
    ScopedKey key;
    if (key.Open(root, subKey, KEY_READ | view) != ERROR_SUCCESS)
        return result;
    std::vector<BYTE> buffer;
    DWORD size = kStringBufferBytes;
    try {
        buffer.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return result;
    }
    LONG status = RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, buffer.data(), &size);
    while (status == ERROR_MORE_DATA) {
        size += kStringBufferBytes;
        try {
            buffer.assign(size, 0);
        } catch (const std::bad_alloc&) {
            return result;
        }
        status = RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, buffer.data(), &size);
    }
    if (status != ERROR_SUCCESS)
        return result;
    // The text ends at its first zero character or at the end of the data; the type is not checked.
    const size_t units = size / sizeof(char16_t);
    std::u16string text(units, 0);
    std::memcpy(text.data(), buffer.data(), units * sizeof(char16_t));
    size_t zero = text.find(u'\0');
    if (zero != std::u16string::npos)
        text.resize(zero);
    return text;
}

DWORD CReg::GetIntFromRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName, DWORD defaultValue,
                               REGSAM view) {
    ScopedKey key;
    if (key.Open(root, subKey, KEY_READ | view) != ERROR_SUCCESS)
        return defaultValue;
    // Data of at most 4 bytes replaces the default's low-order bytes; longer data leaves the default.
    DWORD value = defaultValue;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return defaultValue;
    return value;
}

std::optional<std::vector<BYTE>> ReadRegistryValueData(HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                                                       REGSAM view, DWORD acceptedType) {
    ScopedKey key;
    if (key.Open(root, subKey, KEY_READ | view) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<BYTE> data(1);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    LONG status = RegQueryValueExW(key.Get(), valueName, nullptr, &type, data.data(), &size);
    while (status == ERROR_MORE_DATA && type == acceptedType) {
        data.resize(size);
        status = RegQueryValueExW(key.Get(), valueName, nullptr, &type, data.data(), &size);
    }
    if (status != ERROR_SUCCESS || type != acceptedType)
        return std::nullopt;
    data.resize(size);
    if (data.size() % 2)
        data.push_back(0);
    bool endsWithZero = data.size() >= 2 && data[data.size() - 1] == 0 && data[data.size() - 2] == 0;
    if (!endsWithZero) {
        data.push_back(0);
        data.push_back(0);
    }
    return data;
}

std::optional<std::vector<std::u16string>> ReadRegistryMultiString(HKEY root, const WCHAR* subKey,
                                                                   const WCHAR* valueName, REGSAM view) {
    auto data = ReadRegistryValueData(root, subKey, valueName, view, REG_MULTI_SZ);
    if (!data)
        return std::nullopt;
    std::vector<std::u16string> texts;
    const size_t units = data->size() / 2;
    std::u16string all(units, 0);
    std::memcpy(all.data(), data->data(), units * 2);
    if (units == 1)
        return texts;
    // Every string up to the last unit; empty strings inside the data are dropped, not an end.
    size_t pos = 0;
    while (pos < units - 1) {
        size_t end = all.find(u'\0', pos);
        if (end == std::u16string::npos || end > units - 1)
            end = units - 1;
        if (end > pos)
            texts.push_back(all.substr(pos, end - pos));
        pos = end + 1;
    }
    return texts;
}

std::vector<std::u16string> CReg::GetMultiStringFromRegistryVec(HKEY root, const WCHAR* subKey,
                                                                const WCHAR* valueName, REGSAM view) {
    auto texts = ReadRegistryMultiString(root, subKey, valueName, view);
    return texts ? *texts : std::vector<std::u16string>{};
}

bool CReg::IsValidPath(HKEY root, const WCHAR* subKey, REGSAM view) {
    ScopedKey key;
    return key.Open(root, subKey, KEY_READ | view) == ERROR_SUCCESS;
}

bool CReg::ValueExists(HKEY root, const WCHAR* subKey, const WCHAR* valueName, REGSAM view) {
    ScopedKey key;
    if (key.Open(root, subKey, KEY_READ | view) != ERROR_SUCCESS)
        return false;
    return RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

LONG CReg::PutStringToRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                               const std::u16string& text, CRegStringType type, REGSAM view) {
    ScopedKey key;
    const LONG status = key.Create(root, subKey, KEY_WRITE | view);
    if (status != ERROR_SUCCESS)
        return status;
    const std::u16string terminated = text.c_str(); // with its terminating zero
    return RegSetValueExW(key.Get(), valueName, 0, type == CRegStringType::ExpandSz ? REG_EXPAND_SZ : REG_SZ,
                          reinterpret_cast<const BYTE*>(terminated.c_str()),
                          static_cast<DWORD>((terminated.size() + 1) * sizeof(char16_t)));
}

LONG CReg::PutIntToRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName, DWORD value,
                            REGSAM view) {
    ScopedKey key;
    LONG status = key.Create(root, subKey, KEY_WRITE | view);
    if (status != ERROR_SUCCESS)
        return status;
    return RegSetValueExW(key.Get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

bool CReg::PutMultiStringToRegistryVec(HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                                       const std::vector<std::u16string>& texts, REGSAM view) {
    ScopedKey key;
    LONG status = key.Create(root, subKey, KEY_WRITE | view);
    if (status == ERROR_SUCCESS) {
        std::u16string data;
        for (const auto& text : texts) {
            data += text;
            data += u'\0';
        }
        data += u'\0';
        status =
            RegSetValueExW(key.Get(), valueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size() * sizeof(char16_t)));
    }
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

bool CReg::DeleteValueFromRegistry(HKEY root, const WCHAR* subKey, const WCHAR* valueName, REGSAM view) {
    ScopedKey key;
    if (key.Open(root, subKey, KEY_ALL_ACCESS | view) != ERROR_SUCCESS)
        return false;
    return RegDeleteValueW(key.Get(), valueName) == ERROR_SUCCESS;
}

bool CReg::DeleteKeyFromRegistry(HKEY root, const WCHAR* parentSubKey, const WCHAR* keyName, REGSAM view) {
    // An empty name would address the parent itself: nothing is deleted.
    if (!keyName || !*keyName)
        return false;
    ScopedKey key;
    if (key.Open(root, parentSubKey, KEY_ALL_ACCESS | view) != ERROR_SUCCESS)
        return false;
    // Deleted within the view of the parent handle.
    return RegDeleteKeyW(key.Get(), keyName) == ERROR_SUCCESS;
}

std::u16string CReg::GetProductStringFromRegistry(HKEY root, const WCHAR* subPath, const WCHAR* valueName,
                                                  const std::u16string& defaultValue, REGSAM view) {
    return GetStringFromRegistry(root, GetProductRegistryPath(subPath).c_str(), valueName, defaultValue,
                                 view);
}

DWORD CReg::GetProductIntFromRegistry(HKEY root, const WCHAR* subPath, const WCHAR* valueName,
                                      DWORD defaultValue, REGSAM view) {
    return GetIntFromRegistry(root, GetProductRegistryPath(subPath).c_str(), valueName, defaultValue, view);
}

bool CReg::DeleteProductValueFromRegistry(HKEY root, const WCHAR* subPath, const WCHAR* valueName,
                                          REGSAM view) {
    return DeleteValueFromRegistry(root, GetProductRegistryPath(subPath).c_str(), valueName, view);
}
