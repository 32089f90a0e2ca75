// Which package files an update needs: in a fresh installation every one; on an installed product
// those of the components whose files on disk differ from the target state or are missing.
#include <algorithm>

#include "jxengine/JxUpdateMode.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kNeededForUpdate = u"JxSetup::Data::JxData::_isFileNeededForUpdate";

bool _needed_IsTrue(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

bool _needed_Contains(const std::vector<std::u16string>& names, const std::u16string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

bool JxData::CollectNeededSetupFiles(const std::vector<JxFile>& targetState,
                                     const std::vector<JxFile>& packageFiles, std::vector<JxFile>& needed) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::CollectNeededSetupFiles";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    JxUpdateModeInput input;
    CollectUpdateModeInputData(input);
    JxUpdateMode rules(input, this);
    SaveUpdateModeOutputData(rules.GetUpdateMode());
    if (jxtext::EqualsNoCase(GetInstallMode(), u"Install")) {
        log->Log(LP_INFO, kModule, context, u"InstallMode: Install");
        for (const JxFile& package : packageFiles) {
            log->Log(LP_INFO, kModule, context, u"Requesting download of package %s.", package.name.c_str());
            needed.push_back(package);
        }
    } else {
        log->Log(LP_INFO, kModule, context, u"InstallMode: Maintenance");
        std::vector<std::u16string> installed;
        _getListOfInstalledFeatures(installed);
        for (const JxFile& file : m_Files) {
            JxFeature feature;
            GetFeature(feature, file.featurename);
            const JxComponent component = GetComponentOfFeature(file.componentid, feature);
            if (_containsPackageFile(needed, component.id))
                continue;
            if (_isFileNeededForUpdate(file, component, feature, targetState, installed))
                _addComponentToNeededFiles(packageFiles, component.id, needed);
        }
    }
    log->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxData::_containsPackageFile(const std::vector<JxFile>& files, const std::u16string& componentId) {
    CJxDataLock lock(*this);
    const std::u16string package = componentId + u".wpk";
    return std::any_of(files.begin(), files.end(),
                       [&](const JxFile& file) { return jxtext::EqualsNoCase(file.name, package); });
}

void JxData::_addComponentToNeededFiles(const std::vector<JxFile>& packageFiles,
                                        const std::u16string& componentId, std::vector<JxFile>& needed) {
    CJxDataLock lock(*this);
    const std::u16string package = componentId + u".wpk";
    for (const JxFile& file : packageFiles) {
        if (!jxtext::EqualsNoCase(file.name, package))
            continue;
        GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::_addComponentToNeededFiles",
                      u"Request download of package %s.", file.name.c_str());
        needed.push_back(file);
        return;
    }
}

void JxData::_addRetailUpdateFiles(const std::vector<JxFile>& packageFiles, std::vector<JxFile>& needed) {
    CJxDataLock lock(*this);
    const std::u16string productPackage = GetPropertyValue(u"PRODUCTTYPE") + u".wpk";
    for (const JxFile& file : packageFiles) {
        if (!jxtext::EqualsNoCase(file.name, u"setup.exe") &&
            !jxtext::EqualsNoCase(file.name, u"$SETUP.wpk") &&
            !jxtext::EqualsNoCase(file.name, productPackage))
            continue;
        GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::_addRetailUpdateFiles",
                      u"Request download of package %s.", file.name.c_str());
        needed.push_back(file);
    }
}

bool JxData::_isFileNeededForUpdate(const JxFile& file, const JxComponent& component,
                                    const JxFeature& feature, const std::vector<JxFile>& targetState,
                                    std::vector<std::u16string> installed) {
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, kNeededForUpdate, u"File %s - component %s", file.name.c_str(),
                  component.id.c_str());
    bool needed = _isFileNeeded_CheckGeneralSettings(file, component) &&
                  _isFileNeeded_CheckProductRequirements(component, feature, file, installed);
    if (needed)
        needed = file.name.find(u'*') != std::u16string::npos
                     ? _isFileNeeded_FilenameContainsWildcard(component, file, targetState)
                     : _isFileNeeded_FilenameIsAbsolute(component, file, targetState);
    GetLog()->Log(LOG_END, kModule, kNeededForUpdate, u"%s", needed ? u"true" : u"false");
    return needed;
}

