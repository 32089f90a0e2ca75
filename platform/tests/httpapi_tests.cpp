// URL reservations of HTTP.sys through the configuration calls of the HTTP Server API.
#include <http.h>
#include <vector>

#include <gtest/gtest.h>

#include "jxtest/machine_root.h"
#include "jxplat/winreg.h"

namespace {

void Reserve(const std::u16string& prefix, const std::u16string& sddl) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                              u"SYSTEM\\CurrentControlSet\\Services\\HTTP\\Parameters\\UrlAclInfo", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, prefix.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(sddl.c_str()),
                   static_cast<DWORD>((sddl.size() + 1) * 2));
    RegCloseKey(key);
}

ULONG Query(HTTP_SERVICE_CONFIG_QUERY_TYPE type, DWORD token, const char16_t* prefix,
            std::vector<BYTE>& out) {
    HTTP_SERVICE_CONFIG_URLACL_QUERY query{};
    query.QueryDesc = type;
    query.dwToken = token;
    query.KeyDesc.pUrlPrefix = const_cast<PWSTR>(prefix);
    ULONG size = 0;
    ULONG status = HttpQueryServiceConfiguration(nullptr, HttpServiceConfigUrlAclInfo, &query, sizeof(query),
                                                 nullptr, 0, &size, nullptr);
    if (status != ERROR_INSUFFICIENT_BUFFER)
        return status;
    out.assign(size, 0);
    return HttpQueryServiceConfiguration(nullptr, HttpServiceConfigUrlAclInfo, &query, sizeof(query),
                                         out.data(), size, &size, nullptr);
}

TEST(HttpServerApi, EnumeratesAndFindsUrlReservations) {
    jxtest::TempMachineRoot root;
    Reserve(u"https://+:8443/tolvane/mms/", u"D:(A;;GX;;;NS)");
    Reserve(u"http://+:80/Temporary_Listen_Addresses/", u"D:(A;;GX;;;WD)");
    std::vector<BYTE> out;
    EXPECT_EQ(Query(HttpServiceConfigQueryNext, 0, nullptr, out), static_cast<ULONG>(ERROR_INVALID_HANDLE));

    const HTTPAPI_VERSION version = HTTPAPI_VERSION_1;
    ASSERT_EQ(HttpInitialize(version, HTTP_INITIALIZE_CONFIG, nullptr), static_cast<ULONG>(NO_ERROR));
    ASSERT_EQ(Query(HttpServiceConfigQueryNext, 0, nullptr, out), static_cast<ULONG>(NO_ERROR));
    auto* set = reinterpret_cast<HTTP_SERVICE_CONFIG_URLACL_SET*>(out.data());
    EXPECT_EQ(std::u16string(set->KeyDesc.pUrlPrefix), u"http://+:80/Temporary_Listen_Addresses/");
    ASSERT_EQ(Query(HttpServiceConfigQueryNext, 1, nullptr, out), static_cast<ULONG>(NO_ERROR));
    set = reinterpret_cast<HTTP_SERVICE_CONFIG_URLACL_SET*>(out.data());
    EXPECT_EQ(std::u16string(set->KeyDesc.pUrlPrefix), u"https://+:8443/tolvane/mms/");
    EXPECT_EQ(std::u16string(set->ParamDesc.pStringSecurityDescriptor), u"D:(A;;GX;;;NS)");
    EXPECT_EQ(Query(HttpServiceConfigQueryNext, 2, nullptr, out), static_cast<ULONG>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(Query(HttpServiceConfigQueryExact, 0, u"HTTPS://+:8443/tolvane/mms/", out),
              static_cast<ULONG>(NO_ERROR));
    EXPECT_EQ(Query(HttpServiceConfigQueryExact, 0, u"https://+:1/", out),
              static_cast<ULONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(HttpTerminate(HTTP_INITIALIZE_CONFIG, nullptr), static_cast<ULONG>(NO_ERROR));
    EXPECT_EQ(Query(HttpServiceConfigQueryNext, 0, nullptr, out), static_cast<ULONG>(ERROR_INVALID_HANDLE));
}

} // namespace
