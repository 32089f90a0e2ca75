// Finding the installed product: the uninstall entries first, then the stored setups, then the
// services; its installation and maintenance folders and its version file.
#include "jxengine/JxUpdateMode.h"

#include <algorithm>
#include <cstdarg>

#include "jxbase/reg.h"
#include "jxbase/xml/xmldom.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kUninstallArguments = u" /InstallMode=Uninstall /_DoNotShowChange=true";

bool _um_EqualsNoCase(const std::u16string& a, const std::u16string& b) {
    return jxtext::EqualsNoCase(a, b);
}

const WCHAR* _um_TrueFalse(bool flag) {
    return flag ? u"true" : u"false";
}

std::u16string _um_WithoutQuotes(std::u16string text) {
    std::erase(text, u'"');
    return text;
}

std::u16string _um_ReadHklm(const std::u16string& key, const WCHAR* value) {
    return CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), value, u"", 0);
}

bool _um_FolderExists(const std::u16string& path) {
    const DWORD attributes = JxFile::GetAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool _um_AnyMatch(const std::u16string& pattern) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

} // namespace

std::u16string UninstallKeyOf(const std::u16string& productCode) {
    return u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productCode;
}

JxUpdateMode::JxUpdateMode(const JxUpdateModeInput& input, JxData* data) : m_Data(data), m_Input(input) {}

bool JxUpdateMode::_um_Begin(const WCHAR* context, const WCHAR* format, ...) {
    if (m_Data == nullptr) {
        // No data object, no log of its own: the process's log writer takes the error.
        Instance()->Log(LP_ERROR, kModule, context, u"Invalid data object.");
        return false;
    }
    va_list args;
    va_start(args, format);
    const std::u16string text = jxtext::FormatV(format, args);
    va_end(args);
    m_Data->GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", text.c_str());
    return true;
}

bool JxUpdateMode::_um_End(const WCHAR* context, bool result) {
    m_Data->GetLog()->Log(LOG_END, kModule, context, u"%s", _um_TrueFalse(result));
    return result;
}

void JxUpdateMode::_um_Info(const WCHAR* context, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    const std::u16string text = jxtext::FormatV(format, args);
    va_end(args);
    m_Data->GetLog()->Log(MP_INFO, kModule, context, u"%s", text.c_str());
}

const std::vector<JxProductCode>& JxUpdateMode::_um_Codes() const {
    static const std::vector<JxProductCode> none;
    return m_Input.requirements != nullptr ? m_Input.requirements->m_ProductCodes : none;
}

const JxProductCode* JxUpdateMode::_um_RowOf(const std::u16string& productCode) const {
    for (const JxProductCode& row : _um_Codes())
        if (_um_EqualsNoCase(row.guid, productCode))
            return &row;
    return nullptr;
}

std::u16string JxUpdateMode::_um_StoredSetupFolder(const std::u16string& guid) const {
    return JxFile::CombinePath(m_Input.commonAppDataFolder, u"Tolvane\\Setups", guid);
}

JxUpdateModeOutput JxUpdateMode::GetUpdateMode() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::GetUpdateMode";
    JxUpdateModeOutput out;
    if (!_um_Begin(context))
        return out; // mode 0
    bool ok = getInstalledProduct();
    if (ok)
        ok = getInstalledProductByService();
    if (m_Info.installedProductFound && ok) {
        ok = getInstallDir();
        if (ok)
            ok = getInstalledProductVersion();
        if (ok) {
            ok = evaluateUpdateMode();
            if (ok)
                ok = evaluateMiniSetupRestrictions();
        }
    }
    getMaintenanceDir();
    getOutputData(out);
    _um_End(context, ok);
    return out;
}

