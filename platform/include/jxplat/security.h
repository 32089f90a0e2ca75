// Security of the stand-in: SIDs, ACLs and security descriptors in their documented binary layouts
// (a SID, an ACL with its ACEs and a self-relative descriptor are byte-compatible with Windows'),
// and the process token with its privileges.
//
// The process token belongs to the machine description's user: an elevated administrator holds
// the administrator's privileges (SeBackupPrivilege, SeRestorePrivilege, SeShutdownPrivilege,
// SeDebugPrivilege, ...), any other user the standard user's (SeShutdownPrivilege,
// SeChangeNotifyPrivilege, ...). Privileges start disabled except SeChangeNotifyPrivilege; their
// state is the process's and lasts until the machine root changes.
#pragma once

#include "jxplat/winnt.h"
#include "jxplat/wintypes.h"

#ifndef MAXDWORD
#define MAXDWORD 0xFFFFFFFFu
#endif

// ---- Tokens and privileges ----

typedef struct _LUID {
    DWORD LowPart;
    LONG HighPart;
} LUID, *PLUID;

typedef struct _LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES, *PLUID_AND_ATTRIBUTES;

typedef struct _TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES, *PTOKEN_PRIVILEGES;

#define SE_PRIVILEGE_ENABLED_BY_DEFAULT 0x00000001u
#define SE_PRIVILEGE_ENABLED 0x00000002u
#define SE_PRIVILEGE_REMOVED 0x00000004u
#define SE_PRIVILEGE_USED_FOR_ACCESS 0x80000000u

#define TOKEN_ASSIGN_PRIMARY 0x0001u
#define TOKEN_DUPLICATE 0x0002u
#define TOKEN_IMPERSONATE 0x0004u
#define TOKEN_QUERY 0x0008u
#define TOKEN_QUERY_SOURCE 0x0010u
#define TOKEN_ADJUST_PRIVILEGES 0x0020u
#define TOKEN_ADJUST_GROUPS 0x0040u
#define TOKEN_ADJUST_DEFAULT 0x0080u
#define TOKEN_ADJUST_SESSIONID 0x0100u
#define TOKEN_READ (STANDARD_RIGHTS_READ | TOKEN_QUERY)
#define TOKEN_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | 0x01FFu)

#define SE_BACKUP_NAME u"SeBackupPrivilege"
#define SE_RESTORE_NAME u"SeRestorePrivilege"
#define SE_SHUTDOWN_NAME u"SeShutdownPrivilege"
#define SE_REMOTE_SHUTDOWN_NAME u"SeRemoteShutdownPrivilege"
#define SE_DEBUG_NAME u"SeDebugPrivilege"
#define SE_TAKE_OWNERSHIP_NAME u"SeTakeOwnershipPrivilege"
#define SE_SECURITY_NAME u"SeSecurityPrivilege"
#define SE_CHANGE_NOTIFY_NAME u"SeChangeNotifyPrivilege"
#define SE_LOAD_DRIVER_NAME u"SeLoadDriverPrivilege"
#define SE_SYSTEMTIME_NAME u"SeSystemtimePrivilege"
#define SE_UNDOCK_NAME u"SeUndockPrivilege"
#define SE_TIME_ZONE_NAME u"SeTimeZonePrivilege"
#define SE_INCREASE_WORKING_SET_NAME u"SeIncreaseWorkingSetPrivilege"
#define SE_IMPERSONATE_NAME u"SeImpersonatePrivilege"
#define SE_CREATE_GLOBAL_NAME u"SeCreateGlobalPrivilege"

typedef enum _TOKEN_INFORMATION_CLASS {
    TokenUser = 1,
    TokenGroups,
    TokenPrivileges,
    TokenOwner,
    TokenPrimaryGroup,
    TokenDefaultDacl,
    TokenSource,
    TokenType,
    TokenImpersonationLevel,
    TokenStatistics,
    TokenRestrictedSids,
    TokenSessionId,
    TokenGroupsAndPrivileges,
    TokenSessionReference,
    TokenSandBoxInert,
    TokenAuditPolicy,
    TokenOrigin,
    TokenElevationType,
    TokenLinkedToken,
    TokenElevation,
} TOKEN_INFORMATION_CLASS;

typedef struct _TOKEN_ELEVATION {
    DWORD TokenIsElevated;
} TOKEN_ELEVATION, *PTOKEN_ELEVATION;

