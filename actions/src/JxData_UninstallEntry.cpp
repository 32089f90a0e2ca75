// The product's entry in the Windows list of installed programs, and IntToWString.
#include "JxData_UninstallEntry.h"

#include <sstream>
#include <vector>

#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kAddProduct[] = u"JxSetup::Data::JxData::ControlPanelAddProduct";

void _cpl_PutString(const std::u16string& key, const WCHAR* name, const std::u16string& text) {
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), name, text, CRegStringType::Sz, 0);
}

void _cpl_PutInt(const std::u16string& key, const WCHAR* name, DWORD value) {
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), name, value, 0);
}

} // namespace

std::u16string IntToWString(int value) {
    std::ostringstream text;
    text << value;
    return jxtext::Utf8ToUtf16(text.str());
}

void JxData::ControlPanelAddProduct() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kUninstallModule, kAddProduct, u"");
    if (jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall")) {
        log->Log(LOG_END, kUninstallModule, kAddProduct, u"");
        return;
    }
    if (jxtext::EqualsNoCase(ExpandProperties(u"[_SkipAddToControlPanel]"), u"true")) {
        log->Log(LP_INFO, kUninstallModule, kAddProduct, u"Add current product to control panel skipped.");
        log->Log(LOG_END, kUninstallModule, kAddProduct, u"");
        return;
    }
    // The id names the key: anything but one segment would write another key.
    const std::u16string productId = GetProductId();
    if (!_cpl_IsGuidId(log, kAddProduct, productId)) {
        log->Log(LOG_END, kUninstallModule, kAddProduct, u"");
        return;
    }
    std::u16string maintenanceDir;
    GetMaintenanceDir(maintenanceDir);
    const std::u16string setupProgram = JxFile::CombinePath(maintenanceDir, u"setup.exe");
    const std::u16string uninstallString = setupProgram + u" /InstallMode=Uninstall /_DoNotShowChange=true";
    const std::u16string modifyPath = setupProgram + u" /InstallMode=" + u"Maintenance";
    const std::u16string version = GetProductVersion();
    std::vector<WORD> versionParts;
    const bool versionSplit = JxFile::GetVersionNumbers(version, versionParts);
    if (!versionSplit)
        log->Log(LP_WARNING, kUninstallModule, kAddProduct,
                 u"Product version %s is not a version. VersionMajor and VersionMinor skipped.",
                 version.c_str());

    const std::u16string key = _cpl_EntryKey(productId);
    _cpl_PutString(key, u"DisplayVersion", version);
    _cpl_PutString(key, u"DisplayName", ExpandProperties(u"[PRODUCTNAME]"));
    _cpl_PutString(key, u"DisplayIcon", ExpandProperties(m_ProductInfo.DisplayIcon));
    _cpl_PutString(key, u"Publisher", ExpandProperties(u"[COMPANY]"));
    _cpl_PutString(key, u"InstallLocation", ExpandProperties(u"[INSTALLDIR]"));
    if (versionSplit && versionParts.size() >= 3) {
        _cpl_PutInt(key, u"VersionMajor", versionParts[0]);
        _cpl_PutInt(key, u"VersionMinor", versionParts[1]);
    }
    _cpl_PutInt(key, u"EstimatedSize", static_cast<DWORD>(GetInstalledFeaturesSize()));
    _cpl_PutString(key, u"UninstallString", uninstallString);
    if (jxtext::EqualsNoCase(ExpandProperties(u"[DoNotModify]"), u"true"))
        _cpl_PutInt(key, u"NoModify", 1);
    else
        _cpl_PutString(key, u"ModifyPath", modifyPath);
    _cpl_PutInt(key, u"NoRepair", 1);
    log->Log(LOG_END, kUninstallModule, kAddProduct, u"");
}

} // namespace JxSetup::Data