bool JxUpdateMode::getInstalledProduct() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::getInstalledProduct";
    if (!_um_Begin(context)) {
        return false;
    }
    m_Info.productCode.clear();
    m_Info.displayName.clear();
    m_Info.mode = UPDATEMODE_NOUPDATE;
    m_Info.installedProductFound = false;

    for (const JxProductCode& row : _um_Codes()) {
        if (row.guid.empty()) {
            _um_Info(context, u"Product code of product %s is empty. Continue with next product.",
                     row.name.c_str());
            continue;
        }
        const std::u16string key = UninstallKeyOf(row.guid);
        if (!CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"UninstallString", 0))
            continue;
        m_Info.productCode = row.guid;
        m_Info.displayName = _um_ReadHklm(key, u"DisplayName");
        m_Info.installedVersion = _um_ReadHklm(key, u"DisplayVersion");
        m_Info.installLocation = _um_ReadHklm(key, u"InstallLocation");
        m_Info.prohibitUpdate = _um_EqualsNoCase(row.noupgrade, u"true");
        m_Info.minUpgradeVersion = row.minupgradeversion;
        m_Info.installedProductFound = true;
        _um_Info(context, u"Installed product found: %s (%s: %s) => Prohibit Update: %s", row.name.c_str(),
                 row.guid.c_str(), m_Info.installedVersion.c_str(), _um_TrueFalse(m_Info.prohibitUpdate));
        break;
    }

    bool result = true;
    if (!m_Info.installedProductFound) {
        _um_Info(context, u"No installed product found in Windows Control Panel. Searching for alternative "
                          u"information.");
        for (const JxProductCode& row : _um_Codes()) {
            if (row.guid.empty())
                continue;
            const std::u16string folder = _um_StoredSetupFolder(row.guid);
            if (!JxFile::FileExists(JxFile::CombinePath(folder, u"setup.exe")))
                continue;
            if (!JxFile::FileExists(JxFile::CombinePath(folder, u"data.wpk")) &&
                !_um_AnyMatch(JxFile::CombinePath(folder, u"*.wpk")))
                continue;
            m_Info.productCode = row.guid;
            m_Info.displayName = row.name;
            m_Info.installedVersion = IntToWString(row.version) + u".0.0.0";
            m_Info.prohibitUpdate = _um_EqualsNoCase(row.noupgrade, u"true");
            m_Info.installLocation =
                JxFile::RemoveTrailingBackslash(_um_ReadHklm(u"SOFTWARE\\TOLVANE", u"RootPath"));
            m_Info.minUpgradeVersion = row.minupgradeversion;
            m_Info.installedProductFound = true;
            _um_Info(context, u"Installed product found: %s (%s: %s) => Prohibit Update: %s",
                     row.name.c_str(), row.guid.c_str(), m_Info.installedVersion.c_str(),
                     _um_TrueFalse(m_Info.prohibitUpdate));
            result = fixInstalledProductInformation();
        }
    }

    if (!m_Info.installedProductFound) {
        _um_Info(context, u"No product found. Dumping most important requirements data:");
        for (const JxProductCode& row : _um_Codes())
            _um_Info(context, u"%s (%s => %d) - Prohibit update: %s", row.name.c_str(), row.guid.c_str(),
                     row.version, _um_TrueFalse(_um_EqualsNoCase(row.noupgrade, u"true")));
        if (_um_EqualsNoCase(m_Input.installMode, u"Install") && !_um_Flags()) {
            m_Data->GetLog()->Log(LOG_END, kModule, context,
                                  u"InstallMode is set to Install. Set UpdateMode to NOUPDATE");
            return result;
        }
    }
    return _um_End(context, result);
}

bool JxUpdateMode::fixInstalledProductInformation() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::fixInstalledProductInformation";
    if (!_um_Begin(context))
        return false;
    const std::u16string key = UninstallKeyOf(m_Info.productCode);
    const auto put = [&](const WCHAR* name, const std::u16string& value) {
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), name, value, CRegStringType::Sz, 0);
    };
    put(u"DisplayName", m_Info.displayName);
    put(u"DisplayVersion", m_Info.installedVersion);
    put(u"InstallLocation", m_Info.installLocation);
    // A path with blanks must stay one argument of the command line.
    const std::u16string setup = JxFile::CombinePath(_um_StoredSetupFolder(m_Info.productCode), u"setup.exe");
    put(u"UninstallString", u"\"" + setup + u"\"" + kUninstallArguments);
    return _um_End(context, true);
}

