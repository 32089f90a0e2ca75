// The binary layouts of SIDs, ACLs and security descriptors, shared by the security calls and the
// registry's key security.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "jxplat/security.h"

namespace jxplat::security {

// Layout sizes as Windows defines them (independent of this host's pointer size).
constexpr size_t kSidHeaderSize = 8;
constexpr size_t kAclHeaderSize = 8;
constexpr size_t kAceHeaderSize = 4;
constexpr size_t kSelfRelativeHeaderSize = 20;

// A SID is sound when its revision is 1, it has at most 15 sub-authorities and it fits in
// `available` bytes.
bool SidIsValid(const void* sid, size_t available = SECURITY_MAX_SID_SIZE);
size_t SidLength(const void* sid);
// The SID of "S-1-..." text (empty when the text is not one).
std::vector<BYTE> SidFromText(std::u16string_view text);
std::u16string SidToText(const void* sid);

// An ACL is sound when its revision is known, its size covers its ACEs and each ACE fits.
bool AclIsValid(const void* acl, size_t available = 0xFFFF);
// The bytes its ACEs use, header included.
size_t AclBytesInUse(const ACL* acl);
// The start of the ACE at index, or null past the last.
BYTE* AclAceAt(ACL* acl, DWORD index);

// The parts of a security descriptor, from either form. A part present in the control bits but
// empty is a NULL ACL; owner and group are empty when absent.
struct CSecurityParts {
    WORD control = 0; // without SE_SELF_RELATIVE
    std::vector<BYTE> owner;
    std::vector<BYTE> group;
    std::vector<BYTE> sacl;
    std::vector<BYTE> dacl;
};

// Reads either form; `available` limits a self-relative one. False when it is not sound.
bool ReadSecurityDescriptor(const void* descriptor, size_t available, CSecurityParts* parts);
// The self-relative form of the parts.
std::vector<BYTE> WriteSelfRelative(const CSecurityParts& parts);

} // namespace jxplat::security
