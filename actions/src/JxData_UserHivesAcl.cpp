// Permissions of the product's machine-wide software keys: the accounts the product's processes,
// users and sandboxed applications need are added to a key's DACL when they are missing.
#include <vector>

#include "JxData_Registry.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kPatch[] = u"JxSetup::Data::JxData::PatchRegkeyAcl";

struct CRegPermission {
    const WCHAR* sid;
    const WCHAR* account;
    DWORD rights;
};

constexpr CRegPermission kPermissions[] = {
    {u"S-1-5-32-544", u"BUILTIN\\Administrators", KEY_ALL_ACCESS},
    {u"S-1-3-0", u"CREATOR OWNER", KEY_ALL_ACCESS},
    {u"S-1-5-18", u"LocalSystem", KEY_ALL_ACCESS},
    {u"S-1-5-32-545", u"BUILTIN\\Users", KEY_READ},
    {u"S-1-15-2-1", u"ALL APPLICATION PACKAGES", KEY_READ},
};

// The texts of the SIDs of every ACE of the ACL, whatever its type.
std::vector<std::u16string> _acl_Sids(PACL acl) {
    std::vector<std::u16string> sids;
    for (DWORD index = 0; index < acl->AceCount; ++index) {
        LPVOID ace = nullptr;
        if (!GetAce(acl, index, &ace))
            continue;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE &&
            header->AceType != SYSTEM_AUDIT_ACE_TYPE)
            continue;
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        LPWSTR text = nullptr;
        if (ConvertSidToStringSidW(sid, &text)) {
            sids.emplace_back(text);
            LocalFree(text);
        }
    }
    return sids;
}

bool _acl_Has(const std::vector<std::u16string>& sids, const WCHAR* sid) {
    for (const std::u16string& known : sids)
        if (jxtext::EqualsNoCase(known, sid))
            return true;
    return false;
}

} // namespace

void JxData::PatchRegkeyAcl(HKEY root, const std::u16string& key, REGSAM access) {
    if (root != HKEY_LOCAL_MACHINE || !jxtext::StartsWithNoCase(key, u"software\\tolvane"))
        return;
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kPatch, u"%d, %s, %d",
             static_cast<LONG>(reinterpret_cast<LONG_PTR>(root)), key.c_str(), access);
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(root, key.c_str(), 0, access, &opened);
    if (status != ERROR_SUCCESS) {
        log->Log(LP_WARNING, kRegModule, kPatch, u"Failed to open regkey: %d, %d", status, GetLastError());
        log->Log(LOG_END, kRegModule, kPatch, u"");
        return;
    }
    auto finish = [&] {
        RegCloseKey(opened);
        log->Log(LOG_END, kRegModule, kPatch, u"");
    };

    DWORD size = 0;
    status = RegGetKeySecurity(opened, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<BYTE> descriptor(size);
    if (status == ERROR_INSUFFICIENT_BUFFER)
        status = RegGetKeySecurity(opened, DACL_SECURITY_INFORMATION, descriptor.data(), &size);
    if (status != ERROR_SUCCESS) {
        log->Log(LP_WARNING, kRegModule, kPatch, u"Failed to get security descriptor: %d, %d", 0, status);
        return finish();
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted)) {
        log->Log(LP_WARNING, kRegModule, kPatch, u"Failed to get acl: %d", GetLastError());
        return finish();
    }
    if (!present || dacl == nullptr) {
        // A NULL DACL grants everyone everything; adding entries would restrict the key.
        log->Log(LP_INFO, kRegModule, kPatch, u"The key has no DACL; nothing to patch.");
        return finish();
    }

    const std::vector<std::u16string> sids = _acl_Sids(dacl);
    std::vector<const CRegPermission*> missing;
    DWORD extra = 0;
    std::vector<std::vector<BYTE>> sidBytes;
    for (const CRegPermission& permission : kPermissions) {
        if (_acl_Has(sids, permission.sid))
            continue;
        PSID sid = nullptr;
        if (!ConvertStringSidToSidW(permission.sid, &sid)) {
            log->Log(LP_WARNING, kRegModule, kPatch, u"Failed to add ace %s (%s): %d", permission.sid,
                     permission.account, GetLastError());
            return finish();
        }
        const auto* bytes = static_cast<const BYTE*>(sid);
        sidBytes.emplace_back(bytes, bytes + GetLengthSid(sid));
        LocalFree(sid);
        missing.push_back(&permission);
        extra += static_cast<DWORD>(offsetof(ACCESS_ALLOWED_ACE, SidStart) + sidBytes.back().size());
    }
    if (missing.empty())
        return finish();

    // A copy of the DACL with room for the new entries, which go at its end.
    ACL_SIZE_INFORMATION info{};
    GetAclInformation(dacl, &info, sizeof(info), AclSizeInformation);
    std::vector<BYTE> aclBuffer((info.AclBytesInUse + extra + 3) & ~DWORD{3});
    auto* patched = reinterpret_cast<PACL>(aclBuffer.data());
    bool changed = false;
    if (!InitializeAcl(patched, static_cast<DWORD>(aclBuffer.size()), dacl->AclRevision) ||
        (info.AclBytesInUse > sizeof(ACL) &&
         !AddAce(patched, dacl->AclRevision, MAXDWORD, reinterpret_cast<BYTE*>(dacl) + sizeof(ACL),
                 info.AclBytesInUse - sizeof(ACL)))) {
        log->Log(LP_WARNING, kRegModule, kPatch, u"Failed to copy acl: %d", GetLastError());
        return finish();
    }
    for (size_t i = 0; i < missing.size(); ++i) {
        if (!AddAccessAllowedAceEx(patched, dacl->AclRevision, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                   missing[i]->rights, sidBytes[i].data())) {
            log->Log(LP_WARNING, kRegModule, kPatch, u"Failed to add ace %s (%s): %d", missing[i]->sid,
                     missing[i]->account, GetLastError());
            return finish();
        }
        log->Log(LP_INFO, kRegModule, kPatch, u"Add Ace %s (%s)", missing[i]->sid, missing[i]->account);
        changed = true;
    }
    if (changed) {
        SECURITY_DESCRIPTOR absolute{};
        InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&absolute, TRUE, patched, FALSE);
        status = RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, &absolute);
        if (status == ERROR_SUCCESS)
            log->Log(LP_INFO, kRegModule, kPatch, u"ACL patched successfully.");
        else
            log->Log(LP_WARNING, kRegModule, kPatch, u"Failed to set security descriptor: %d, %d", status,
                     GetLastError());
    }
    finish();
}

} // namespace JxSetup::Data
