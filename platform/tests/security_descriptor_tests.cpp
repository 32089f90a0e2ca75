// SIDs, ACLs and security descriptors against their documented binary layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "jxplat/errhandling.h"
#include "jxplat/security.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/winreg.h"
#include "jxplat/text.h"

namespace {

std::vector<BYTE> Sid(const char16_t* text) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidW(text, &sid)) << GetLastError();
    if (sid == nullptr)
        return {};
    const auto* bytes = static_cast<const BYTE*>(sid);
    std::vector<BYTE> copy(bytes, bytes + GetLengthSid(sid));
    LocalFree(sid);
    return copy;
}

std::u16string Text(PSID sid) {
    LPWSTR text = nullptr;
    EXPECT_TRUE(ConvertSidToStringSidW(sid, &text));
    std::u16string copy = text ? text : u"";
    LocalFree(text);
    return copy;
}

TEST(SecuritySid, TextAndBinaryFormsRoundTrip) {
    // Administrators: revision 1, two sub-authorities, authority 5 (big-endian), 32 and 544.
    const std::vector<BYTE> admins = Sid(u"S-1-5-32-544");
    const std::vector<BYTE> expected = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
    EXPECT_EQ(admins, expected);

    for (const char16_t* text : {u"S-1-5-18", u"S-1-3-0", u"S-1-15-2-1",
                                 u"S-1-5-21-3623811015-3361044348-30300820-1001", u"S-1-0x123456789ABC-7"}) {
        std::vector<BYTE> sid = Sid(text);
        ASSERT_FALSE(sid.empty()) << jxtext::N(text);
    }
    std::vector<BYTE> user = Sid(u"S-1-5-21-3623811015-3361044348-30300820-1001");
    EXPECT_EQ(Text(user.data()), u"S-1-5-21-3623811015-3361044348-30300820-1001");
    EXPECT_EQ(GetLengthSid(user.data()), 8u + 5 * 4);
    std::vector<BYTE> wide = Sid(u"S-1-0x123456789ABC-7");
    EXPECT_EQ(Text(wide.data()), u"S-1-0x123456789ABC-7");

    PSID sid = nullptr;
    for (const char16_t* bad : {u"", u"S-1", u"S-2-5-18", u"X-1-5-18", u"S-1-5-x", u"S-1-5-18-",
                                u"S-1-5-4294967296", u"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"}) {
        SetLastError(0);
        EXPECT_FALSE(ConvertStringSidToSidW(bad, &sid)) << jxtext::N(bad);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
    }
}

TEST(SecuritySid, EqualityCopiesAndAllocation) {
    std::vector<BYTE> system = Sid(u"S-1-5-18");
    std::vector<BYTE> system2 = Sid(u"s-1-5-18");
    std::vector<BYTE> users = Sid(u"S-1-5-32-545");
    EXPECT_TRUE(EqualSid(system.data(), system2.data()));
    EXPECT_FALSE(EqualSid(system.data(), users.data()));

    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID allocated = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0,
                                         0, 0, 0, &allocated));
    EXPECT_TRUE(EqualSid(allocated, users.data()));
    BYTE small[8];
    EXPECT_FALSE(CopySid(sizeof(small), small, allocated));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    BYTE room[SECURITY_MAX_SID_SIZE];
    EXPECT_TRUE(CopySid(sizeof(room), room, allocated));
    EXPECT_TRUE(EqualSid(room, users.data()));
    EXPECT_EQ(FreeSid(allocated), nullptr);

    BYTE broken[8] = {2, 0, 0, 0, 0, 0, 0, 5};
    EXPECT_FALSE(IsValidSid(broken));
    EXPECT_FALSE(EqualSid(broken, system.data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
}

TEST(SecurityAcl, EntriesAreAppendedInOrderWithTheirLayout) {
    std::vector<BYTE> system = Sid(u"S-1-5-18");
    std::vector<BYTE> users = Sid(u"S-1-5-32-545");
    std::vector<BYTE> everyone = Sid(u"S-1-1-0");
    alignas(4) BYTE buffer[64];
    PACL acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof(buffer), ACL_REVISION));
    EXPECT_EQ(acl->AclSize, 64);
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, CONTAINER_INHERIT_ACE, 0xF003F, system.data()));
    ASSERT_TRUE(AddAccessDeniedAceEx(acl, ACL_REVISION, 0, 0x20019, users.data()));

    // ACE: type, flags, size (4 + 4 + SID), mask, SID.
    const BYTE firstAce[] = {0, 2, 20, 0, 0x3F, 0, 0x0F, 0, 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    EXPECT_EQ(std::memcmp(buffer + 8, firstAce, sizeof(firstAce)), 0);
    ACL_SIZE_INFORMATION size{};
    ASSERT_TRUE(GetAclInformation(acl, &size, sizeof(size), AclSizeInformation));
    EXPECT_EQ(size.AceCount, 2u);
    EXPECT_EQ(size.AclBytesInUse, 8u + 20 + 24);
    EXPECT_EQ(size.AclBytesFree, 64u - 52);

    LPVOID ace = nullptr;
    ASSERT_TRUE(GetAce(acl, 1, &ace));
    auto* denied = static_cast<ACCESS_DENIED_ACE*>(ace);
    EXPECT_EQ(denied->Header.AceType, ACCESS_DENIED_ACE_TYPE);
    EXPECT_EQ(denied->Mask, 0x20019u);
    EXPECT_TRUE(EqualSid(&denied->SidStart, users.data()));
    EXPECT_FALSE(GetAce(acl, 2, &ace));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // 12 bytes left: an entry for Everyone (20 bytes) does not fit.
    EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION, 0, 1, everyone.data()));
    EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
    EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION, 0x80, 1, system.data()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);

    // AddAce copies whole entries, here to the front of a second ACL.
    alignas(4) BYTE second[96];
    PACL copy = reinterpret_cast<PACL>(second);
    ASSERT_TRUE(InitializeAcl(copy, sizeof(second), ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAceEx(copy, ACL_REVISION, 0, 1, everyone.data()));
    ASSERT_TRUE(AddAce(copy, ACL_REVISION, 0, buffer + 8, size.AclBytesInUse - 8));
    ASSERT_TRUE(GetAce(copy, 2, &ace));
    EXPECT_TRUE(EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, everyone.data()));
    EXPECT_TRUE(IsValidAcl(copy));
}