bool JxData::_isFileNeeded_CheckGeneralSettings(const JxFile& file, const JxComponent& component) {
    JxLog* log = GetLog();
    if (!file.IsCopyAction()) {
        log->Log(LP_INFO, kModule, kNeededForUpdate, u"Invalid copy mode.");
        return false;
    }
    log->Log(LP_INFO, kModule, kNeededForUpdate, u"File %s of component %s has a valid copy mode.",
             file.name.c_str(), component.id.c_str());
    if (_needed_IsTrue(component.excludefromupdate)) {
        log->Log(LP_INFO, kModule, kNeededForUpdate, u"Component %s is excluded from update.",
                 component.id.c_str());
        return false;
    }
    if (!component.upgradeonproductlevel.empty()) {
        const std::u16string installedType = GetPropertyValue(u"PRODUCTTYPE");
        log->Log(LP_INFO, kModule, kNeededForUpdate,
                 u"Component requires at least: %s - Installed ProductType: %s",
                 component.upgradeonproductlevel.c_str(), installedType.c_str());
        if (GetProductLevel(installedType) < GetProductLevel(component.upgradeonproductlevel)) {
            log->Log(LP_INFO, kModule, kNeededForUpdate,
                     u"Installed producttype doesn't match the requirements.");
            return false;
        }
    }
    return component.condition.empty() || GetConditionResult(component.condition);
}

bool JxData::_isFileNeeded_CheckProductRequirements(const JxComponent& component, const JxFeature& feature,
                                                    const JxFile& file,
                                                    std::vector<std::u16string> installed) {
    JxLog* log = GetLog();
    const std::u16string mode = GetPropertyValue(u"_UPUpdateMode");
    const bool examine =
        jxtext::EqualsNoCase(mode, u"UPDATE") ||
        (jxtext::EqualsNoCase(mode, u"UPGRADE") && _needed_IsTrue(component.updateiffeatureinstalled));
    const int32_t featureLevel = GetProductLevel(feature.producttype);
    const int32_t installedLevel = GetProductLevel(GetPropertyValue(u"PRODUCTTYPE"));
    log->Log(LP_INFO, kModule, kNeededForUpdate,
             u"ProductLevel of Feature %s: %d - ProductLevel of installed product: %d", feature.name.c_str(),
             featureLevel, installedLevel);
    if (installedLevel < featureLevel) {
        log->Log(LP_INFO, kModule, kNeededForUpdate,
                 u"Feature %s is not part of the current installed product.", feature.name.c_str());
        return false;
    }
    if (examine) {
        log->Log(LP_INFO, kModule, kNeededForUpdate, u"Checking installstate of feature %s",
                 feature.name.c_str());
        if (!_needed_Contains(installed, feature.name)) {
            log->Log(LP_INFO, kModule, kNeededForUpdate, u"Feature %s is not installed.",
                     feature.name.c_str());
            return false;
        }
        log->Log(LP_INFO, kModule, kNeededForUpdate, u"Feature %s is installed.", feature.name.c_str());
    }
    return true;
}

