// The stored customization of an installed product ("$CUSTOMIZE" in its maintenance folder) and
// what it means for a later setup: a standard setup does not upgrade a customized product, a
// customized setup does not upgrade a standard one, and where the two differ the installed product
// is removed first.
#include "jxbase/files.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const std::u16string kUninstallRoot = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool _custom_IsSetTrue(JxData& data, const WCHAR* name) {
    return jxtext::EqualsNoCase(data.GetPropertyValue(name), u"true");
}

// "[CommonAppDataFolder]\Tolvane\Setups\<code>\$CUSTOMIZE".
std::u16string _custom_FolderOfCode(JxData& data, const std::u16string& code) {
    return JxFile::CombinePath(
        JxFile::CombinePath(
            JxFile::CombinePath(data.ExpandProperties(u"[CommonAppDataFolder]"), u"Tolvane\\Setups"), code),
        u"$CUSTOMIZE");
}

// The stored customization folder of a product: below "_MaintenanceDir" when that is set and
// resolved, else below the common setups folder.
std::u16string _custom_StoreFolder(JxData& data, const std::u16string& code) {
    const std::u16string maintenance = data.ExpandProperties(u"[_MaintenanceDir]");
    if (!maintenance.empty() && maintenance.find(u'[') == std::u16string::npos)
        return JxFile::CombinePath(maintenance, u"$CUSTOMIZE");
    return _custom_FolderOfCode(data, code);
}

} // namespace

bool JxData::Store_Customied_Configuration() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Store_Customied_Configuration";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    if (!jxtext::EqualsNoCase(GetInstallMode(), u"Install")) {
        log->Log(LOG_END, kModule, context, u"true");
        return true;
    }
    const std::u16string folder = _custom_StoreFolder(*this, m_ProductInfo.productid);
    const std::u16string target = JxFile::CombinePath(folder, u"customize.xml");
    // Only a customization that loaded is stored: a file that did not would mark the product as
    // customized for every later setup, and an empty folder would outlive the product's removal.
    if (!_custom_IsSetTrue(*this, u"_USECUSTOMIZATION")) {
        log->Log(LP_ERROR, kModule, context, u"Failed to copy file customize.xml to %s", target.c_str());
        log->Log(LOG_END, kModule, context, u"false");
        return false;
    }
    JxFile::PrepareDestinationDirectory(folder);
    bool stored = false;
    if (m_Customization.fromPackages) {
        if (!m_Vfs) {
            log->Log(LP_ERROR, kModule, context, u"VFS is not mounted!");
            log->Log(LOG_END, kModule, context, u"true");
            return true;
        }
        stored = m_Vfs->CopyFile(u"\\$CUSTOMIZE\\customize.xml", target, 0) == 0;
    } else {
        stored = CopyFileW(JxFile::CombinePath(m_appDir, u"$CUSTOMIZE\\customize.xml").c_str(),
                           target.c_str(), FALSE);
    }
    if (stored)
        log->Log(LP_INFO, kModule, context, u"File customize.xml copied to %s", target.c_str());
    else
        log->Log(LP_ERROR, kModule, context, u"Failed to copy file customize.xml to %s", target.c_str());
    if (m_Customization.fromPackages)
        Store_Customized_Folder(u"\\$CUSTOMIZE\\theme", JxFile::CombinePath(folder, u"theme"));
    else
        Store_Customized_Folder(JxFile::CombinePath(m_appDir, u"$CUSTOMIZE\\theme"),
                                JxFile::CombinePath(folder, u"theme"));
    log->Log(LOG_END, kModule, context, u"%s", stored ? u"true" : u"false");
    return stored;
}

void JxData::Store_Customized_Folder(const std::u16string& source, const std::u16string& target) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Store_Customized_Folder";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s - %s", source.c_str(), target.c_str());
    if (!m_Customization.fromPackages) {
        JxFile::CopyDir(source, target, true);
    } else if (!m_Vfs) {
        GetLog()->Log(LP_ERROR, kModule, context, u"VFS is not mounted!");
    } else {
        // The packaged folder keeps its tree: it is extracted below the folder whose end repeats it.
        const size_t start = source.find_first_not_of(u'\\');
        const std::u16string folder = start == std::u16string::npos ? u"" : source.substr(start);
        const bool repeated = target.size() > folder.size() &&
                              jxtext::EqualsNoCase(target.substr(target.size() - folder.size()), folder);
        if (repeated)
            ExtractDir(folder, target.substr(0, target.size() - folder.size()), true);
        else
            ExtractDir(folder, target, false);
    }
    GetLog()->Log(LOG_END, kModule, context, u"");
}

