// The registry helpers of the maker's key: plain texts, the restricted key and the architecture.
#include <cstring>
#include <vector>

#include "jxmms/MmsAccessKeys.h"

namespace {

// Bytes of the buffer that one value read may fill.
constexpr DWORD kReadBufferBytes = 2048;

std::u16string _reg_TextOfValue(const BYTE* data, DWORD size) {
    // The reported length counts, a terminating zero is dropped when there is one: a value that
    // another party stored without its terminator keeps its last character.
    std::u16string text(reinterpret_cast<const char16_t*>(data), size / sizeof(char16_t));
    const size_t zero = text.find(u'\0');
    if (zero != std::u16string::npos)
        text.resize(zero);
    return text;
}

} // namespace

std::recursive_mutex& MmsProductKeyLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::u16string GetMakerKeyPath(const std::u16string& subKey) {
    return subKey.empty() ? std::u16string(u"SOFTWARE\\TOLVANE") : u"SOFTWARE\\TOLVANE\\" + subKey;
}

std::u16string ReadProductRegistryString(const std::u16string& subKey, const std::u16string& valueName,
                                         const std::u16string& defaultValue, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(MmsProductKeyLock());
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, GetMakerKeyPath(subKey).c_str(), 0, KEY_READ | view, &key) !=
        ERROR_SUCCESS)
        return defaultValue;
    std::vector<BYTE> buffer(kReadBufferBytes);
    DWORD size = kReadBufferBytes;
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, buffer.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ || size <= 1)
        return defaultValue;
    return _reg_TextOfValue(buffer.data(), size);
}

bool WriteProductRegistryString(const std::u16string& subKey, const std::u16string& valueName,
                                const std::u16string& text, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(MmsProductKeyLock());
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, GetMakerKeyPath(subKey).c_str(), 0, nullptr, 0, 0x2001F | view,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LSTATUS status =
        RegSetValueExW(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::u16string ReadRestrictedValue(const std::u16string& valueName, const std::u16string& defaultValue,
                                   REGSAM view) {
    return ReadProductRegistryString(kMmsRestrictedSubKey, valueName, defaultValue, view);
}

bool WriteRestrictedValue(const std::u16string& valueName, const std::u16string& text, REGSAM view) {
    return WriteProductRegistryString(kMmsRestrictedSubKey, valueName, text, view);
}

bool CreateRestrictedKey(const std::u16string& subKey, REGSAM view) {
    std::lock_guard<std::recursive_mutex> hold(MmsProductKeyLock());
    // Administrators, CREATOR OWNER and LocalSystem with full access, inherited by sub-keys and
    // values; no entry for ordinary users.
    const WELL_KNOWN_SID_TYPE kinds[] = {WinBuiltinAdministratorsSid, WinCreatorOwnerSid, WinLocalSystemSid};
    BYTE sids[3][SECURITY_MAX_SID_SIZE];
    DWORD aclSize = sizeof(ACL);
    for (int i = 0; i < 3; ++i) {
        DWORD size = SECURITY_MAX_SID_SIZE;
        if (!CreateWellKnownSid(kinds[i], nullptr, sids[i], &size))
            return false;
        aclSize += sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sids[i]);
    }
    std::vector<BYTE> aclBuffer(aclSize);
    auto* acl = reinterpret_cast<PACL>(aclBuffer.data());
    if (!InitializeAcl(acl, aclSize, ACL_REVISION))
        return false;
    for (auto& sid : sids)
        if (!AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                   KEY_ALL_ACCESS, sid))
            return false;
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};

    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, GetMakerKeyPath(subKey).c_str(), 0, nullptr, 0, 0x6001F | view,
                        &attributes, &key, &disposition) != ERROR_SUCCESS)
        return false;
    bool done = true;
    if (disposition == REG_OPENED_EXISTING_KEY)
        done = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    RegCloseKey(key);
    return done;
}

bool IsProcessorArchitecture64() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    BYTE buffer[520];
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExW(key, u"PROCESSOR_ARCHITECTURE", nullptr, &type, buffer, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return false;
    return _reg_TextOfValue(buffer, size).find(u"64") != std::u16string::npos;
}
