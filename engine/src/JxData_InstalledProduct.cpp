// The installed product as a later setup sees it: its uninstall entry or its maintenance package,
// its generation against the offered one, and the metadata of the package files beside the program.
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const std::u16string kUninstallRoot = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A record of a file beside the program: its name as found, its size and its SHA-256.
JxFile _inst_PackageRecord(const std::u16string& folder, const std::u16string& name) {
    JxFile record;
    record.name = name;
    const std::u16string path = JxFile::CombinePath(folder, name);
    ULONGLONG size = 0;
    // The whole size: a package of 4 GiB or more keeps its true length.
    if (JxFile::GetFileSize64(path, size))
        record.size = jxtext::ToText(static_cast<unsigned long long>(size));
    record.sha = JxFile::CalcSHA256(path);
    return record;
}

} // namespace

bool JxData::GetMetadataOfPackagefiles(std::vector<JxFile>& files) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::GetMetadataOfPackagefiles";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    if (m_appDir.empty()) {
        GetLog()->Log(LP_ERROR, kModule, context, u"AppDir is empty.");
        GetLog()->Log(LOG_END, kModule, context, u"false");
        return false;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(JxFile::CombinePath(m_appDir, u"{*}.wpk").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                files.push_back(_inst_PackageRecord(m_appDir, found.cFileName));
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    GetLog()->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxData::GetMetadataOfCorefiles(const std::u16string& names, std::vector<JxFile>& files) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::GetMetadataOfCorefiles";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", names.c_str());
    if (m_appDir.empty()) {
        GetLog()->Log(LP_ERROR, kModule, context, u"AppDir is empty.");
        GetLog()->Log(LOG_END, kModule, context, u"false");
        return false;
    }
    for (const std::u16string& name : jxtext::Split(names, u',')) {
        if (name.empty())
            continue;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(JxFile::CombinePath(m_appDir, name).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        FindClose(search);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(_inst_PackageRecord(m_appDir, found.cFileName));
    }
    GetLog()->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxData::_isInstallInformationValid(const std::u16string& code) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::_isInstallInformationValid";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", code.c_str());
    const std::u16string key = kUninstallRoot + code;
    bool valid = false;
    if (!code.empty() && CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"UninstallString", 0)) {
        const std::u16string location =
            CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"InstallLocation", u"", 0);
        if (!location.empty()) {
            SetProperty(u"_UPInstallDir", JxFile::RemoveTrailingBackslash(location), 1);
            SetProperty(u"_InstalledProductCode", code, 1);
            const std::u16string name =
                CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DisplayName", u"", 0);
            if (!name.empty())
                SetProperty(u"_UPDisplayName", name, 1);
            valid = true;
        }
    }
    GetLog()->Log(LOG_END, kModule, context, u"%s", valid ? u"true" : u"false");
    return valid;
}

bool JxData::_collectInformationAboutInstalledProduct() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::_collectInformationAboutInstalledProduct";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    bool result = true;
    bool found = false;
    for (const JxProductCode& row : m_Requirements.m_ProductCodes) {
        if (jxtext::EqualsNoCase(row.noupgrade, u"true"))
            continue;
        const std::u16string folder = JxFile::CombinePath(
            JxFile::CombinePath(ExpandProperties(u"[CommonAppDataFolder]"), u"Tolvane\\Setups"), row.guid);
        const std::u16string maintenanceSetup = JxFile::CombinePath(folder, u"setup.exe");
        const std::u16string key = kUninstallRoot + row.guid;
        if (CReg::IsValidPath(HKEY_LOCAL_MACHINE, key.c_str(), 0)) {
            if (!_isInstallInformationValid(row.guid))
                continue;
            log->Log(LP_INFO, kModule, context,
                     u"Valid install info found for product %s (%s). ProductType: %s Version: %i",
                     row.name.c_str(), row.guid.c_str(), row.producttype.c_str(), row.version);
        } else {
            if (!JxFile::FileExists(JxFile::CombinePath(folder, u"data.wpk")))
                continue;
            log->Log(LP_INFO, kModule, context,
                     u"Alternative install info found for product %s (%s). ProductType: %s Version: %i",
                     row.name.c_str(), row.guid.c_str(), row.producttype.c_str(), row.version);
        }
        found = true;
        std::u16string location =
            CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"InstallLocation", u"", 0);
        if (location.empty()) {
            location =
                CReg::GetStringFromRegistry(GetRegistryRootFromName(row.installdirhk),
                                            row.installdirkey.c_str(), row.installdirsubkey.c_str(), u"", 0);
            // An uninstall entry is written only for a product whose location is known: an entry
            // without one would point at a product nobody can find.
            if (!location.empty()) {
                CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"InstallLocation", location,
                                          CRegStringType::Sz, 0);
                CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DisplayName", row.name,
                                          CRegStringType::Sz, 0);
                CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DisplayVersion",
                                          jxtext::ToText(row.version) + u".0.0.0", CRegStringType::Sz, 0);
                CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"UninstallString",
                                          maintenanceSetup + u" /InstallMode=Uninstall", CRegStringType::Sz,
                                          0);
            }
        }
        if (location.empty()) {
            m_UpdateMode = 0;
            SetProperty(u"_UPUpdateMode", u"NOUPDATE", 1);
            log->Log(LP_WARNING, kModule, context, u"Failed to collect information about installed product.");
            result = false;
            break;
        }
        SetProperty(u"INSTALLDIR", JxFile::RemoveTrailingBackslash(location), 1);
        SetProperty(u"_InstalledProductCode", row.guid, 1);
        SetProperty(u"InstallMode", u"Maintenance", 1);
        m_InstalledProductType = row.producttype;
        SetProperty(u"PRODUCTTYPE", row.producttype, 1);
        m_InstalledMajorVersion = row.version;
        const int offered = GetGenerationFromVersion(m_ProductInfo.version);
        log->Log(LP_INFO, kModule, context,
                 u"Comparing installed major version (%i) with update major version (%i).", row.version,
                 offered);
        if (row.version < offered) {
            log->Log(LP_INFO, kModule, context, u"Setting update mode to UPGRADE");
            m_UpdateMode = 2;
            SetProperty(u"_UPUpdateMode", u"UPGRADE", 1);
        } else if (row.version == offered) {
            log->Log(LP_INFO, kModule, context, u"Setting update mode to UPDATE");
            m_UpdateMode = 1;
            SetProperty(u"_UPUpdateMode", u"UPDATE", 1);
        } else {
            log->Log(LP_INFO, kModule, context, u"Setting update mode to NOUPDATE.");
            m_UpdateMode = 0;
            SetProperty(u"_UPUpdateMode", u"NOUPDATE", 1);
            result = false;
        }
        break;
    }
    if (!found) {
        log->Log(LP_INFO, kModule, context,
                 u"No known product found on target system. Setting installmode to install.");
        SetProperty(u"InstallMode", u"Install", 1);
    }
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

} // namespace JxSetup::Data
