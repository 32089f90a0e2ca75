// The update decision applied to the run: the mode, the install mode, the properties that describe
// the installed product, the copy modes of the files and the feature actions of an update.
#include <cstdarg>

#include "jxbase/reg.h"
#include "jxengine/JxUpdateMode.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

bool _upd_IsTrue(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

// "[CommonAppDataFolder]\Tolvane\Setups\<code>": where a product keeps its stored setup.
std::u16string _upd_StoredSetupFolder(JxData& data, const std::u16string& productCode) {
    return JxFile::CombinePath(data.ExpandProperties(u"[CommonAppDataFolder]"), u"Tolvane\\Setups",
                               productCode);
}

} // namespace

void JxData::EvaluateUpdateMode() {
    const WCHAR* context = u"JxSetup::Data::JxData::EvaluateUpdateMode";
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    JxUpdateModeInput input;
    CollectUpdateModeInputData(input);
    JxUpdateMode rules(input, this);
    const JxUpdateModeOutput output = rules.GetUpdateMode();
    SaveUpdateModeOutputData(output);
    if (m_UpdateMode != UPDATEMODE_EXITSETUP && m_UpdateMode != UPDATEMODE_RELOADCONFIG) {
        SetCopyModeToChecksumComparation(output);
        if (!_upd_IsTrue(GetPropertyValue(u"_StartAtExecution"))) {
            std::vector<std::u16string> installed;
            _getListOfInstalledFeatures(installed);
            ScheduleFeatureUpdateActions(output);
        }
    }
    GetLog()->Log(LOG_END, kModule, context, u"");
}

void JxData::CollectUpdateModeInputData(JxUpdateModeInput& input) {
    const WCHAR* context = u"JxSetup::Data::JxData::CollectUpdateModeInputData";
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    input = JxUpdateModeInput();
    input.requirements = &m_Requirements;
    input.setupVersion = GetProductVersion();
    input.setupProductCode = GetProductId();
    input.authorizedDowngradeVersion = GetPropertyValue(u"_AuthorizeDowngradeVersion");
    input.installMode = GetInstallMode();
    input.collectMode = _upd_IsTrue(GetPropertyValue(u"CollectFilesForUpdate"));
    input.systemContext = _upd_IsTrue(GetPropertyValue(u"_IsSystemContext"));
    input.miniSetup = _upd_IsTrue(GetPropertyValue(u"_MiniSetup"));
    input.authorizedMiniSetupUpgradeVersion = GetPropertyValue(u"_AuthorizeMiniSetupUpgradeVersion");
    input.commonAppDataFolder = GetPropertyValue(u"CommonAppDataFolder");
    GetLog()->Log(LOG_END, kModule, context, u"");
}

