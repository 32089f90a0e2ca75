// The ACL calls: making an ACL, reading its size and entries, adding entries.
#include <cstring>

#include "jxplat/errhandling.h"
#include "jxplat/security.h"
#include "jxplat/winerror.h"
#include "security/security_codec.h"

using namespace jxplat::security;

namespace {

BOOL _acl_Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// Inserts bytes of whole ACEs before the ACE at index (or at the end).
void _acl_Insert(ACL* acl, DWORD index, const BYTE* aces, size_t size, WORD count) {
    auto* bytes = reinterpret_cast<BYTE*>(acl);
    const size_t inUse = AclBytesInUse(acl);
    BYTE* at = AclAceAt(acl, index);
    const size_t offset = at != nullptr ? static_cast<size_t>(at - bytes) : inUse;
    std::memmove(bytes + offset + size, bytes + offset, inUse - offset);
    std::memcpy(bytes + offset, aces, size);
    acl->AceCount = static_cast<WORD>(acl->AceCount + count);
}

BOOL _acl_AddSimpleAce(PACL acl, DWORD aceRevision, BYTE type, DWORD aceFlags, DWORD accessMask, PSID sid) {
    if (!AclIsValid(acl))
        return _acl_Fail(ERROR_INVALID_ACL);
    if (!SidIsValid(sid))
        return _acl_Fail(ERROR_INVALID_SID);
    if (aceRevision < ACL_REVISION || aceRevision > ACL_REVISION_DS)
        return _acl_Fail(ERROR_REVISION_MISMATCH);
    if (aceFlags & ~DWORD{VALID_INHERIT_FLAGS})
        return _acl_Fail(ERROR_INVALID_FLAGS);
    const size_t sidLength = SidLength(sid);
    const size_t aceSize = kAceHeaderSize + 4 + sidLength;
    if (AclBytesInUse(acl) + aceSize > acl->AclSize)
        return _acl_Fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
    std::vector<BYTE> ace(aceSize, 0);
    ace[0] = type;
    ace[1] = static_cast<BYTE>(aceFlags);
    ace[2] = static_cast<BYTE>(aceSize);
    ace[3] = static_cast<BYTE>(aceSize >> 8);
    std::memcpy(&ace[4], &accessMask, 4);
    std::memcpy(&ace[8], sid, sidLength);
    _acl_Insert(acl, MAXDWORD, ace.data(), ace.size(), 1);
    if (aceRevision > acl->AclRevision)
        acl->AclRevision = static_cast<BYTE>(aceRevision);
    return TRUE;
}

} // namespace

BOOL InitializeAcl(PACL acl, DWORD aclLength, DWORD aclRevision) {
    if (acl == nullptr || aclLength < kAclHeaderSize || aclLength > 0xFFFF)
        return _acl_Fail(aclLength > 0xFFFF ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
    if (aclRevision < ACL_REVISION || aclRevision > ACL_REVISION_DS)
        return _acl_Fail(ERROR_INVALID_PARAMETER);
    std::memset(acl, 0, kAclHeaderSize);
    acl->AclRevision = static_cast<BYTE>(aclRevision);
    acl->AclSize = static_cast<WORD>(aclLength & ~DWORD{3});
    return TRUE;
}

BOOL IsValidAcl(PACL acl) {
    return AclIsValid(acl) ? TRUE : FALSE;
}

BOOL GetAclInformation(PACL acl, LPVOID information, DWORD informationLength,
                       ACL_INFORMATION_CLASS informationClass) {
    if (!AclIsValid(acl))
        return _acl_Fail(ERROR_INVALID_ACL);
    if (information == nullptr)
        return _acl_Fail(ERROR_INVALID_PARAMETER);
    if (informationClass == AclRevisionInformation) {
        if (informationLength < sizeof(ACL_REVISION_INFORMATION))
            return _acl_Fail(ERROR_INSUFFICIENT_BUFFER);
        static_cast<ACL_REVISION_INFORMATION*>(information)->AclRevision = acl->AclRevision;
        return TRUE;
    }
    if (informationClass != AclSizeInformation)
        return _acl_Fail(ERROR_INVALID_PARAMETER);
    if (informationLength < sizeof(ACL_SIZE_INFORMATION))
        return _acl_Fail(ERROR_INSUFFICIENT_BUFFER);
    auto* size = static_cast<ACL_SIZE_INFORMATION*>(information);
    size->AceCount = acl->AceCount;
    size->AclBytesInUse = static_cast<DWORD>(AclBytesInUse(acl));
    size->AclBytesFree = acl->AclSize - size->AclBytesInUse;
    return TRUE;
}

BOOL GetAce(PACL acl, DWORD aceIndex, LPVOID* ace) {
    if (!AclIsValid(acl) || ace == nullptr)
        return _acl_Fail(ERROR_INVALID_PARAMETER);
    BYTE* found = AclAceAt(acl, aceIndex);
    if (found == nullptr)
        return _acl_Fail(ERROR_INVALID_PARAMETER);
    *ace = found;
    return TRUE;
}

BOOL AddAce(PACL acl, DWORD aceRevision, DWORD startingAceIndex, LPVOID aceList, DWORD aceListLength) {
    if (!AclIsValid(acl))
        return _acl_Fail(ERROR_INVALID_ACL);
    if (aceRevision < ACL_REVISION || aceRevision > ACL_REVISION_DS)
        return _acl_Fail(ERROR_REVISION_MISMATCH);
    // The list must be whole ACEs.
    const auto* list = static_cast<const BYTE*>(aceList);
    WORD count = 0;
    for (size_t offset = 0; offset < aceListLength; ++count) {
        if (list == nullptr || offset + kAceHeaderSize > aceListLength)
            return _acl_Fail(ERROR_INVALID_PARAMETER);
        const size_t aceSize = static_cast<size_t>(list[offset + 2] | (list[offset + 3] << 8));
        if (aceSize < kAceHeaderSize || offset + aceSize > aceListLength)
            return _acl_Fail(ERROR_INVALID_PARAMETER);
        offset += aceSize;
    }
    if (AclBytesInUse(acl) + aceListLength > acl->AclSize)
        return _acl_Fail(ERROR_INSUFFICIENT_BUFFER);
    _acl_Insert(acl, startingAceIndex, list, aceListLength, count);
    if (aceRevision > acl->AclRevision)
        acl->AclRevision = static_cast<BYTE>(aceRevision);
    return TRUE;
}

BOOL AddAccessAllowedAce(PACL acl, DWORD aceRevision, DWORD accessMask, PSID sid) {
    return _acl_AddSimpleAce(acl, aceRevision, ACCESS_ALLOWED_ACE_TYPE, 0, accessMask, sid);
}

BOOL AddAccessAllowedAceEx(PACL acl, DWORD aceRevision, DWORD aceFlags, DWORD accessMask, PSID sid) {
    return _acl_AddSimpleAce(acl, aceRevision, ACCESS_ALLOWED_ACE_TYPE, aceFlags, accessMask, sid);
}

BOOL AddAccessDeniedAceEx(PACL acl, DWORD aceRevision, DWORD aceFlags, DWORD accessMask, PSID sid) {
    return _acl_AddSimpleAce(acl, aceRevision, ACCESS_DENIED_ACE_TYPE, aceFlags, accessMask, sid);
}
