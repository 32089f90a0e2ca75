// The product's entry in the Windows list of installed programs, and IntToWString.
#include "JxData_UninstallEntry.h"

#include <sstream>
#include <vector>

#include "jxbase/reg.h"
#include "jxbase/win32errortext.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kAddProduct[] = u"JxSetup::Data::JxData::ControlPanelAddProduct";

// The entry's values, written one by one; the first refused write is kept with its value's name.
class CCplEntryWriter {
public:
    explicit CCplEntryWriter(std::u16string key) : m_key(std::move(key)) {}
    void PutString(const WCHAR* name, const std::u16string& text) {
        _Note(name, CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, m_key.c_str(), name, text,
                                              CRegStringType::Sz, 0));
    }
    void PutInt(const WCHAR* name, DWORD value) {
        _Note(name, CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, m_key.c_str(), name, value, 0));
    }
    bool Failed() const { return m_error != ERROR_SUCCESS; }
    const std::u16string& FailedName() const { return m_failedName; }
    DWORD Error() const { return static_cast<DWORD>(m_error); }

private:
    void _Note(const WCHAR* name, LONG status) {
        if (status == ERROR_SUCCESS || Failed())
            return;
        m_error = status;
        m_failedName = name;
    }
    std::u16string m_key;
    LONG m_error = ERROR_SUCCESS;
    std::u16string m_failedName;
};

} // namespace

std::u16string IntToWString(int value) {
    std::ostringstream text;
    text << value;
    return jxtext::Utf8ToUtf16(text.str());
}

bool JxData::ControlPanelAddProduct() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kUninstallModule, kAddProduct, u"");
    if (jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall")) {
        log->Log(LOG_END, kUninstallModule, kAddProduct, u"");
        return true;
    }
    if (jxtext::EqualsNoCase(ExpandProperties(u"[_SkipAddToControlPanel]"), u"true")) {
        log->Log(LP_INFO, kUninstallModule, kAddProduct, u"Add current product to control panel skipped.");
        log->Log(LOG_END, kUninstallModule, kAddProduct, u"");
        return true;
    }
    // The id names the key: anything but one segment would write another key.
    const std::u16string productId = GetProductId();
    if (!_cpl_IsGuidId(log, kAddProduct, productId)) {
        log->Log(LOG_END, kUninstallModule, kAddProduct, u"");
        return true;
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
    CCplEntryWriter entry(key);
    entry.PutString(u"DisplayVersion", version);
    entry.PutString(u"DisplayName", ExpandProperties(u"[PRODUCTNAME]"));
    entry.PutString(u"DisplayIcon", ExpandProperties(m_ProductInfo.DisplayIcon));
    entry.PutString(u"Publisher", ExpandProperties(u"[COMPANY]"));
    entry.PutString(u"InstallLocation", ExpandProperties(u"[INSTALLDIR]"));
    if (versionSplit && versionParts.size() >= 3) {
        entry.PutInt(u"VersionMajor", versionParts[0]);
        entry.PutInt(u"VersionMinor", versionParts[1]);
    }
    entry.PutInt(u"EstimatedSize", static_cast<DWORD>(GetInstalledFeaturesSize()));
    entry.PutString(u"UninstallString", uninstallString);
    if (jxtext::EqualsNoCase(ExpandProperties(u"[DoNotModify]"), u"true"))
        entry.PutInt(u"NoModify", 1);
    else
        entry.PutString(u"ModifyPath", modifyPath);
    entry.PutInt(u"NoRepair", 1);
    if (entry.Failed()) {
        log->Log(LP_ERROR, kUninstallModule, kAddProduct,
                 u"The uninstall entry %s could not be written (%s): %s", key.c_str(),
                 entry.FailedName().c_str(),
                 CWin32ErrorText(entry.Error(), CWin32ErrorText::PrefixCode).c_str());
        log->Log(LOG_END, kUninstallModule, kAddProduct, u"");
        return false;
    }
    log->Log(LOG_END, kUninstallModule, kAddProduct, u"");
    return true;
}

} // namespace JxSetup::Data