bool JxData::_isFileNeeded_FilenameContainsWildcard(const JxComponent& component, const JxFile& file,
                                                    const std::vector<JxFile>& targetState) {
    JxLog* log = GetLog();
    const bool resource = _needed_IsTrue(file.resource);
    const std::u16string language = GetCurrentLanguage();
    const auto isTargetOf = [&](const JxFile& entry, const std::u16string& name) {
        return entry.componentid == component.id && jxtext::EqualsNoCase(entry.name, name) &&
               (!resource || entry.language == language);
    };
    const std::u16string folder = ExpandProperties(component.destinationdir);
    std::vector<std::u16string> foundNames;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(JxFile::CombinePath(folder, ExpandProperties(file.name)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return true; // nothing of it on disk: the package is needed
    bool different = false;
    do {
        const std::u16string name = found.cFileName;
        if (name == u"." || name == u"..")
            continue;
        foundNames.push_back(name);
        log->Log(LP_INFO, kModule, kNeededForUpdate, u"File %s found on target system.", name.c_str());
        const auto entry = std::find_if(targetState.begin(), targetState.end(),
                                        [&](const JxFile& e) { return isTargetOf(e, name); });
        if (entry == targetState.end()) {
            log->Log(LP_INFO, kModule, kNeededForUpdate, u"File not found in list TargetState: %s",
                     name.c_str());
            continue;
        }
        if (resource)
            log->Log(LP_INFO, kModule, kNeededForUpdate,
                     u"Language depended file %s found in list TargetState. (Language: %s)", name.c_str(),
                     language.c_str());
        else
            log->Log(LP_INFO, kModule, kNeededForUpdate, u"File %s found in list TargetState.", name.c_str());
        JxFile target;
        CollectFileInformationFromPackageEntry(target, *entry);
        target.componentid = file.componentid;
        target.copymode = file.copymode;
        JxFile present;
        std::u16string path = JxFile::CombinePath(folder, name);
        CollectFileInformation(present, path, false);
        present.componentid = file.componentid;
        present.copymode = file.copymode;
        different = target.IsFileDifferentTo(present);
    } while (!different && FindNextFileW(search, &found));
    FindClose(search);
    if (different)
        return true;
    log->Log(LP_INFO, kModule, kNeededForUpdate,
             u"No differences found. Checking weather all files of list TargetState are installed on target "
             u"system.");
    for (const JxFile& entry : targetState) {
        if (entry.componentid != component.id || (resource && entry.language != language))
            continue;
        const bool present =
            std::any_of(foundNames.begin(), foundNames.end(),
                        [&](const std::u16string& name) { return jxtext::EqualsNoCase(name, entry.name); });
        if (!present) {
            log->Log(LP_INFO, kModule, kNeededForUpdate,
                     u"At least one file of list TargetState is not installed on target system.");
            return true;
        }
        if (resource)
            log->Log(LP_INFO, kModule, kNeededForUpdate,
                     u"Language depended file %s found on target system. (Language: %s)", entry.name.c_str(),
                     language.c_str());
        else
            log->Log(LP_INFO, kModule, kNeededForUpdate, u"File %s found on target system.",
                     entry.name.c_str());
    }
    return false;
}

bool JxData::_isFileNeeded_FilenameIsAbsolute(const JxComponent& component, const JxFile& file,
                                              const std::vector<JxFile>& targetState) {
    std::vector<JxFile> copies;
    const auto addCopy = [&](const std::u16string& path, const std::u16string& name) {
        JxFile copy;
        std::u16string location = path;
        CollectFileInformation(copy, location, false);
        copy.name = name;
        copy.copymode = file.copymode;
        copy.componentid = file.componentid;
        copies.push_back(std::move(copy));
    };
    if (_needed_IsTrue(file.resource) && _needed_IsTrue(file.installallcontainedlanguages)) {
        for (const std::u16string& language : jxtext::Split(m_ProductInfo.languages, u',')) {
            const std::u16string name = ExpandPropertiesForLanguage(file.name, language);
            addCopy(
                JxFile::CombinePath(ExpandPropertiesForLanguage(component.destinationdir, language), name),
                name);
        }
    } else {
        const std::u16string name = ExpandProperties(file.name);
        addCopy(JxFile::CombinePath(ExpandProperties(component.destinationdir), name), name);
    }
    bool needed = false;
    for (const JxFile& copy : copies) {
        for (const JxFile& entry : targetState) {
            if (entry.componentid != component.id || !jxtext::EqualsNoCase(entry.name, copy.name))
                continue;
            JxFile target;
            CollectFileInformationFromPackageEntry(target, entry);
            target.copymode = copy.copymode;
            target.componentid = copy.componentid;
            if (target.IsFileDifferentTo(copy)) {
                needed = true;
                break;
            }
        }
    }
    return needed;
}

} // namespace JxSetup::Data
