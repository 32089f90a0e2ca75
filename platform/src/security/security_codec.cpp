// Reading and writing SIDs, ACLs and security descriptors in their documented layouts.
#include "security/security_codec.h"

#include <cstring>

#include "jxplat/text.h"

namespace jxplat::security {
namespace {

WORD _sec_Word(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD _sec_Dword(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
           static_cast<DWORD>(p[3]) << 24;
}

void _sec_PutDword(BYTE* p, DWORD value) {
    p[0] = static_cast<BYTE>(value);
    p[1] = static_cast<BYTE>(value >> 8);
    p[2] = static_cast<BYTE>(value >> 16);
    p[3] = static_cast<BYTE>(value >> 24);
}

bool _sec_CopySid(const void* sid, size_t available, std::vector<BYTE>* out) {
    if (!SidIsValid(sid, available))
        return false;
    const auto* bytes = static_cast<const BYTE*>(sid);
    out->assign(bytes, bytes + SidLength(sid));
    return true;
}

bool _sec_CopyAcl(const void* acl, size_t available, std::vector<BYTE>* out) {
    if (!AclIsValid(acl, available))
        return false;
    const auto* bytes = static_cast<const BYTE*>(acl);
    out->assign(bytes, bytes + _sec_Word(bytes + 2));
    return true;
}

} // namespace

bool SidIsValid(const void* sid, size_t available) {
    if (sid == nullptr || available < kSidHeaderSize)
        return false;
    const auto* bytes = static_cast<const BYTE*>(sid);
    return bytes[0] == SID_REVISION && bytes[1] <= SID_MAX_SUB_AUTHORITIES &&
           kSidHeaderSize + 4u * bytes[1] <= available;
}

size_t SidLength(const void* sid) {
    return kSidHeaderSize + 4u * static_cast<const BYTE*>(sid)[1];
}

std::vector<BYTE> SidFromText(std::u16string_view text) {
    if (text.size() < 4 || (text[0] != u'S' && text[0] != u's') || text[1] != u'-')
        return {};
    std::vector<std::u16string> parts = jxtext::Split(text.substr(2), u'-');
    if (parts.size() < 2 || parts.size() - 2 > SID_MAX_SUB_AUTHORITIES)
        return {};
    auto number = [](const std::u16string& part, unsigned long long limit, unsigned long long* value) {
        if (part.empty())
            return false;
        int base = 10;
        std::u16string_view digits = part;
        if (digits.size() > 2 && digits[0] == u'0' && (digits[1] == u'x' || digits[1] == u'X')) {
            base = 16;
            digits.remove_prefix(2);
        }
        unsigned long long result = 0;
        for (char16_t c : digits) {
            int digit = c >= u'0' && c <= u'9'                 ? c - u'0'
                        : base == 16 && c >= u'a' && c <= u'f' ? c - u'a' + 10
                        : base == 16 && c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                               : -1;
            if (digit < 0)
                return false;
            result = result * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
            if (result > limit)
                return false;
        }
        *value = result;
        return true;
    };
    unsigned long long revision = 0;
    unsigned long long authority = 0;
    if (!number(parts[0], 0xFF, &revision) || revision != SID_REVISION ||
        !number(parts[1], 0xFFFFFFFFFFFFull, &authority))
        return {};
    std::vector<BYTE> sid(kSidHeaderSize + 4 * (parts.size() - 2));
    sid[0] = SID_REVISION;
    sid[1] = static_cast<BYTE>(parts.size() - 2);
    for (int i = 0; i < 6; ++i)
        sid[2 + i] = static_cast<BYTE>(authority >> (8 * (5 - i)));
    for (size_t i = 2; i < parts.size(); ++i) {
        unsigned long long sub = 0;
        if (!number(parts[i], 0xFFFFFFFFull, &sub))
            return {};
        _sec_PutDword(&sid[kSidHeaderSize + 4 * (i - 2)], static_cast<DWORD>(sub));
    }
    return sid;
}

std::u16string SidToText(const void* sid) {
    const auto* bytes = static_cast<const BYTE*>(sid);
    unsigned long long authority = 0;
    for (int i = 0; i < 6; ++i)
        authority = (authority << 8) | bytes[2 + i];
    std::u16string text = u"S-1-";
    // Authorities that do not fit 32 bits are written in hexadecimal, as Windows does.
    text += authority > 0xFFFFFFFFull ? jxtext::Format(u"0x%012I64X", authority) : jxtext::ToText(authority);
    for (BYTE i = 0; i < bytes[1]; ++i)
        text += u"-" +
                jxtext::ToText(static_cast<unsigned long long>(_sec_Dword(bytes + kSidHeaderSize + 4 * i)));
    return text;
}

bool AclIsValid(const void* acl, size_t available) {
    if (acl == nullptr || available < kAclHeaderSize)
        return false;
    const auto* bytes = static_cast<const BYTE*>(acl);
    if (bytes[0] < ACL_REVISION || bytes[0] > ACL_REVISION_DS)
        return false;
    const size_t size = _sec_Word(bytes + 2);
    if (size < kAclHeaderSize || size > available)
        return false;
    size_t offset = kAclHeaderSize;
    for (WORD i = 0; i < _sec_Word(bytes + 4); ++i) {
        if (offset + kAceHeaderSize > size)
            return false;
        const size_t aceSize = _sec_Word(bytes + offset + 2);
        if (aceSize < kAceHeaderSize || aceSize % 4 != 0 || offset + aceSize > size)
            return false;
        offset += aceSize;
    }
    return true;
}

size_t AclBytesInUse(const ACL* acl) {
    const auto* bytes = reinterpret_cast<const BYTE*>(acl);
    size_t offset = kAclHeaderSize;
    for (WORD i = 0; i < acl->AceCount; ++i)
        offset += _sec_Word(bytes + offset + 2);
    return offset;
}

BYTE* AclAceAt(ACL* acl, DWORD index) {
    if (index >= acl->AceCount)
        return nullptr;
    auto* bytes = reinterpret_cast<BYTE*>(acl);
    size_t offset = kAclHeaderSize;
    for (DWORD i = 0; i < index; ++i)
        offset += _sec_Word(bytes + offset + 2);
    return bytes + offset;
}

bool ReadSecurityDescriptor(const void* descriptor, size_t available, CSecurityParts* parts) {
    if (descriptor == nullptr)
        return false;
    const auto* bytes = static_cast<const BYTE*>(descriptor);
    if (available < 4 || bytes[0] != SECURITY_DESCRIPTOR_REVISION)
        return false;
    const WORD control = _sec_Word(bytes + 2);
    *parts = CSecurityParts();
    parts->control = control & ~WORD{SE_SELF_RELATIVE};
    if (control & SE_SELF_RELATIVE) {
        if (available < kSelfRelativeHeaderSize)
            return false;
        const DWORD offsets[4] = {_sec_Dword(bytes + 4), _sec_Dword(bytes + 8), _sec_Dword(bytes + 12),
                                  _sec_Dword(bytes + 16)};
        auto within = [&](DWORD offset) { return offset >= kSelfRelativeHeaderSize && offset < available; };
        if (offsets[0] &&
            !(within(offsets[0]) && _sec_CopySid(bytes + offsets[0], available - offsets[0], &parts->owner)))
            return false;
        if (offsets[1] &&
            !(within(offsets[1]) && _sec_CopySid(bytes + offsets[1], available - offsets[1], &parts->group)))
            return false;
        if ((control & SE_SACL_PRESENT) && offsets[2] &&
            !(within(offsets[2]) && _sec_CopyAcl(bytes + offsets[2], available - offsets[2], &parts->sacl)))
            return false;
        if ((control & SE_DACL_PRESENT) && offsets[3] &&
            !(within(offsets[3]) && _sec_CopyAcl(bytes + offsets[3], available - offsets[3], &parts->dacl)))
            return false;
        return true;
    }
    const auto* absolute = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    if (absolute->Owner && !_sec_CopySid(absolute->Owner, SECURITY_MAX_SID_SIZE, &parts->owner))
        return false;
    if (absolute->Group && !_sec_CopySid(absolute->Group, SECURITY_MAX_SID_SIZE, &parts->group))
        return false;
    if ((control & SE_SACL_PRESENT) && absolute->Sacl && !_sec_CopyAcl(absolute->Sacl, 0xFFFF, &parts->sacl))
        return false;
    if ((control & SE_DACL_PRESENT) && absolute->Dacl && !_sec_CopyAcl(absolute->Dacl, 0xFFFF, &parts->dacl))
        return false;
    return true;
}

std::vector<BYTE> WriteSelfRelative(const CSecurityParts& parts) {
    std::vector<BYTE> out(kSelfRelativeHeaderSize, 0);
    out[0] = SECURITY_DESCRIPTOR_REVISION;
    const WORD control = parts.control | SE_SELF_RELATIVE;
    out[2] = static_cast<BYTE>(control);
    out[3] = static_cast<BYTE>(control >> 8);
    // The parts follow the header in the order SACL, DACL, owner, group.
    auto append = [&out](const std::vector<BYTE>& part, size_t headerOffset) {
        if (part.empty())
            return;
        _sec_PutDword(&out[headerOffset], static_cast<DWORD>(out.size()));
        out.insert(out.end(), part.begin(), part.end());
    };
    if (parts.control & SE_SACL_PRESENT)
        append(parts.sacl, 12);
    if (parts.control & SE_DACL_PRESENT)
        append(parts.dacl, 16);
    append(parts.owner, 4);
    append(parts.group, 8);
    return out;
}

} // namespace jxplat::security