// The pseudo-handle of the calling process ((HANDLE)-1); closing it does nothing.
HANDLE GetCurrentProcess();

// Only the calling process's token can be opened (GetCurrentProcess() or a handle whose process
// is the caller); any other process answers ERROR_ACCESS_DENIED. The token handle is closed with
// CloseHandle.
BOOL OpenProcessToken(HANDLE processHandle, DWORD desiredAccess, PHANDLE tokenHandle);
// Only the local system (systemName null or empty). Unknown names: ERROR_NO_SUCH_PRIVILEGE.
BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid);
BOOL LookupPrivilegeNameW(LPCWSTR systemName, PLUID luid, LPWSTR name, LPDWORD cchName);
// Succeeds also when some privileges are not held: the last error is then ERROR_NOT_ALL_ASSIGNED,
// otherwise ERROR_SUCCESS. Needs TOKEN_ADJUST_PRIVILEGES (and TOKEN_QUERY for a previous state).
BOOL AdjustTokenPrivileges(HANDLE tokenHandle, BOOL disableAllPrivileges, PTOKEN_PRIVILEGES newState,
                           DWORD bufferLength, PTOKEN_PRIVILEGES previousState, LPDWORD returnLength);
typedef enum _TOKEN_ELEVATION_TYPE {
    TokenElevationTypeDefault = 1,
    TokenElevationTypeFull,
    TokenElevationTypeLimited,
} TOKEN_ELEVATION_TYPE,
    *PTOKEN_ELEVATION_TYPE;

typedef struct _TOKEN_LINKED_TOKEN {
    HANDLE LinkedToken;
} TOKEN_LINKED_TOKEN, *PTOKEN_LINKED_TOKEN;

// TokenPrivileges, TokenElevation, TokenElevationType and TokenLinkedToken; others
// ERROR_INVALID_PARAMETER. With UAC on, an administrator's token has a linked token (the other
// half of the pair: the full token of a filtered one and the reverse), returned as a new
// impersonation token handle to close; any other token has none (ERROR_NO_SUCH_LOGON_SESSION).
BOOL GetTokenInformation(HANDLE tokenHandle, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                         DWORD informationLength, LPDWORD returnLength);

// ---- SIDs ----

typedef struct _SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

typedef struct _SID {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[1];
} SID, *PISID;

typedef PVOID PSID;

#define SID_REVISION 1
#define SID_MAX_SUB_AUTHORITIES 15
#define SECURITY_MAX_SID_SIZE 68

#define SECURITY_NULL_SID_AUTHORITY                                                                          \
    {                                                                                                        \
        { 0, 0, 0, 0, 0, 0 }                                                                                 \
    }
#define SECURITY_WORLD_SID_AUTHORITY                                                                         \
    {                                                                                                        \
        { 0, 0, 0, 0, 0, 1 }                                                                                 \
    }
#define SECURITY_CREATOR_SID_AUTHORITY                                                                       \
    {                                                                                                        \
        { 0, 0, 0, 0, 0, 3 }                                                                                 \
    }
#define SECURITY_NT_AUTHORITY                                                                                \
    {                                                                                                        \
        { 0, 0, 0, 0, 0, 5 }                                                                                 \
    }
#define SECURITY_APP_PACKAGE_AUTHORITY                                                                       \
    {                                                                                                        \
        { 0, 0, 0, 0, 0, 15 }                                                                                \
    }
#define SECURITY_LOCAL_SYSTEM_RID 18u
#define SECURITY_BUILTIN_DOMAIN_RID 32u
#define DOMAIN_ALIAS_RID_ADMINS 544u
#define DOMAIN_ALIAS_RID_USERS 545u
#define DOMAIN_ALIAS_RID_GUESTS 546u

// The SID from its text ("S-1-5-32-544"), in memory to release with LocalFree.
// Malformed text: ERROR_INVALID_SID.
BOOL ConvertStringSidToSidW(LPCWSTR stringSid, PSID* sid);
// The text of a SID, in memory to release with LocalFree.
BOOL ConvertSidToStringSidW(PSID sid, LPWSTR* stringSid);
BOOL IsValidSid(PSID sid);
BOOL EqualSid(PSID sid1, PSID sid2);
DWORD GetLengthSid(PSID sid);
BOOL CopySid(DWORD destinationLength, PSID destination, PSID source);
BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount, DWORD sub0,
                              DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6,
                              DWORD sub7, PSID* sid);
