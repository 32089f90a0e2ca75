// The security-descriptor calls over both forms: absolute (pointers) and self-relative (offsets).
#include <cstring>

#include "jxplat/errhandling.h"
#include "jxplat/security.h"
#include "jxplat/winerror.h"
#include "security/security_codec.h"

using namespace jxplat::security;

namespace {

BOOL _sd_Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

bool _sd_IsRelative(const void* descriptor) {
    return (static_cast<const SECURITY_DESCRIPTOR*>(descriptor)->Control & SE_SELF_RELATIVE) != 0;
}

// An absolute descriptor the caller may change.
SECURITY_DESCRIPTOR* _sd_Absolute(PSECURITY_DESCRIPTOR descriptor, DWORD* error) {
    auto* absolute = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (absolute == nullptr || absolute->Revision != SECURITY_DESCRIPTOR_REVISION) {
        *error = ERROR_INVALID_SECURITY_DESCR;
        return nullptr;
    }
    if (absolute->Control & SE_SELF_RELATIVE) {
        *error = ERROR_INVALID_SECURITY_DESCR;
        return nullptr;
    }
    return absolute;
}

DWORD _sd_Offset(const void* descriptor, size_t at) {
    DWORD offset = 0;
    std::memcpy(&offset, static_cast<const BYTE*>(descriptor) + at, 4);
    return offset;
}

// The part of a descriptor at a self-relative header offset or behind an absolute pointer.
// A self-relative descriptor is only 20 bytes plus its parts: the pointer fields of the absolute
// form are read only when the descriptor is absolute.
template <typename T>
void* _sd_Part(PSECURITY_DESCRIPTOR descriptor, size_t relativeAt, T SECURITY_DESCRIPTOR::*absoluteField) {
    if (!_sd_IsRelative(descriptor))
        return static_cast<SECURITY_DESCRIPTOR*>(descriptor)->*absoluteField;
    const DWORD offset = _sd_Offset(descriptor, relativeAt);
    return offset == 0 ? nullptr : static_cast<BYTE*>(descriptor) + offset;
}

} // namespace

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor, DWORD revision) {
    if (securityDescriptor == nullptr)
        return _sd_Fail(ERROR_INVALID_PARAMETER);
    if (revision != SECURITY_DESCRIPTOR_REVISION)
        return _sd_Fail(ERROR_UNKNOWN_REVISION);
    std::memset(securityDescriptor, 0, sizeof(SECURITY_DESCRIPTOR));
    static_cast<SECURITY_DESCRIPTOR*>(securityDescriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor) {
    CSecurityParts parts;
    if (securityDescriptor == nullptr)
        return _sd_Fail(ERROR_INVALID_SECURITY_DESCR);
    // A self-relative descriptor's extent is not known here: its parts are read as they claim.
    return ReadSecurityDescriptor(securityDescriptor, 0xFFFF, &parts)
               ? TRUE
               : _sd_Fail(ERROR_INVALID_SECURITY_DESCR);
}

DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR securityDescriptor) {
    CSecurityParts parts;
    if (!ReadSecurityDescriptor(securityDescriptor, 0xFFFF, &parts))
        return 0;
    if (_sd_IsRelative(securityDescriptor)) {
        // The end of the furthest part.
        size_t end = kSelfRelativeHeaderSize;
        const std::pair<size_t, size_t> extents[] = {{4, parts.owner.size()},
                                                     {8, parts.group.size()},
                                                     {12, parts.sacl.size()},
                                                     {16, parts.dacl.size()}};
        for (const auto& [at, size] : extents) {
            const DWORD offset = _sd_Offset(securityDescriptor, at);
            if (offset != 0 && size != 0 && offset + size > end)
                end = offset + size;
        }
        return static_cast<DWORD>(end);
    }
    return static_cast<DWORD>(sizeof(SECURITY_DESCRIPTOR) + parts.owner.size() + parts.group.size() +
                              parts.sacl.size() + parts.dacl.size());
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR securityDescriptor,
                                  PSECURITY_DESCRIPTOR_CONTROL control, LPDWORD revision) {
    if (securityDescriptor == nullptr || control == nullptr || revision == nullptr)
        return _sd_Fail(ERROR_INVALID_PARAMETER);
    const auto* descriptor = static_cast<const SECURITY_DESCRIPTOR*>(securityDescriptor);
    *revision = descriptor->Revision;
    *control = descriptor->Control;
    return descriptor->Revision == SECURITY_DESCRIPTOR_REVISION ? TRUE : _sd_Fail(ERROR_UNKNOWN_REVISION);
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR securityDescriptor, BOOL daclPresent, PACL dacl,
                               BOOL daclDefaulted) {
    DWORD error = 0;
    SECURITY_DESCRIPTOR* absolute = _sd_Absolute(securityDescriptor, &error);
    if (absolute == nullptr)
        return _sd_Fail(error);
    absolute->Control &= static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    absolute->Dacl = nullptr;
    if (daclPresent) {
        absolute->Control |= SE_DACL_PRESENT;
        absolute->Dacl = dacl;
        if (daclDefaulted)
            absolute->Control |= SE_DACL_DEFAULTED;
    }
    return TRUE;
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR securityDescriptor, PSID owner, BOOL ownerDefaulted) {
    DWORD error = 0;
    SECURITY_DESCRIPTOR* absolute = _sd_Absolute(securityDescriptor, &error);
    if (absolute == nullptr)
        return _sd_Fail(error);
    absolute->Owner = owner;
    absolute->Control &= static_cast<WORD>(~SE_OWNER_DEFAULTED);
    if (ownerDefaulted)
        absolute->Control |= SE_OWNER_DEFAULTED;
    return TRUE;
}

BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR securityDescriptor, PSID group, BOOL groupDefaulted) {
    DWORD error = 0;
    SECURITY_DESCRIPTOR* absolute = _sd_Absolute(securityDescriptor, &error);
    if (absolute == nullptr)
        return _sd_Fail(error);
    absolute->Group = group;
    absolute->Control &= static_cast<WORD>(~SE_GROUP_DEFAULTED);
    if (groupDefaulted)
        absolute->Control |= SE_GROUP_DEFAULTED;
    return TRUE;
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR securityDescriptor, BOOL* daclPresent, PACL* dacl,
                               BOOL* daclDefaulted) {
    if (securityDescriptor == nullptr || daclPresent == nullptr || dacl == nullptr ||
        daclDefaulted == nullptr)
        return _sd_Fail(ERROR_INVALID_PARAMETER);
    auto* descriptor = static_cast<SECURITY_DESCRIPTOR*>(securityDescriptor);
    if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION)
        return _sd_Fail(ERROR_UNKNOWN_REVISION);
    *daclPresent = (descriptor->Control & SE_DACL_PRESENT) ? TRUE : FALSE;
    if (*daclPresent) {
        *dacl = static_cast<PACL>(_sd_Part(securityDescriptor, 16, &SECURITY_DESCRIPTOR::Dacl));
        *daclDefaulted = (descriptor->Control & SE_DACL_DEFAULTED) ? TRUE : FALSE;
    }
    return TRUE;
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR securityDescriptor, PSID* owner, BOOL* ownerDefaulted) {
    if (securityDescriptor == nullptr || owner == nullptr || ownerDefaulted == nullptr)
        return _sd_Fail(ERROR_INVALID_PARAMETER);
    auto* descriptor = static_cast<SECURITY_DESCRIPTOR*>(securityDescriptor);
    if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION)
        return _sd_Fail(ERROR_UNKNOWN_REVISION);
    *owner = _sd_Part(securityDescriptor, 4, &SECURITY_DESCRIPTOR::Owner);
    *ownerDefaulted = (descriptor->Control & SE_OWNER_DEFAULTED) ? TRUE : FALSE;
    return TRUE;
}

BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR securityDescriptor, PSID* group, BOOL* groupDefaulted) {
    if (securityDescriptor == nullptr || group == nullptr || groupDefaulted == nullptr)
        return _sd_Fail(ERROR_INVALID_PARAMETER);
    auto* descriptor = static_cast<SECURITY_DESCRIPTOR*>(securityDescriptor);
    if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION)
        return _sd_Fail(ERROR_UNKNOWN_REVISION);
    *group = _sd_Part(securityDescriptor, 8, &SECURITY_DESCRIPTOR::Group);
    *groupDefaulted = (descriptor->Control & SE_GROUP_DEFAULTED) ? TRUE : FALSE;
    return TRUE;
}

BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absoluteSecurityDescriptor,
                        PSECURITY_DESCRIPTOR selfRelativeSecurityDescriptor, LPDWORD bufferLength) {
    if (absoluteSecurityDescriptor == nullptr || bufferLength == nullptr)
        return _sd_Fail(ERROR_INVALID_PARAMETER);
    if (_sd_IsRelative(absoluteSecurityDescriptor))
        return _sd_Fail(ERROR_BAD_DESCRIPTOR_FORMAT);
    CSecurityParts parts;
    if (!ReadSecurityDescriptor(absoluteSecurityDescriptor, sizeof(SECURITY_DESCRIPTOR), &parts))
        return _sd_Fail(ERROR_INVALID_SECURITY_DESCR);
    const std::vector<BYTE> relative = WriteSelfRelative(parts);
    if (selfRelativeSecurityDescriptor == nullptr || *bufferLength < relative.size()) {
        *bufferLength = static_cast<DWORD>(relative.size());
        return _sd_Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(selfRelativeSecurityDescriptor, relative.data(), relative.size());
    return TRUE;
}