void JxData::SaveUpdateModeOutputData(const JxUpdateModeOutput& output) {
    const WCHAR* context = u"JxSetup::Data::JxData::SaveUpdateModeOutputData";
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    m_UpdateMode = output.mode;
    // An uninstall run stays one: it neither carries out an update or upgrade of the product it is
    // asked to remove, nor turns into an installation that schedules that product's removal.
    const bool uninstall = jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall");
    if (uninstall && (output.mode == UPDATEMODE_UPDATE || output.mode == UPDATEMODE_UPGRADE ||
                      output.mode == UPDATEMODE_EXITSETUP)) {
        std::u16string decided;
        GetUpdateModeName(decided);
        GetLog()->Log(
            LP_WARNING, kModule, context,
            u"InstallMode is Uninstall: UpdateMode %s is not carried out. Set UpdateMode to NOUPDATE",
            decided.c_str());
        m_UpdateMode = UPDATEMODE_NOUPDATE;
    }
    std::u16string keyword;
    GetUpdateModeName(keyword);
    SetProperty(u"_UPUpdateMode", keyword, 1);
    m_InstalledProductType = output.installedProductType;

    const bool exitSetup = output.mode == UPDATEMODE_EXITSETUP;
    if (!output.installLocation.empty() && !exitSetup) {
        SetProperty(u"INSTALLDIR", output.installLocation, 1);
        SetProperty(u"_UPInstallDir", output.installLocation, 1);
    }
    if (!output.maintenanceDir.empty() && !exitSetup)
        SetProperty(u"_MaintenanceDir", output.maintenanceDir, 1);
    SetProperty(u"_InstalledProductCode", output.productCode, 1);

    if (uninstall) {
        // The install mode stays; the properties above tell the uninstallation where the product is.
    } else if (exitSetup) {
        SetInstallMode(u"Install");
        ScheduleInstalledProductForUninstall(output);
    } else if (output.mode == UPDATEMODE_UPDATE || output.mode == UPDATEMODE_UPGRADE) {
        SetInstallMode(u"Maintenance");
        SetProperty(u"PRODUCTTYPE", output.installedProductType, 1);
        std::u16string name;
        if (output.mode == UPDATEMODE_UPDATE) {
            name = ExpandProperties(u"[PRODUCTNAME]");
        } else {
            name = output.displayName;
            const bool dllMode = _upd_IsTrue(GetPropertyValue(u"_IsDLLMode"));
            const std::u16string customization = JxFile::CombinePath(
                _upd_StoredSetupFolder(*this, output.productCode), u"$CUSTOMIZE\\customize.xml");
            if (dllMode && JxFile::FileExists(customization)) {
                const std::u16string shown = CReg::GetStringFromRegistry(
                    HKEY_LOCAL_MACHINE, UninstallKeyOf(output.productCode).c_str(), u"DisplayName", u"", 0);
                if (!shown.empty())
                    name = shown;
                GetLog()->Log(MP_INFO, kModule, context,
                              u"Customized product installed. Reset PRODUCTNAME to: %s", name.c_str());
                SetProperty(u"PRODUCTNAME", name, 1);
            } else if (!dllMode && output.setupProductLevel > output.installedProductLevel) {
                SetProperty(u"_ProductUpgradeDetected", u"true", 1);
            }
        }
        SetProperty(u"_UPDisplayName", name, 1);
        SetProperty(u"_ATPRODUCTNAME", name, 1);
    }
    GetLog()->Log(LOG_END, kModule, context, u"");
}

void JxData::ScheduleInstalledProductForUninstall(const JxUpdateModeOutput& output) {
    const WCHAR* context = u"JxSetup::Data::JxData::ScheduleInstalledProductForUninstall";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    if (output.mode != UPDATEMODE_EXITSETUP) {
        log->Log(LOG_END, kModule, context, u"Invalid UpdateMode.");
        return;
    }
    if (output.productCode.empty() || output.displayName.empty()) {
        log->Log(LP_WARNING, kModule, context,
                 u"Not enough information to schedule uninstaller. Installed product name: %s (%s)",
                 output.displayName.c_str(), output.productCode.c_str());
        log->Log(LOG_END, kModule, context, u"");
        return;
    }
    std::u16string command = CReg::GetStringFromRegistry(
        HKEY_LOCAL_MACHINE, UninstallKeyOf(output.productCode).c_str(), u"UninstallString", u"", 0);
    if (command.empty()) {
        log->Log(LP_WARNING, kModule, context, u"UninstallString not found. Evaluating uninstall location.");
        const std::u16string setup =
            JxFile::CombinePath(_upd_StoredSetupFolder(*this, output.productCode), u"setup.exe");
        if (!JxFile::FileExists(setup)) {
            // Nothing would run: the bare path of a missing program is no uninstaller.
            log->Log(LP_WARNING, kModule, context, u"Failed to evaluate UninstallString.");
            log->Log(LOG_END, kModule, context, u"");
            return;
        }
        // Quoted, so that a folder with blanks stays one program path.
        command = u"\"" + setup + u"\" /InstallMode=Uninstall /_DoNotShowChange=true";
        log->Log(MP_INFO, kModule, context, u"Temporary stored setup found. Generated UninstallString: %s",
                 command.c_str());
    }
    log->Log(MP_INFO, kModule, context, u"Scheduling uninstall action of installed product: %s (%s)",
             output.displayName.c_str(), output.productCode.c_str());
    SetProperty(u"_OldAVName", output.displayName, 1);
    SetProperty(u"_OldAVCMD", command, 1);
    SetProperty(u"_IncompatibleProductFound", u"true", 1);
    log->Log(LOG_END, kModule, context, u"");
}

