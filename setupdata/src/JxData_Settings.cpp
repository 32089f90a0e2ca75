// The installed product's stored settings: HKEY_CLASSES_ROOT "JxSetup\<product id>\Settings",
// read at the start of a run and written (or removed, in an uninstall) near its end, together with
// the use counters of shared registry rows.
#include "jxsetupdata/JxData.h"

#include <algorithm>

#include "JxData_FileMetaRows.h"
#include "JxData_SettingsRegistry.h"
#include "jxbase/guards.h"
#include "jxbase/reg.h"
#include "jxbase/regkey.h"
#include "jxbase/win32errortext.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kLoadContext = u"JxSetup::Data::JxData::LoadPropertiesFromRegistry";
const WCHAR* const kSaveContext = u"JxSetup::Data::JxData::SaveSettingsToRegistry";
const WCHAR* const kUninstallKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// A REG_DWORD row with increment "true" that keeps its use counter in setproperty.
bool IsCounterRow(const JxRegValue& row) {
    return row.type == u"REG_DWORD" && row.increment == u"true" && !row.setproperty.empty();
}

// A counter property as a number: 0 when empty or not a decimal number, within the DWORD range.
uint64_t CounterValue(const std::u16string& text) {
    const std::optional<long long> number = jxtext::TryParseInt(text, 10);
    if (!number || *number < 0)
        return 0;
    return std::min<uint64_t>(static_cast<uint64_t>(*number), 0xFFFFFFFFull);
}

} // namespace

bool JxData::_settings_HasProductId(const WCHAR* context) {
    if (!m_ProductInfo.productid.empty())
        return true;
    // The keys and folders of every product would be addressed instead of this product's.
    GetLog()->Log(LP_ERROR, kModule, context,
                  u"The setup definition has no product id: the stored settings are not touched.");
    return false;
}

void JxData::LoadPropertiesFromRegistry() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kLoadContext, u"");
    if (!_settings_HasProductId(kLoadContext)) {
        log->Log(LOG_END, kModule, kLoadContext, u"");
        return;
    }
    const std::u16string path = ProductSettingsKey(m_ProductInfo.productid, u"Settings");
    CSettingsKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path, KEY_READ) == ERROR_SUCCESS) {
        // The names are taken first: values moved or deleted below are not met twice.
        for (const std::u16string& name : ReadSettingsValueNames(key.Get())) {
            const bool prefixed = PropertyCache::HasLockPrefix(name);
            if (prefixed && name.size() > 1 && name[1] == u'_') {
                // Engine switches are never stored; an old entry of one is dropped.
                CReg::DeleteValueFromRegistry(HKEY_CLASSES_ROOT, path.c_str(), name.c_str(), 0);
                continue;
            }
            const std::u16string value = ReadSettingsString(key.Get(), name);
            const std::u16string plain = PropertyCache::StripLockPrefix(name);
            if (prefixed) {
                CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, path.c_str(), plain.c_str(), value,
                                          CRegStringType::Sz, 0);
                CReg::DeleteValueFromRegistry(HKEY_CLASSES_ROOT, path.c_str(), name.c_str(), 0);
            }
            SetProperty(plain, value, 1);
        }
    }
    log->Log(LOG_END, kModule, kLoadContext, u"");
}

bool JxData::SaveSettingsToRegistry() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kSaveContext, u"");
    if (m_UserCancelled) {
        log->Log(LP_INFO, kModule, kSaveContext, u"The setup was cancelled: no settings are saved.");
        log->Log(LOG_END, kModule, kSaveContext, u"%s", u"true");
        return true;
    }

    const std::u16string oldProductCode = GetPropertyValue(u"_InstalledProductCode");
    const std::u16string installMode = GetInstallMode();
    _settings_SaveCounters(installMode);

    if (installMode != u"Uninstall") {
        for (const JxFeature& feature : m_Features) {
            const std::u16string action = GetFeatureAction(feature.name);
            const std::u16string state = GetFeatureState(feature.name);
            if ((action == u"FeatureActionInstall" && state == u"FeatureStateAbsent") ||
                (action == u"FeatureActionRemove" && state == u"FeatureStateInstalled"))
                SwitchFeatureState(feature.name);
        }
        SetProperty(u"FeatureActionInstall", u"", 1);
        SetProperty(u"FeatureActionRemove", u"", 1);
        SetProperty(u"Installed", m_ProductInfo.productid, 1);
        // The next run finds the product installed; this run goes on in its own mode.
        const std::u16string runningMode = GetPropertyValue(u"InstallMode");
        SetProperty(u"InstallMode", u"Maintenance", 1);

        if (!oldProductCode.empty() && !jxtext::EqualsNoCase(oldProductCode, m_ProductInfo.productid)) {
            if (CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, ProductSettingsKey(oldProductCode).c_str(),
                                            u"Settings", 0))
                log->Log(LP_INFO, kModule, kSaveContext,
                         u"Settings from old product with productcode %s deleted.", oldProductCode.c_str());
            else
                log->Log(LP_WARNING, kModule, kSaveContext,
                         u"Error while deleting old product settings with productcode %s.",
                         oldProductCode.c_str());
        }
        const bool saved = _settings_SaveProperties();
        SetProperty(u"InstallMode", runningMode, 1);
        if (!saved) {
            log->Log(LOG_END, kModule, kSaveContext, u"%s", u"false");
            return false;
        }
    } else {
        _settings_RemoveProduct();
    }
    log->Log(LOG_END, kModule, kSaveContext, u"%s", u"true");
    return true;
}

