// RegGetKeySecurity and RegSetKeySecurity: the self-relative security descriptor kept with each
// key. A key that was never given one reports a default: owner Administrators, group SYSTEM, and
// a DACL of SYSTEM and Administrators (full control) and, for a user's hive, the user (full
// control), otherwise Users (read). The stand-in keeps and reports descriptors; access checks
// stay those of the registry (an elevated administrator may change HKLM).
#include "jxplat/text.h"
#include "registry/reg_resolve.h"
#include "registry/reg_state.h"
#include "security/privileges.h"
#include "security/security_codec.h"

using namespace jxplat::registry;
using namespace jxplat::security;

namespace {

constexpr DWORD kRegKnownParts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                 DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;

void _RegAddAce(std::vector<BYTE>* acl, std::u16string_view sidText, DWORD mask) {
    const std::vector<BYTE> sid = SidFromText(sidText);
    const size_t aceSize = kAceHeaderSize + 4 + sid.size();
    std::vector<BYTE> ace(aceSize, 0);
    ace[0] = ACCESS_ALLOWED_ACE_TYPE;
    ace[1] = CONTAINER_INHERIT_ACE;
    ace[2] = static_cast<BYTE>(aceSize);
    ace[3] = static_cast<BYTE>(aceSize >> 8);
    for (int i = 0; i < 4; ++i)
        ace[4 + i] = static_cast<BYTE>(mask >> (8 * i));
    std::copy(sid.begin(), sid.end(), ace.begin() + 8);
    acl->insert(acl->end(), ace.begin(), ace.end());
    ACL* header = reinterpret_cast<ACL*>(acl->data());
    header->AclSize = static_cast<WORD>(acl->size());
    header->AceCount = static_cast<WORD>(header->AceCount + 1);
}

// The SID whose hive holds the key, or empty for the machine's keys and HKEY_USERS itself.
std::u16string _RegHiveUser(const CRegKey& key, const CRegLayer& layer) {
    if (layer.hive == RegHiveId::Machine)
        return {};
    if (key.root == RegRoot::Classes)
        return JxRegState::Get().Machine().userSid;
    return key.path.empty() ? std::u16string() : key.path[0];
}

CSecurityParts _RegDefaultSecurity(const std::u16string& user) {
    CSecurityParts parts;
    parts.control = SE_DACL_PRESENT;
    parts.owner = SidFromText(u"S-1-5-32-544");
    parts.group = SidFromText(u"S-1-5-18");
    parts.dacl.assign(kAclHeaderSize, 0);
    parts.dacl[0] = ACL_REVISION;
    _RegAddAce(&parts.dacl, u"S-1-5-18", KEY_ALL_ACCESS);
    _RegAddAce(&parts.dacl, u"S-1-5-32-544", KEY_ALL_ACCESS);
    if (!user.empty() && !SidFromText(user).empty())
        _RegAddAce(&parts.dacl, user, KEY_ALL_ACCESS);
    else
        _RegAddAce(&parts.dacl, u"S-1-5-32-545", KEY_READ);
    return parts;
}

// The descriptor of a key's layer: the one kept, or the default.
LSTATUS _RegCurrentSecurity(const CRegKey& key, const CRegLayer& layer, CSecurityParts* parts) {
    JxRegHive& hive = JxRegState::Get().Hive(layer.hive);
    std::vector<BYTE> stored;
    LSTATUS status = hive.GetSecurity(layer.id, &stored);
    if (status != ERROR_SUCCESS)
        return status;
    if (stored.empty() || !ReadSecurityDescriptor(stored.data(), stored.size(), parts))
        *parts = _RegDefaultSecurity(_RegHiveUser(key, layer));
    return ERROR_SUCCESS;
}

LSTATUS _RegCheckParts(SECURITY_INFORMATION information) {
    if (information == 0 || (information & ~kRegKnownParts))
        return ERROR_INVALID_PARAMETER;
    if ((information & SACL_SECURITY_INFORMATION) && !IsPrivilegeEnabled(SE_SECURITY_NAME))
        return ERROR_PRIVILEGE_NOT_HELD;
    return ERROR_SUCCESS;
}

} // namespace