PVOID FreeSid(PSID sid);

typedef enum _SID_NAME_USE {
    SidTypeUser = 1,
    SidTypeGroup,
    SidTypeDomain,
    SidTypeAlias,
    SidTypeWellKnownGroup,
    SidTypeDeletedAccount,
    SidTypeInvalid,
    SidTypeUnknown,
    SidTypeComputer,
    SidTypeLabel,
    SidTypeLogonSession,
} SID_NAME_USE,
    *PSID_NAME_USE;

typedef enum _WELL_KNOWN_SID_TYPE {
    WinNullSid = 0,
    WinWorldSid = 1,
    WinLocalSid = 2,
    WinCreatorOwnerSid = 3,
    WinCreatorGroupSid = 4,
    WinInteractiveSid = 11,
    WinSelfSid = 16,
    WinAuthenticatedUserSid = 17,
    WinLocalSystemSid = 22,
    WinLocalServiceSid = 23,
    WinNetworkServiceSid = 24,
    WinBuiltinDomainSid = 25,
    WinBuiltinAdministratorsSid = 26,
    WinBuiltinUsersSid = 27,
    WinBuiltinGuestsSid = 28,
    WinBuiltinAnyPackageSid = 84,
} WELL_KNOWN_SID_TYPE;

// The well-known SIDs above that need no domain; others ERROR_INVALID_PARAMETER. A buffer too
// small answers ERROR_INSUFFICIENT_BUFFER with the size needed in *sidSize.
BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE sidType, PSID domainSid, PSID sid, DWORD* sidSize);
// Local lookups only (systemName null, empty or the computer name; others
// RPC_S_SERVER_UNAVAILABLE): the built-in accounts and groups of an English Windows and the
// machine's user (domain: the computer name). An unknown SID: ERROR_NONE_MAPPED. When a buffer is
// null or too small: ERROR_INSUFFICIENT_BUFFER with both sizes set to the lengths needed with the
// terminating zero; on success they are the lengths without it.
BOOL LookupAccountSidW(LPCWSTR systemName, PSID sid, LPWSTR name, LPDWORD cchName,
                       LPWSTR referencedDomainName, LPDWORD cchReferencedDomainName, PSID_NAME_USE use);
// Whether the SID is an enabled group (or the user) of the token. A null token is the calling
// thread's, which is the process token here; a given token must be an impersonation token (a
// linked token is), a primary one answers ERROR_NO_IMPERSONATION_TOKEN. The Administrators group
// is enabled only in the full token of an administrator (elevated, or on a machine without UAC).
BOOL CheckTokenMembership(HANDLE tokenHandle, PSID sidToCheck, PBOOL isMember);

// ---- ACLs and ACEs ----

typedef struct _ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
} ACL, *PACL;

#define ACL_REVISION 2
#define ACL_REVISION_DS 4

typedef struct _ACE_HEADER {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
} ACE_HEADER, *PACE_HEADER;

#define ACCESS_ALLOWED_ACE_TYPE 0x0
#define ACCESS_DENIED_ACE_TYPE 0x1
#define SYSTEM_AUDIT_ACE_TYPE 0x2

#define OBJECT_INHERIT_ACE 0x01
#define CONTAINER_INHERIT_ACE 0x02
#define NO_PROPAGATE_INHERIT_ACE 0x04
#define INHERIT_ONLY_ACE 0x08
#define INHERITED_ACE 0x10
#define VALID_INHERIT_FLAGS 0x1F

typedef struct _ACCESS_ALLOWED_ACE {
    ACE_HEADER Header;
    ACCESS_MASK Mask;
    DWORD SidStart;
} ACCESS_ALLOWED_ACE, *PACCESS_ALLOWED_ACE;

typedef struct _ACCESS_DENIED_ACE {
    ACE_HEADER Header;
    ACCESS_MASK Mask;
    DWORD SidStart;
} ACCESS_DENIED_ACE, *PACCESS_DENIED_ACE;

typedef enum _ACL_INFORMATION_CLASS {
    AclRevisionInformation = 1,
    AclSizeInformation,
} ACL_INFORMATION_CLASS;

typedef struct _ACL_REVISION_INFORMATION {
    DWORD AclRevision;
} ACL_REVISION_INFORMATION;

typedef struct _ACL_SIZE_INFORMATION {
    DWORD AceCount;
    DWORD AclBytesInUse;
    DWORD AclBytesFree;
} ACL_SIZE_INFORMATION;