void JxData::_settings_SaveCounters(const std::u16string& installMode) {
    const bool installing = installMode == u"Install" || installMode == u"Maintenance";
    const bool uninstalling = installMode == u"Uninstall";
    if (!installing && !uninstalling)
        return;
    for (const JxRegValue& row : m_RegValuesInstall) {
        if (!IsCounterRow(row))
            continue;
        const HKEY root = GetRegistryRootFromName(row.root);
        uint64_t count = CounterValue(GetPropertyValue(row.setproperty));
        if (installing) {
            JxFeature feature;
            GetFeature(feature, row.featurename);
            const JxComponent component = GetComponentOfFeature(row.componentid, feature);
            if (!GetConditionResult(component.condition))
                continue;
            // An update or upgrade finds the component counted already.
            const bool counted = (m_UpdateMode == 1 || m_UpdateMode == 2) && count >= 1;
            if (!counted && count < 0xFFFFFFFFull)
                ++count;
            CReg::PutIntToRegistry(root, row.key.c_str(), row.valuename.c_str(), static_cast<DWORD>(count),
                                   0);
            continue;
        }
        if (GetFeatureAction(row.featurename) != u"FeatureActionRemove")
            continue;
        if (count > 0)
            --count;
        if (count < 1)
            CReg::DeleteValueFromRegistry(root, row.key.c_str(), row.valuename.c_str(), 0);
        else
            CReg::PutIntToRegistry(root, row.key.c_str(), row.valuename.c_str(), static_cast<DWORD>(count),
                                   0);
    }
}

bool JxData::_settings_SaveProperties() {
    if (!_settings_HasProductId(kSaveContext))
        return true;
    CSettingsKey key;
    const LSTATUS created =
        key.Create(HKEY_CLASSES_ROOT, ProductSettingsKey(m_ProductInfo.productid, u"Settings"), KEY_WRITE);
    if (created != ERROR_SUCCESS) {
        GetLog()->Log(LP_ERROR, kModule, kSaveContext, u"The settings key can't be created: %s",
                      CWin32ErrorText(static_cast<DWORD>(created), CWin32ErrorText::PrefixCode).c_str());
        return false;
    }
    // Engine switches and protected values ("_" and "__" names) are never stored.
    bool saved = true;
    for (const auto& [name, value] : GetAllProperties()) {
        if (name.empty() || name[0] == u'_')
            continue;
        const LSTATUS written = WriteSettingsString(key.Get(), name, value);
        if (written != ERROR_SUCCESS) {
            GetLog()->Log(LP_ERROR, kModule, kSaveContext, u"The setting %s can't be written: %s",
                          name.c_str(),
                          CWin32ErrorText(static_cast<DWORD>(written), CWin32ErrorText::PrefixCode).c_str());
            saved = false;
        }
    }
    return saved;
}

void JxData::_settings_RemoveProduct() {
    if (!_settings_HasProductId(kSaveContext))
        return;
    const std::u16string& productId = m_ProductInfo.productid;
    // The id names the product's key and its maintenance folder below the shared ones: an id that is
    // not one plain name (".", " ", "x\\..") would aim the removal at the shared key or folder.
    if (!IsSinglePathSegment(productId)) {
        GetLog()->Log(LP_ERROR, kModule, kSaveContext,
                      u"The product id %s is not a single name: its settings and files are not removed.",
                      productId.c_str());
        return;
    }
    const std::u16string productKey = ProductSettingsKey(productId);
    CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, productKey.c_str(), u"Settings", 0);
    CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, productKey.c_str(), u"ActivatedFeatures", 0);
    // The product's key goes whole, with whatever sub-keys a run left in it.
    CRegKeyEx(HKEY_CLASSES_ROOT, kSettingsTopKey, KEY_ALL_ACCESS).RecurseDeleteKey(productId.c_str());
    CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, kUninstallKey, productId.c_str(), 0);

    const std::u16string commonAppData = _settings_CommonAppDataFolder();
    if (commonAppData.empty())
        return;
    // The files of the maintenance folder; its sub-folders and the folder itself stay.
    const std::u16string folder = JoinWindowsPath({commonAppData, u"Tolvane\\Setups", productId});
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW(JoinWindowsPath({folder, u"*.*"}).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::u16string file = JoinWindowsPath({folder, found.cFileName});
        if (!DeleteFileW(file.c_str()))
            GetLog()->Log(LP_WARNING, kModule, kSaveContext, u"The file %s can't be deleted (error %lu).",
                          file.c_str(), GetLastError());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace JxSetup::Data
