// Removal of the entry, the Windows Installer traces and the maintenance files of the product that
// the new installation replaces.
#include "JxData_UninstallEntry.h"

#include "jxbase/CJxTools.h"
#include "jxbase/guards.h"
#include "jxbase/reg.h"
#include "jxbase/regkey.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kDeleteOld[] = u"JxSetup::Data::JxData::ControlPanelDeleteOldProduct";
constexpr WCHAR kDeleteMsi[] = u"JxSetup::Data::JxData::ControlPanelDeleteMSISettings";
constexpr WCHAR kInstallProperties[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\";

// The files of the folder, not those of its subfolders.
void _cpl_DeleteFolderFiles(JxLog* log, const WCHAR* context, const std::u16string& folder) {
    log->Log(LP_INFO, kUninstallModule, context, u"Deleting files of %s.", folder.c_str());
    bool rebootNeeded = false;
    JxFile::DeleteFiles(folder, u"*.*", false, rebootNeeded);
}

// A folder expanded from a property reference; empty (with a log line) when it did not resolve.
std::u16string _cpl_ResolvedFolder(JxData& data, const WCHAR* context, const std::u16string& reference) {
    const std::u16string folder = data.ExpandProperties(reference);
    if (folder.empty() || folder.find(u'[') != std::u16string::npos) {
        data.GetLog()->Log(LP_WARNING, kUninstallModule, context, u"Folder %s is not resolved. Skipped.",
                           reference.c_str());
        return {};
    }
    return folder;
}

} // namespace

void JxData::ControlPanelDeleteOldProduct() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kUninstallModule, kDeleteOld, u"");
    bool wanted = !jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall");
    if (jxtext::EqualsNoCase(ExpandProperties(u"[_IncompatibleProductFound]"), u"true")) {
        wanted = false;
        log->Log(LP_INFO, kUninstallModule, kDeleteOld,
                 u"Icompatible product found. Don't delete any control panel item.");
    }
    const std::u16string oldId = ExpandProperties(u"[_InstalledProductCode]");
    if (wanted && !oldId.empty() && oldId.find(u'[') == std::u16string::npos &&
        !jxtext::EqualsNoCase(oldId, GetProductId()) && _cpl_IsGuidId(log, kDeleteOld, oldId)) {
        ControlPanelDeleteMSISettings(oldId);
        CRegKeyEx uninstall(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_READ | KEY_WRITE);
        if (uninstall.Status() == ERROR_SUCCESS && uninstall.RecurseDeleteKey(oldId.c_str()) == ERROR_SUCCESS)
            log->Log(LP_INFO, kUninstallModule, kDeleteOld, u"Uninstall entry %s deleted.", oldId.c_str());
        uninstall.Close();
        const std::u16string setups =
            _cpl_ResolvedFolder(*this, kDeleteOld, u"[CommonAppDataFolder]\\Tolvane\\Setups\\");
        if (!setups.empty())
            _cpl_DeleteFolderFiles(log, kDeleteOld, setups + oldId);
    }
    log->Log(LOG_END, kUninstallModule, kDeleteOld, u"");
}

void JxData::ControlPanelDeleteMSISettings(const std::u16string& productCode) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kUninstallModule, kDeleteMsi, u"%s", productCode.c_str());
    if (productCode.empty() || !_cpl_IsGuidId(log, kDeleteMsi, productCode)) {
        log->Log(LOG_END, kUninstallModule, kDeleteMsi, u"");
        return;
    }
    const std::u16string windows = _cpl_ResolvedFolder(*this, kDeleteMsi, u"[WindowsFolder]");
    if (!windows.empty())
        _cpl_DeleteFolderFiles(log, kDeleteMsi, JxFile::CombinePath(windows, u"Installer\\" + productCode));

    // The installer's source folder may be anywhere: only a folder of the setup's own is emptied.
    const std::u16string source = CReg::GetStringFromRegistry(
        HKEY_LOCAL_MACHINE, _cpl_EntryKey(productCode).c_str(), u"InstallSource", u"", 0);
    if (!source.empty()) {
        const std::u16string commonAppData = ExpandProperties(u"[CommonAppDataFolder]");
        if (_cpl_IsOwnedSourceFolder(source, commonAppData, windows, productCode))
            _cpl_DeleteFolderFiles(log, kDeleteMsi, source);
        else
            log->Log(LP_INFO, kUninstallModule, kDeleteMsi,
                     u"InstallSource %s is not a folder of the setup. Its files are kept.", source.c_str());
    }

    const bool is64 = !ExpandProperties(u"[VersionNT64]").empty();
    const std::u16string packed = CJxTools::GetPackedProductCode(productCode);
    if (!packed.empty()) {
        const std::u16string key = kInstallProperties + packed + u"\\InstallProperties";
        const std::u16string package = CReg::GetStringFromRegistry(
            HKEY_LOCAL_MACHINE, key.c_str(), u"LocalPackage", u"", is64 ? KEY_WOW64_64KEY : 0);
        // The registry may name any file: only the installer's own cached package is deleted.
        if (!package.empty() && (windows.empty() || !IsFolderBelow(package, windows + u"\\Installer")))
            log->Log(LP_WARNING, kUninstallModule, kDeleteMsi,
                     u"LocalPackage %s is not below the installer's folder. It is kept.", package.c_str());
        else if (!package.empty() && !DeleteFileW(package.c_str()))
            log->Log(LP_WARNING, kUninstallModule, kDeleteMsi, u"Deleting %s failed (%u).", package.c_str(),
                     GetLastError());
    }
    CJxTools::DeleteMSIConfig(productCode);
    if (is64)
        CJxTools::DeleteMSIConfig64(productCode);
    log->Log(LOG_END, kUninstallModule, kDeleteMsi, u"");
}

} // namespace JxSetup::Data