BOOL InitializeAcl(PACL acl, DWORD aclLength, DWORD aclRevision);
BOOL IsValidAcl(PACL acl);
BOOL GetAclInformation(PACL acl, LPVOID information, DWORD informationLength,
                       ACL_INFORMATION_CLASS informationClass);
BOOL GetAce(PACL acl, DWORD aceIndex, LPVOID* ace);
// Inserts the ACEs of aceList (aceListLength bytes) before startingAceIndex (MAXDWORD appends).
BOOL AddAce(PACL acl, DWORD aceRevision, DWORD startingAceIndex, LPVOID aceList, DWORD aceListLength);
// Appended at the end of the ACL; no room left: ERROR_ALLOTTED_SPACE_EXCEEDED.
BOOL AddAccessAllowedAce(PACL acl, DWORD aceRevision, DWORD accessMask, PSID sid);
BOOL AddAccessAllowedAceEx(PACL acl, DWORD aceRevision, DWORD aceFlags, DWORD accessMask, PSID sid);
BOOL AddAccessDeniedAceEx(PACL acl, DWORD aceRevision, DWORD aceFlags, DWORD accessMask, PSID sid);

// ---- Security descriptors ----

typedef WORD SECURITY_DESCRIPTOR_CONTROL, *PSECURITY_DESCRIPTOR_CONTROL;

#define SE_OWNER_DEFAULTED 0x0001
#define SE_GROUP_DEFAULTED 0x0002
#define SE_DACL_PRESENT 0x0004
#define SE_DACL_DEFAULTED 0x0008
#define SE_SACL_PRESENT 0x0010
#define SE_SACL_DEFAULTED 0x0020
#define SE_DACL_AUTO_INHERIT_REQ 0x0100
#define SE_SACL_AUTO_INHERIT_REQ 0x0200
#define SE_DACL_AUTO_INHERITED 0x0400
#define SE_SACL_AUTO_INHERITED 0x0800
#define SE_DACL_PROTECTED 0x1000
#define SE_SACL_PROTECTED 0x2000
#define SE_SELF_RELATIVE 0x8000

// The absolute form holds pointers; the self-relative form offsets from its start.
typedef struct _SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
} SECURITY_DESCRIPTOR, *PISECURITY_DESCRIPTOR;

typedef struct _SECURITY_DESCRIPTOR_RELATIVE {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    DWORD Owner;
    DWORD Group;
    DWORD Sacl;
    DWORD Dacl;
} SECURITY_DESCRIPTOR_RELATIVE, *PISECURITY_DESCRIPTOR_RELATIVE;

typedef PVOID PSECURITY_DESCRIPTOR;
typedef DWORD SECURITY_INFORMATION, *PSECURITY_INFORMATION;

#define SECURITY_DESCRIPTOR_REVISION 1
#define SECURITY_DESCRIPTOR_MIN_LENGTH (sizeof(SECURITY_DESCRIPTOR))

#define OWNER_SECURITY_INFORMATION 0x00000001u
#define GROUP_SECURITY_INFORMATION 0x00000002u
#define DACL_SECURITY_INFORMATION 0x00000004u
#define SACL_SECURITY_INFORMATION 0x00000008u

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor, DWORD revision);
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor);
DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR securityDescriptor);
BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR securityDescriptor,
                                  PSECURITY_DESCRIPTOR_CONTROL control, LPDWORD revision);
// Absolute descriptors only (a self-relative one: ERROR_INVALID_SECURITY_DESCR).
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR securityDescriptor, BOOL daclPresent, PACL dacl,
                               BOOL daclDefaulted);
BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR securityDescriptor, PSID owner, BOOL ownerDefaulted);
BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR securityDescriptor, PSID group, BOOL groupDefaulted);
// Both forms; the pointers returned point into the descriptor.
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR securityDescriptor, BOOL* daclPresent, PACL* dacl,
                               BOOL* daclDefaulted);
BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR securityDescriptor, PSID* owner, BOOL* ownerDefaulted);
BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR securityDescriptor, PSID* group, BOOL* groupDefaulted);
// The self-relative copy of an absolute descriptor; a buffer too small answers
// ERROR_INSUFFICIENT_BUFFER with the needed size in *bufferLength.
BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absoluteSecurityDescriptor,
                        PSECURITY_DESCRIPTOR selfRelativeSecurityDescriptor, LPDWORD bufferLength);