bool JxUpdateMode::getInstalledProductByService() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::getInstalledProductByService";
    if (!_um_Begin(context))
        return false;
    if (m_Info.installedProductFound) {
        m_Data->GetLog()->Log(LOG_END, kModule, context, u"Installed product already found");
        return true;
    }
    for (const JxProductCode& row : _um_Codes()) {
        if (row.servicename.empty())
            continue;
        const std::u16string image = _um_WithoutQuotes(
            _um_ReadHklm(u"SYSTEM\\CurrentControlSet\\services\\" + row.servicename, u"ImagePath"));
        if (image.empty() || !JxFile::FileExists(image))
            continue;
        _um_Info(context, u"Service %s installed. Product found: %s", row.servicename.c_str(),
                 row.name.c_str());
        m_Info.productCode = row.guid;
        m_Info.displayName = row.name;
        m_Info.installedVersion.clear();
        m_Info.installLocation.clear();
        m_Info.prohibitUpdate = _um_EqualsNoCase(row.noupgrade, u"true");
        m_Info.minUpgradeVersion = row.minupgradeversion;
        m_Info.installedProductFound = true;
        break;
    }
    return _um_End(context, true);
}

bool JxUpdateMode::getInstallDir() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::getInstallDir";
    if (!_um_Begin(context))
        return false;
    bool result = true;
    if (m_Info.installLocation.empty()) {
        for (const JxProductCode& row : _um_Codes()) {
            if (!_um_EqualsNoCase(row.guid, m_Info.productCode) || row.installdirhk.empty() ||
                row.installdirkey.empty() || row.installdirsubkey.empty())
                continue;
            const std::u16string value =
                CReg::GetStringFromRegistry(GetRegistryRootFromName(row.installdirhk),
                                            row.installdirkey.c_str(), row.installdirsubkey.c_str(), u"", 0);
            if (value.empty()) {
                _um_Info(context, u"InstallDir not found in: %s\\%s => %s (Parent: %s)",
                         row.installdirhk.c_str(), row.installdirkey.c_str(), row.installdirsubkey.c_str(),
                         row.installdirparent.c_str());
                result = false;
                continue;
            }
            const long long levels = jxtext::TryParseInt(row.installdirparent).value_or(0);
            const std::u16string folder = JxFile::GetParentFolder(
                _um_WithoutQuotes(value), static_cast<unsigned>(std::max(levels, 0LL)));
            if (_um_FolderExists(folder)) {
                m_Info.installLocation = folder;
                _um_Info(context, u"InstallDir (%s) found in: %s\\%s => %s (Parent: %s)", folder.c_str(),
                         row.installdirhk.c_str(), row.installdirkey.c_str(), row.installdirsubkey.c_str(),
                         row.installdirparent.c_str());
            } else {
                _um_Info(context, u"InstallDir (%s) not found in: %s\\%s => %s (Parent: %s)", folder.c_str(),
                         row.installdirhk.c_str(), row.installdirkey.c_str(), row.installdirsubkey.c_str(),
                         row.installdirparent.c_str());
                result = false;
            }
        }
    }
    return _um_End(context, result);
}

bool JxUpdateMode::getInstalledProductVersion() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::getInstalledProductVersion";
    if (!_um_Begin(context))
        return false;
    const JxProductCode* row = _um_RowOf(m_Info.productCode);
    if (row == nullptr || row->versionfile.empty() || row->versionxpath.empty())
        return _um_End(context, true);

    std::u16string file;
    const size_t at = row->versionfile.find(u"[INSTALLDIR]");
    if (at != std::u16string::npos && !m_Info.installLocation.empty()) {
        file = row->versionfile;
        file.replace(at, 12, m_Info.installLocation);
    } else {
        file = m_Data->ExpandProperties(row->versionfile);
    }
    if (!JxFile::FileExists(file)) {
        _um_Info(context, u"File %s not found.", file.c_str());
        return _um_End(context, false);
    }
    CXMLDOMDocument document;
    if (!document.Create()) {
        m_Data->GetLog()->Log(LP_ERROR, kModule, context, u"Failed to initialize XML parser.");
        return _um_End(context, false);
    }
    const CXMLDOMElement root = document.Load(file.c_str());
    const std::u16string xpath = m_Data->ExpandProperties(row->versionxpath);
    const CXMLDOMNode node = root.IsEmpty() ? CXMLDOMNode() : document.SelectSingleNode(xpath.c_str());
    if (node.IsEmpty()) {
        _um_Info(context, u"File %s found. Invalid XPath selector: %s", file.c_str(), xpath.c_str());
        return _um_End(context, false);
    }
    m_Info.installedVersion = node.GetText();
    _um_Info(context, u"File %s found. Installed version: %s", file.c_str(), m_Info.installedVersion.c_str());
    return _um_End(context, true);
}