void JxData::SetCopyModeToChecksumComparation(const JxUpdateModeOutput& output) {
    const WCHAR* context = u"JxSetup::Data::JxData::SetCopyModeToChecksumComparation";
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    for (JxFile& file : m_Files) {
        const bool byDate = jxtext::EqualsNoCase(file.copymode, u"bydate");
        const bool byVersion =
            output.downgradeAuthorized && jxtext::EqualsNoCase(file.copymode, u"byversion");
        if (!byDate && !byVersion)
            continue;
        GetLog()->Log(MP_INFO, kModule, context, u"Setting copy mode of file %s from %s to %s",
                      file.name.c_str(), file.copymode.c_str(), u"bycrc");
        file.copymode = u"bycrc";
    }
    GetLog()->Log(LOG_END, kModule, context, u"");
}

void JxData::ScheduleFeatureUpdateActions(const JxUpdateModeOutput& output) {
    const WCHAR* context = u"JxSetup::Data::JxData::ScheduleFeatureUpdateActions";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    std::u16string list = ExpandProperties(u"[UPDATE_INSTALLED_FEATURES]");
    if (m_UpdateMode == UPDATEMODE_UPGRADE) {
        for (const JxFeature& feature : m_Features) {
            if (feature.productgeneratoin.empty())
                continue;
            log->Log(MP_INFO, kModule, context, u"Feature %s is set to generation %s", feature.name.c_str(),
                     feature.productgeneratoin.c_str());
            const std::optional<long long> parsed = jxtext::TryParseInt(feature.productgeneratoin);
            long long generation = 0;
            if (!parsed || *parsed < INT32_MIN || *parsed > INT32_MAX)
                log->Log(LP_WARNING, kModule, context, u"Bad product generation (%s) set in feature %s",
                         feature.productgeneratoin.c_str(), feature.name.c_str());
            else
                generation = *parsed;
            if (generation >= 1 && generation <= 99) {
                generation *= 100;
                log->Log(MP_INFO, kModule, context, u"Set feature generation to %d",
                         static_cast<int>(generation));
            }
            log->Log(MP_INFO, kModule, context,
                     u"Comparing feature generation %d against installed product generation %d",
                     static_cast<int>(generation), output.installedMajorMinor);
            if (output.installedMajorMinor < generation) {
                log->Log(MP_INFO, kModule, context,
                         u"Feature generation is higher than installed product generation and should be "
                         u"installed.");
                const std::u16string token = u"$" + feature.name + u"$";
                if (jxtext::FindNoCase(list, token) == std::u16string::npos)
                    AddTokenToList(token, list);
            }
        }
    }
    if (m_UpdateMode == UPDATEMODE_UPDATE || m_UpdateMode == UPDATEMODE_UPGRADE) {
        SetProperty(u"FeatureStateInstalled", u"", 1);
        SetProperty(u"FeatureActionInstall", list, 1);
        SetProperty(u"FeatureStateAbsent", u"", 1);
        SetProperty(u"FeatureActionRemove", u"", 1);
        std::u16string absent, installed, remove;
        for (const JxFeature& feature : m_Features) {
            const std::u16string token = u"$" + feature.name + u"$";
            if (jxtext::EqualsNoCase(GetFeatureAction(feature.name), u"FeatureActionInstall")) {
                AddTokenToList(token, absent);
            } else {
                AddTokenToList(token, remove);
                AddTokenToList(token, installed);
            }
        }
        SetProperty(u"FeatureStateAbsent", absent, 1);
        SetProperty(u"FeatureStateInstalled", installed, 1);
        SetProperty(u"FeatureActionRemove", remove, 1);
    }
    log->Log(LOG_END, kModule, context, u"");
}

std::u16string JxData::GetCurrentProductType() {
    CJxDataLock lock(*this);
    for (const JxProductCode& row : m_Requirements.m_ProductCodes) {
        if (row.guid != m_ProductInfo.productid)
            continue;
        SetProperty(u"PRODUCTTYPE", row.producttype, 1);
        return row.producttype;
    }
    return {};
}

int32_t JxData::GetProductLevel(const std::u16string& productType) {
    const WCHAR* context = u"JxSetup::Data::JxData::GetProductLevel";
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", productType.c_str());
    int32_t level = -1;
    for (const JxProductType& type : m_Requirements.m_ProductTypes) {
        if (type.name == productType) {
            level = type.level;
            break;
        }
    }
    GetLog()->Log(LOG_END, kModule, context, u"%d", level);
    return level;
}

} // namespace JxSetup::Data
