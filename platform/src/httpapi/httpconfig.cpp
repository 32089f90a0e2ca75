// The configuration calls of the HTTP Server API over the URL reservations in the registry.
#include <atomic>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "jxplat/http.h"
#include "jxplat/text.h"
#include "jxplat/winreg.h"

namespace {

const WCHAR* const kUrlAclKey = u"SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\UrlAclInfo";

// Configuration handles of this process (HttpInitialize with HTTP_INITIALIZE_CONFIG).
std::atomic<int> g_ConfigUsers{0};

bool _http_ValidVersion(HTTPAPI_VERSION version) {
    return (version.HttpApiMajorVersion == 1 || version.HttpApiMajorVersion == 2) &&
           version.HttpApiMinorVersion == 0;
}

// The reservations in the registry's value order: {URL prefix, SDDL}.
std::vector<std::pair<std::u16string, std::u16string>> _http_Reservations() {
    std::vector<std::pair<std::u16string, std::u16string>> list;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUrlAclKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return list;
    for (DWORD index = 0;; ++index) {
        WCHAR name[1024];
        DWORD nameLength = 1024;
        DWORD type = 0;
        std::vector<BYTE> data(8192);
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS status =
            RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            continue;
        std::u16string sddl;
        if (type == REG_SZ)
            sddl.assign(reinterpret_cast<const WCHAR*>(data.data()), size / sizeof(WCHAR));
        while (!sddl.empty() && sddl.back() == 0)
            sddl.pop_back();
        list.emplace_back(std::u16string(name, nameLength), sddl);
    }
    RegCloseKey(key);
    return list;
}

ULONG _http_Answer(const std::u16string& prefix, const std::u16string& sddl, PVOID output, ULONG outputLength,
                   ULONG* returnLength) {
    const size_t head = sizeof(HTTP_SERVICE_CONFIG_URLACL_SET);
    const size_t need = head + (prefix.size() + 1 + sddl.size() + 1) * sizeof(WCHAR);
    if (returnLength)
        *returnLength = static_cast<ULONG>(need);
    if (!output || outputLength < need)
        return ERROR_INSUFFICIENT_BUFFER;
    auto* set = static_cast<HTTP_SERVICE_CONFIG_URLACL_SET*>(output);
    auto* text = reinterpret_cast<WCHAR*>(static_cast<BYTE*>(output) + head);
    std::memcpy(text, prefix.c_str(), (prefix.size() + 1) * sizeof(WCHAR));
    set->KeyDesc.pUrlPrefix = text;
    text += prefix.size() + 1;
    std::memcpy(text, sddl.c_str(), (sddl.size() + 1) * sizeof(WCHAR));
    set->ParamDesc.pStringSecurityDescriptor = text;
    return NO_ERROR;
}

} // namespace

ULONG HttpInitialize(HTTPAPI_VERSION version, ULONG flags, PVOID reserved) {
    if (!_http_ValidVersion(version) || reserved || flags == 0 ||
        (flags & ~(HTTP_INITIALIZE_SERVER | HTTP_INITIALIZE_CONFIG)) != 0)
        return ERROR_INVALID_PARAMETER;
    if (flags & HTTP_INITIALIZE_CONFIG)
        ++g_ConfigUsers;
    return NO_ERROR;
}

ULONG HttpTerminate(ULONG flags, PVOID reserved) {
    if (reserved || (flags & ~(HTTP_INITIALIZE_SERVER | HTTP_INITIALIZE_CONFIG)) != 0)
        return ERROR_INVALID_PARAMETER;
    if (flags & HTTP_INITIALIZE_CONFIG) {
        int users = g_ConfigUsers.load();
        while (users > 0 && !g_ConfigUsers.compare_exchange_weak(users, users - 1)) {
        }
    }
    return NO_ERROR;
}

ULONG HttpQueryServiceConfiguration(HANDLE serviceHandle, HTTP_SERVICE_CONFIG_ID configId, PVOID input,
                                    ULONG inputLength, PVOID output, ULONG outputLength, ULONG* returnLength,
                                    LPOVERLAPPED overlapped) {
    if (g_ConfigUsers.load() <= 0)
        return ERROR_INVALID_HANDLE;
    if (serviceHandle || overlapped || configId != HttpServiceConfigUrlAclInfo || !input ||
        inputLength < sizeof(HTTP_SERVICE_CONFIG_URLACL_QUERY))
        return ERROR_INVALID_PARAMETER;
    const auto* query = static_cast<const HTTP_SERVICE_CONFIG_URLACL_QUERY*>(input);
    const auto list = _http_Reservations();
    if (query->QueryDesc == HttpServiceConfigQueryNext) {
        if (query->dwToken >= list.size())
            return ERROR_NO_MORE_ITEMS;
        const auto& entry = list[query->dwToken];
        return _http_Answer(entry.first, entry.second, output, outputLength, returnLength);
    }
    if (query->QueryDesc == HttpServiceConfigQueryExact) {
        if (!query->KeyDesc.pUrlPrefix)
            return ERROR_INVALID_PARAMETER;
        for (const auto& entry : list)
            if (jxtext::EqualsNoCase(entry.first, query->KeyDesc.pUrlPrefix))
                return _http_Answer(entry.first, entry.second, output, outputLength, returnLength);
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_INVALID_PARAMETER;
}