void JxData::Configure_Customized_UpgradeProducts() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Configure_Customized_UpgradeProducts";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    const bool install = jxtext::EqualsNoCase(GetInstallMode(), u"Install");
    bool invalidate = false;
    if (_custom_IsSetTrue(*this, u"_USECUSTOMIZATION")) {
        log->Log(LP_INFO, kModule, context, u"Customization mode detected.");
        invalidate = install;
    } else {
        log->Log(LP_INFO, kModule, context, u"Setup is of type standard.");
        if (install) {
            log->Log(LP_INFO, kModule, context,
                     u"InstallMode is Install. Searching for incompatible products...");
            bool found = false;
            for (const JxProductCode& row : m_Requirements.m_ProductCodes) {
                log->Log(LP_INFO, kModule, context, u"Is product %s installed?", row.guid.c_str());
                if (jxtext::EqualsNoCase(row.noupgrade, u"true"))
                    continue;
                log->Log(LP_INFO, kModule, context, u"Product %s allows upgrades.", row.guid.c_str());
                const std::u16string key = kUninstallRoot + row.guid;
                if (!CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"UninstallString", 0) ||
                    !CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"InstallLocation", 0))
                    continue;
                log->Log(LP_INFO, kModule, context, u"Configuration of product %s is valid",
                         row.guid.c_str());
                const std::u16string file =
                    JxFile::CombinePath(_custom_FolderOfCode(*this, row.guid), u"customize.xml");
                log->Log(LP_INFO, kModule, context, u"Searching file %s", file.c_str());
                if (JxFile::FileExists(file)) {
                    log->Log(LP_INFO, kModule, context, u"File found. Installed version is customized.");
                    found = true;
                    break;
                }
            }
            invalidate = found && !_custom_IsSetTrue(*this, u"_IsDLLMode");
        }
    }
    if (invalidate) {
        log->Log(LP_INFO, kModule, context, u"InstallMode is Install. Invalidate requirements list...");
        for (JxProductCode& row : m_Requirements.m_ProductCodes) {
            log->Log(LP_INFO, kModule, context, u"Invalidate upgrade settings of product %s (%s).",
                     row.guid.c_str(), row.name.c_str());
            row.noupgrade = u"true";
        }
    }
    log->Log(LOG_END, kModule, context, u"");
}

void JxData::Configure_Customized_UpdateProduct() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Configure_Customized_UpdateProduct";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    const bool customized = _custom_IsSetTrue(*this, u"_USECUSTOMIZATION");
    std::u16string code = ExpandProperties(u"[_InstalledProductCode]");
    if (code.empty())
        code = m_ProductInfo.productid;
    const std::u16string mode = GetInstallMode();
    if (jxtext::EqualsNoCase(mode, u"Install")) {
        log->Log(LOG_END, kModule, context,
                 u"InstallMode is of type Install. Update settings are not changed.");
        return;
    }
    bool installedCustomized = false;
    if (jxtext::EqualsNoCase(mode, u"Maintenance")) {
        const std::u16string file = JxFile::CombinePath(_custom_FolderOfCode(*this, code), u"customize.xml");
        log->Log(LP_INFO, kModule, context, u"Searching file %s", file.c_str());
        if (JxFile::FileExists(file)) {
            log->Log(LP_INFO, kModule, context, u"File found. Installed version is customized.");
            installedCustomized = true;
        }
    }
    if (customized == installedCustomized) {
        log->Log(
            LOG_END, kModule, context,
            customized
                ? u"Setup and installed version are both of type customized. Update settings are not changed."
                : u"Setup and installed version are both of type standard. Update settings are not changed.");
        return;
    }
    log->Log(LOG_END, kModule, context,
             u"Setup and installed version are of different types. The installed product must be uninstalled "
             u"before installing this setup.");
    if (!_isInstallInformationValid(code)) {
        log->Log(LP_WARNING, kModule, context,
                 u"The installed product %s is invalid. Update settings are not changed.", code.c_str());
        return;
    }
    log->Log(LP_INFO, kModule, context, u"Product %s is installed.", code.c_str());
    const std::u16string key = kUninstallRoot + code;
    const std::u16string name =
        CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DisplayName", u"", 0);
    std::u16string command =
        CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"UninstallString", u"", 0);
    if (command.empty()) {
        log->Log(LP_WARNING, kModule, context,
                 u"Failed to read UninstallString. The installed product %s is invalid. Update settings are "
                 u"not changed.",
                 code.c_str());
        return;
    }
    command += u" /_AllowSecondInstance=\"true\"";
    SetInstallMode(u"Install");
    SetProperty(u"_OldAVName", name, 1);
    SetProperty(u"_OldAVCMD", command, 1);
    SetUpdateMode(u"NOUPDATE");
    SetProperty(u"_UPUpdateMode", u"NOUPDATE", 1);
}

void JxData::IsInstalledProductCustomized() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::IsInstalledProductCustomized";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    const std::u16string code = ExpandProperties(u"[_InstalledProductCode]");
    if (!code.empty()) {
        const std::u16string source = _custom_StoreFolder(*this, code);
        if (JxFile::FileExists(JxFile::CombinePath(source, u"customize.xml"))) {
            SetProperty(u"_InstalledProductIsCustomized", u"true", 1);
            const std::u16string target = _custom_StoreFolder(*this, m_ProductInfo.productid);
            if (IsSameFileSystemObject(source, target))
                GetLog()->Log(LP_INFO, kModule, context, u"Source and Destination are euquivalent: %s => %s",
                              source.c_str(), target.c_str());
            else
                JxFile::CopyDir(source, target, true);
        }
    }
    GetLog()->Log(LOG_END, kModule, context, u"");
}

} // namespace JxSetup::Data