TEST(SecurityDescriptor, AbsoluteAndSelfRelativeFormsAgree) {
    std::vector<BYTE> owner = Sid(u"S-1-5-32-544");
    std::vector<BYTE> system = Sid(u"S-1-5-18");
    alignas(4) BYTE aclBuffer[32];
    PACL dacl = reinterpret_cast<PACL>(aclBuffer);
    ASSERT_TRUE(InitializeAcl(dacl, sizeof(aclBuffer), ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAceEx(dacl, ACL_REVISION, 3, KEY_ALL_ACCESS, system.data()));

    SECURITY_DESCRIPTOR absolute{};
    EXPECT_FALSE(InitializeSecurityDescriptor(&absolute, 2));
    EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_REVISION);
    ASSERT_TRUE(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&absolute, TRUE, dacl, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&absolute, owner.data(), FALSE));
    EXPECT_TRUE(IsValidSecurityDescriptor(&absolute));

    DWORD length = 0;
    EXPECT_FALSE(MakeSelfRelativeSD(&absolute, nullptr, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 20u + 32 + 16); // header, DACL (its whole size), owner
    std::vector<BYTE> relative(length);
    ASSERT_TRUE(MakeSelfRelativeSD(&absolute, relative.data(), &length));
    EXPECT_EQ(relative[0], 1);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(relative.data(), &control, &revision));
    EXPECT_EQ(control, SE_SELF_RELATIVE | SE_DACL_PRESENT);
    EXPECT_EQ(GetSecurityDescriptorLength(relative.data()), length);
    // A self-relative descriptor cannot be changed in place.
    EXPECT_FALSE(SetSecurityDescriptorDacl(relative.data(), TRUE, dacl, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);
    EXPECT_FALSE(MakeSelfRelativeSD(relative.data(), relative.data(), &length));
    EXPECT_EQ(GetLastError(), ERROR_BAD_DESCRIPTOR_FORMAT);

    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL found = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(relative.data(), &present, &found, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::memcmp(found, aclBuffer, 28), 0);
    PSID foundOwner = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorOwner(relative.data(), &foundOwner, &defaulted));
    EXPECT_TRUE(EqualSid(foundOwner, owner.data()));
    PSID group = &absolute; // must be cleared: there is no group
    ASSERT_TRUE(GetSecurityDescriptorGroup(relative.data(), &group, &defaulted));
    EXPECT_EQ(group, nullptr);

    // A NULL DACL: present, but no ACL.
    ASSERT_TRUE(SetSecurityDescriptorDacl(&absolute, TRUE, nullptr, FALSE));
    length = static_cast<DWORD>(relative.size());
    ASSERT_TRUE(MakeSelfRelativeSD(&absolute, relative.data(), &length));
    ASSERT_TRUE(GetSecurityDescriptorDacl(relative.data(), &present, &found, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(found, nullptr);
}

} // namespace