LSTATUS RegGetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                          PSECURITY_DESCRIPTOR pSecurityDescriptor, LPDWORD lpcbSecurityDescriptor) {
    if (lpcbSecurityDescriptor == nullptr)
        return ERROR_INVALID_PARAMETER;
    LSTATUS status = _RegCheckParts(SecurityInformation);
    if (status != ERROR_SUCCESS)
        return status;
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    std::shared_ptr<CRegKey> key;
    status = RegKeyOf(hKey, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if ((SecurityInformation & ~DWORD{SACL_SECURITY_INFORMATION}) && !(key->access & READ_CONTROL))
        return ERROR_ACCESS_DENIED;
    const CRegLayer* layer = key->WriteLayer();
    if (layer == nullptr)
        return ERROR_KEY_DELETED;
    status = state.Hive(layer->hive).Open();
    CSecurityParts current;
    if (status == ERROR_SUCCESS)
        status = _RegCurrentSecurity(*key, *layer, &current);
    if (status != ERROR_SUCCESS)
        return status;

    // Only the parts asked for.
    CSecurityParts answer;
    if (SecurityInformation & OWNER_SECURITY_INFORMATION) {
        answer.owner = current.owner;
        answer.control |= current.control & SE_OWNER_DEFAULTED;
    }
    if (SecurityInformation & GROUP_SECURITY_INFORMATION) {
        answer.group = current.group;
        answer.control |= current.control & SE_GROUP_DEFAULTED;
    }
    if (SecurityInformation & DACL_SECURITY_INFORMATION) {
        answer.dacl = current.dacl;
        answer.control |= current.control & (SE_DACL_PRESENT | SE_DACL_DEFAULTED | SE_DACL_PROTECTED |
                                             SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ);
    }
    if (SecurityInformation & SACL_SECURITY_INFORMATION) {
        answer.sacl = current.sacl;
        answer.control |= current.control & (SE_SACL_PRESENT | SE_SACL_DEFAULTED | SE_SACL_PROTECTED |
                                             SE_SACL_AUTO_INHERITED | SE_SACL_AUTO_INHERIT_REQ);
    }
    const std::vector<BYTE> relative = WriteSelfRelative(answer);
    if (pSecurityDescriptor == nullptr || *lpcbSecurityDescriptor < relative.size()) {
        *lpcbSecurityDescriptor = static_cast<DWORD>(relative.size());
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::copy(relative.begin(), relative.end(), static_cast<BYTE*>(pSecurityDescriptor));
    *lpcbSecurityDescriptor = static_cast<DWORD>(relative.size());
    return ERROR_SUCCESS;
}

LSTATUS RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                          PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    LSTATUS status = _RegCheckParts(SecurityInformation);
    if (status != ERROR_SUCCESS)
        return status;
    CSecurityParts given;
    if (pSecurityDescriptor == nullptr || !ReadSecurityDescriptor(pSecurityDescriptor, 0xFFFF, &given))
        return ERROR_INVALID_SECURITY_DESCR;
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    std::shared_ptr<CRegKey> key;
    status = RegKeyOf(hKey, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if (((SecurityInformation & DACL_SECURITY_INFORMATION) && !(key->access & WRITE_DAC)) ||
        ((SecurityInformation & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) &&
         !(key->access & WRITE_OWNER)))
        return ERROR_ACCESS_DENIED;
    const CRegLayer* layer = key->WriteLayer();
    if (layer == nullptr)
        return ERROR_KEY_DELETED;
    if (!RegMayWrite(*layer))
        return ERROR_ACCESS_DENIED;
    JxRegHive& hive = state.Hive(layer->hive);
    status = hive.Open();
    if (status == ERROR_SUCCESS)
        status = hive.Begin();
    if (status != ERROR_SUCCESS)
        return status;
    CSecurityParts current;
    status = _RegCurrentSecurity(*key, *layer, &current);
    if (status == ERROR_SUCCESS) {
        if (SecurityInformation & OWNER_SECURITY_INFORMATION) {
            if (given.owner.empty())
                status = ERROR_INVALID_OWNER;
            current.owner = given.owner;
        }
        if (SecurityInformation & GROUP_SECURITY_INFORMATION)
            current.group = given.group;
        constexpr WORD kDaclBits = SE_DACL_PRESENT | SE_DACL_DEFAULTED | SE_DACL_PROTECTED |
                                   SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ;
        constexpr WORD kSaclBits = SE_SACL_PRESENT | SE_SACL_DEFAULTED | SE_SACL_PROTECTED |
                                   SE_SACL_AUTO_INHERITED | SE_SACL_AUTO_INHERIT_REQ;
        if (SecurityInformation & DACL_SECURITY_INFORMATION) {
            current.dacl = given.dacl;
            current.control = static_cast<WORD>((current.control & ~kDaclBits) | (given.control & kDaclBits));
        }
        if (SecurityInformation & SACL_SECURITY_INFORMATION) {
            current.sacl = given.sacl;
            current.control = static_cast<WORD>((current.control & ~kSaclBits) | (given.control & kSaclBits));
        }
    }
    if (status == ERROR_SUCCESS)
        status = hive.SetSecurity(layer->id, WriteSelfRelative(current));
    if (status != ERROR_SUCCESS) {
        hive.Rollback();
        return status;
    }
    return hive.Commit();
}