bool JxUpdateMode::getMaintenanceDir() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::getMaintenanceDir";
    if (!_um_Begin(context))
        return false;
    bool result = true;
    const std::u16string code = !m_Info.productCode.empty() ? m_Info.productCode : m_Input.setupProductCode;
    const JxProductCode* row = m_Info.maintenanceDir.empty() ? _um_RowOf(code) : nullptr;
    if (row != nullptr && !row->maintenanceroot.empty() && !row->maintenancekey.empty() &&
        !row->maintenancevaluename.empty()) {
        const HKEY root = GetRegistryRootFromName(row->maintenanceroot);
        const std::u16string value = CReg::GetStringFromRegistry(root, row->maintenancekey.c_str(),
                                                                 row->maintenancevaluename.c_str(), u"", 0);
        if (!value.empty()) {
            const std::u16string folder = JxFile::GetParentFolder(_um_WithoutQuotes(value), 0);
            m_Info.maintenanceDir = folder;
            _um_Info(context,
                     _um_FolderExists(folder) ? u"MaintenanceDir (%s) found in: %s\\%s => %s"
                                              : u"MaintenanceDir (%s) not found in: %s\\%s => %s",
                     folder.c_str(), row->maintenanceroot.c_str(), row->maintenancekey.c_str(),
                     row->maintenancevaluename.c_str());
        } else {
            _um_Info(context, u"MaintenanceDir not found in: %s\\%s => %s", row->maintenanceroot.c_str(),
                     row->maintenancekey.c_str(), row->maintenancevaluename.c_str());
            if (!row->maintenancedefault.empty()) {
                m_Info.maintenanceDir = m_Data->ExpandProperties(row->maintenancedefault);
                CReg::PutStringToRegistry(root, row->maintenancekey.c_str(),
                                          row->maintenancevaluename.c_str(), m_Info.maintenanceDir,
                                          CRegStringType::Sz, 0);
                _um_Info(context, u"Setting maintenace dir to default value: %s",
                         m_Info.maintenanceDir.c_str());
            } else {
                result = false;
            }
        }
    }
    return _um_End(context, result);
}

bool JxUpdateMode::getOutputData(JxUpdateModeOutput& out) {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::getOutputData";
    if (!_um_Begin(context))
        return false;
    if (_um_Flags()) {
        if (!m_Info.installedProductFound) {
            m_Info.mode = UPDATEMODE_NOUPDATE;
        } else if (m_Info.mode == UPDATEMODE_NOUPDATE) {
            _um_Info(context,
                     u"Fallback: Executing update without version control (Setup and Installed Versions "
                     u"are equal). UpdateMode = UPDATE");
            m_Info.mode = UPDATEMODE_UPDATE;
        } else if (m_Info.mode != UPDATEMODE_UPDATE && m_Info.mode != UPDATEMODE_UPGRADE) {
            _um_Info(context,
                     u"Fallback: Something went wrong. Set Updatemode to UPGRADE to perform the online "
                     u"update. UpdateMode = UPGRADE");
            m_Info.mode = UPDATEMODE_UPGRADE;
        }
    }
    out.mode = m_Info.mode;
    out.displayName = m_Info.displayName;
    out.productCode = m_Info.productCode;
    out.installLocation = m_Info.installLocation;
    out.maintenanceDir = m_Info.maintenanceDir;
    out.installedMajorMinor = m_Info.installedMajorMinor;
    out.setupMajorMinor = m_Info.setupMajorMinor;
    out.installedProductType = m_Info.installedProductType;
    out.installedProductLevel = m_Info.installedProductLevel;
    out.setupProductType = m_Info.setupProductType;
    out.setupProductLevel = m_Info.setupProductLevel;
    out.collect = _um_Flags();
    out.downgradeAuthorized = m_Info.downgradeAuthorized;
    return _um_End(context, true);
}

} // namespace JxSetup::Data
