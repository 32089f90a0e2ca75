// The hives of the machine's profiles: listing them, loading those not loaded (users who are not
// logged on) before the registry actions that address every user, and unloading them after.
#include <vector>

#include "JxData_Registry.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kGetProfiles[] = u"JxSetup::Data::JxData::GetAllUserProfiles";
constexpr WCHAR kLoad[] = u"JxSetup::Data::JxData::LoadUserProfiles";
constexpr WCHAR kUnload[] = u"JxSetup::Data::JxData::UnloadUserProfiles";
constexpr WCHAR kProfileList[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr DWORD kRegEnumNameChars = 16383;

// Enables the backup and restore privileges that loading and unloading hives need. They stay
// enabled for the rest of the run.
bool _hive_EnablePrivileges(JxLog* log, const WCHAR* context) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        log->Log(LOG_END, kRegModule, context, u"Could not acquire process token!");
        return false;
    }
    std::vector<BYTE> buffer(offsetof(TOKEN_PRIVILEGES, Privileges) + 2 * sizeof(LUID_AND_ATTRIBUTES));
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    privileges->PrivilegeCount = 2;
    LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &privileges->Privileges[0].Luid);
    privileges->Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &privileges->Privileges[1].Luid);
    privileges->Privileges[1].Attributes = SE_PRIVILEGE_ENABLED;
    // Without the privileges the loads below fail and say so; the result is not needed here.
    AdjustTokenPrivileges(token, FALSE, privileges, 0, nullptr, nullptr);
    CloseHandle(token);
    return true;
}

} // namespace

void JxData::GetAllUserProfiles() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kGetProfiles, u"");
    m_UserHives.clear();
    HKEY profiles = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ, &profiles) != ERROR_SUCCESS) {
        log->Log(LP_WARNING, kRegModule, kGetProfiles, u"Couldn't open ProfileList");
    } else {
        std::vector<WCHAR> name(kRegEnumNameChars + 1);
        const std::u16string systemDrive = GetPropertyValue(u"SystemDrive");
        for (DWORD index = 0;; ++index) {
            DWORD length = kRegEnumNameChars;
            if (RegEnumKeyExW(profiles, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            const std::u16string sid(name.data(), length);
            log->Log(LP_INFO, kRegModule, kGetProfiles, u"Adding SID %s to UserFiles.", sid.c_str());
            const std::u16string key = std::u16string(kProfileList) + u"\\" + sid;
            std::u16string path =
                CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"ProfileImagePath", u"", 0);
            for (size_t at = jxtext::FindNoCase(path, u"%SystemDrive%"); at != std::u16string::npos;
                 at = jxtext::FindNoCase(path, u"%SystemDrive%", at + systemDrive.size()))
                path.replace(at, 13, systemDrive);
            if (path.empty())
                continue;
            JxUserHive hive;
            hive.m_Sid = sid;
            hive.m_HiveFile = JxFile::CombinePath(path, u"NTUSER.DAT");
            log->Log(LP_INFO, kRegModule, kGetProfiles, u"Adding ProfilePath %s to UserFiles.",
                     hive.m_HiveFile.c_str());
            m_UserHives.push_back(std::move(hive));
        }
        RegCloseKey(profiles);
    }
    log->Log(LOG_END, kRegModule, kGetProfiles, u"");
}

void JxData::LoadUserProfiles() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kLoad, u"");
    if (!_hive_EnablePrivileges(log, kLoad))
        return;
    for (JxUserHive& hive : m_UserHives) {
        if (CReg::IsValidPath(HKEY_USERS, hive.m_Sid.c_str(), 0)) {
            // Loaded already: a logged-on user's hive is never ours to unload; one this run loaded
            // earlier and has not unloaded yet keeps its flag, so that it is still unloaded.
            log->Log(LP_INFO, kRegModule, kLoad, u"SID %s found. Skipping profile.", hive.m_Sid.c_str());
            continue;
        }
        log->Log(LP_INFO, kRegModule, kLoad, u"SID %s not found. Loading profile %s.", hive.m_Sid.c_str(),
                 hive.m_HiveFile.c_str());
        const LSTATUS status = RegLoadKeyW(HKEY_USERS, hive.m_Sid.c_str(), hive.m_HiveFile.c_str());
        if (status != ERROR_SUCCESS) {
            log->Log(LP_WARNING, kRegModule, kLoad, u"Loading profile failed. Error: %d", status);
            hive.m_LoadedBySetup = false;
        } else {
            log->Log(LP_INFO, kRegModule, kLoad, u"Loading profile succeeded.");
            hive.m_LoadedBySetup = true;
        }
    }
    log->Log(LOG_END, kRegModule, kLoad, u"");
}

void JxData::UnloadUserProfiles() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kUnload, u"");
    if (!_hive_EnablePrivileges(log, kUnload))
        return;
    for (JxUserHive& hive : m_UserHives) {
        if (!hive.m_LoadedBySetup)
            continue;
        log->Log(LP_INFO, kRegModule, kUnload, u"Uloading SID %s.", hive.m_Sid.c_str());
        const LSTATUS status = RegUnLoadKeyW(HKEY_USERS, hive.m_Sid.c_str());
        if (status != ERROR_SUCCESS) {
            log->Log(LP_WARNING, kRegModule, kUnload, u"Failed to unload SID %s with error %d.",
                     hive.m_Sid.c_str(), status);
        } else {
            log->Log(LP_INFO, kRegModule, kUnload, u"Unload profile succeeded.");
            hive.m_LoadedBySetup = false;
        }
    }
    log->Log(LOG_END, kRegModule, kUnload, u"");
}

} // namespace JxSetup::Data
