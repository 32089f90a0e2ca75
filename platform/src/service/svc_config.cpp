// A service's configuration: its key below HKLM\SYSTEM\CurrentControlSet\Services.
#include <vector>

#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winnt.h"
#include "jxplat/winreg.h"
#include "service/svc_internal.h"

namespace jxplat::svc {
namespace {

std::u16string _svc_KeyPath(const std::u16string& name) {
    return std::u16string(kServicesKey) + u"\\" + name;
}

std::optional<DWORD> _svc_ReadDword(HKEY key, const WCHAR* name) {
    DWORD type = 0, value = 0, size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

// The raw data of a value of one of the text types; none when missing.
std::optional<std::u16string> _svc_ReadTextData(HKEY key, const WCHAR* name, DWORD* typeOut = nullptr) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        return std::nullopt;
    std::vector<BYTE> data(size + 4, 0);
    if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (typeOut)
        *typeOut = type;
    std::u16string text(reinterpret_cast<const WCHAR*>(data.data()), size / sizeof(WCHAR));
    return text;
}

std::u16string _svc_ReadText(HKEY key, const WCHAR* name) {
    std::u16string text = _svc_ReadTextData(key, name).value_or(u"");
    const size_t end = text.find(u'\0');
    return end == std::u16string::npos ? text : text.substr(0, end);
}

std::vector<std::u16string> _svc_ReadMultiText(HKEY key, const WCHAR* name) {
    std::vector<std::u16string> texts;
    const std::u16string data = _svc_ReadTextData(key, name).value_or(u"");
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find(u'\0', start);
        if (end == std::u16string::npos)
            end = data.size();
        if (end == start)
            break;
        texts.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return texts;
}

void _svc_DeleteTree(HKEY parent, const std::u16string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (;;) {
            WCHAR child[256];
            DWORD length = 256;
            if (RegEnumKeyExW(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            const size_t before = length;
            _svc_DeleteTree(key, std::u16string(child, before));
            // A child that cannot be removed would make this loop endless.
            WCHAR again[256];
            DWORD againLength = 256;
            if (RegEnumKeyExW(key, 0, again, &againLength, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS &&
                std::u16string(again, againLength) == std::u16string(child, before))
                break;
        }
        RegCloseKey(key);
    }
    RegDeleteKeyExW(parent, name.c_str(), KEY_WOW64_64KEY, 0);
}

} // namespace

std::optional<std::u16string> FindServiceKey(const std::u16string& name) {
    if (name.empty() || name.find(u'\\') != std::u16string::npos || name.find(u'/') != std::u16string::npos)
        return std::nullopt;
    HKEY services = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_READ | KEY_WOW64_64KEY, &services) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::u16string> found;
    for (DWORD index = 0;; ++index) {
        WCHAR child[256];
        DWORD length = 256;
        if (RegEnumKeyExW(services, index, child, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (jxtext::EqualsNoCase(std::u16string_view(child, length), name)) {
            found = std::u16string(child, length);
            break;
        }
    }
    RegCloseKey(services);
    return found;
}

LONG OpenServiceKey(const std::u16string& name, REGSAM access, HKEY* key) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, _svc_KeyPath(name).c_str(), 0, access | KEY_WOW64_64KEY, key);
}

bool ReadServiceConfig(const std::u16string& name, ServiceInfo& info) {
    HKEY key = nullptr;
    if (OpenServiceKey(name, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    info.name = name;
    info.type = _svc_ReadDword(key, u"Type").value_or(SERVICE_WIN32_OWN_PROCESS);
    info.startType = _svc_ReadDword(key, u"Start").value_or(SERVICE_DEMAND_START);
    info.errorControl = _svc_ReadDword(key, u"ErrorControl").value_or(SERVICE_ERROR_NORMAL);
    info.imagePath = _svc_ReadText(key, u"ImagePath");
    info.displayName = _svc_ReadText(key, u"DisplayName");
    info.description = _svc_ReadText(key, u"Description");
    info.dependencies = _svc_ReadMultiText(key, u"DependOnService");
    info.delayedAutoStart = _svc_ReadDword(key, u"DelayedAutostart").value_or(0) != 0;
    info.markedForDelete = _svc_ReadDword(key, u"DeleteFlag").value_or(0) != 0;
    RegCloseKey(key);
    return true;
}

bool IsMarkedForDelete(const std::u16string& name) {
    ServiceInfo info;
    return ReadServiceConfig(name, info) && info.markedForDelete;
}

bool DeleteServiceKey(const std::u16string& name) {
    HKEY services = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &services) !=
        ERROR_SUCCESS)
        return false;
    _svc_DeleteTree(services, name);
    RegCloseKey(services);
    return !FindServiceKey(name);
}

std::vector<std::u16string> SplitMultiString(const WCHAR* list) {
    std::vector<std::u16string> texts;
    if (!list)
        return texts;
    for (const WCHAR* p = list; *p; p += jxtext::Length(p) + 1)
        texts.emplace_back(p);
    return texts;
}

LONG WriteDword(HKEY key, const WCHAR* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LONG WriteText(HKEY key, const WCHAR* name, const std::u16string& text, DWORD type) {
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

LONG WriteMultiText(HKEY key, const WCHAR* name, const std::vector<std::u16string>& texts) {
    std::u16string data;
    for (const auto& text : texts) {
        data += text;
        data.push_back(u'\0');
    }
    data.push_back(u'\0');
    return RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(WCHAR)));
}

} // namespace jxplat::svc
