// The SID calls: text forms, comparison, length, copies and allocated SIDs.
#include <cstring>

#include "jxplat/errhandling.h"
#include "jxplat/security.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "security/security_codec.h"

using namespace jxplat::security;

namespace {

BOOL _sid_Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

} // namespace

BOOL ConvertStringSidToSidW(LPCWSTR stringSid, PSID* sid) {
    if (stringSid == nullptr || sid == nullptr)
        return _sid_Fail(ERROR_INVALID_PARAMETER);
    std::vector<BYTE> bytes = SidFromText(stringSid);
    if (bytes.empty())
        return _sid_Fail(ERROR_INVALID_SID);
    void* memory = LocalAlloc(LMEM_FIXED, bytes.size());
    if (memory == nullptr)
        return _sid_Fail(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(memory, bytes.data(), bytes.size());
    *sid = memory;
    return TRUE;
}

BOOL ConvertSidToStringSidW(PSID sid, LPWSTR* stringSid) {
    if (stringSid == nullptr)
        return _sid_Fail(ERROR_INVALID_PARAMETER);
    if (!SidIsValid(sid))
        return _sid_Fail(ERROR_INVALID_SID);
    std::u16string text = SidToText(sid);
    auto* memory = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(WCHAR)));
    if (memory == nullptr)
        return _sid_Fail(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(memory, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    *stringSid = memory;
    return TRUE;
}

BOOL IsValidSid(PSID sid) {
    return SidIsValid(sid) ? TRUE : FALSE;
}

BOOL EqualSid(PSID sid1, PSID sid2) {
    if (!SidIsValid(sid1) || !SidIsValid(sid2))
        return _sid_Fail(ERROR_INVALID_SID);
    SetLastError(ERROR_SUCCESS);
    const size_t length = SidLength(sid1);
    return length == SidLength(sid2) && std::memcmp(sid1, sid2, length) == 0;
}

DWORD GetLengthSid(PSID sid) {
    // Windows does not check the SID; the stand-in answers 0 for one it cannot read.
    return SidIsValid(sid) ? static_cast<DWORD>(SidLength(sid)) : 0;
}

BOOL CopySid(DWORD destinationLength, PSID destination, PSID source) {
    if (!SidIsValid(source))
        return _sid_Fail(ERROR_INVALID_SID);
    const size_t length = SidLength(source);
    if (destination == nullptr || destinationLength < length)
        return _sid_Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memmove(destination, source, length);
    return TRUE;
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount, DWORD sub0,
                              DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6,
                              DWORD sub7, PSID* sid) {
    if (authority == nullptr || sid == nullptr || subAuthorityCount > 8)
        return _sid_Fail(ERROR_INVALID_PARAMETER);
    const size_t length = kSidHeaderSize + 4u * subAuthorityCount;
    auto* bytes = static_cast<BYTE*>(LocalAlloc(LPTR, length));
    if (bytes == nullptr)
        return _sid_Fail(ERROR_NOT_ENOUGH_MEMORY);
    bytes[0] = SID_REVISION;
    bytes[1] = subAuthorityCount;
    std::memcpy(bytes + 2, authority->Value, 6);
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    std::memcpy(bytes + kSidHeaderSize, subs, 4u * subAuthorityCount);
    *sid = bytes;
    return TRUE;
}

PVOID FreeSid(PSID sid) {
    return LocalFree(sid);
}
