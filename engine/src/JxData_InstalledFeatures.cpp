// Which features of the definition are installed on this machine: those whose components' check
// files and registry values are all present, forced ones, and dependants of installed ones.
#include <algorithm>

#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

void _inst_Add(std::vector<std::u16string>& out, const std::u16string& name) {
    if (std::find(out.begin(), out.end(), name) == out.end())
        out.push_back(name);
}

} // namespace

void JxData::_getListOfInstalledFeatures(std::vector<std::u16string>& out) {
    const WCHAR* context = u"JxSetup::Data::JxData::_getListOfInstalledFeatures";
    CJxDataLock lock(*this);
    out.clear();
    for (const JxFeature& feature : m_Features) {
        if (jxtext::EqualsNoCase(feature.mode, u"force")) {
            _inst_Add(out, feature.name);
            continue;
        }
        if (!feature.dependson.empty())
            continue; // decided in the second pass
        const bool installed = std::all_of(feature.components.begin(), feature.components.end(),
                                           [this](const JxComponent& c) { return _isComponentInstalled(c); });
        if (installed)
            _inst_Add(out, feature.name);
    }
    for (const JxFeature& feature : m_Features) {
        if (feature.dependson.empty() || jxtext::EqualsNoCase(feature.mode, u"force"))
            continue;
        if (std::find(out.begin(), out.end(), feature.dependson) != out.end())
            _inst_Add(out, feature.name);
    }
    if (out.empty()) {
        GetLog()->Log(LP_INFO, kModule, context, u"No feature added to request list.");
        return;
    }
    std::u16string list;
    for (const std::u16string& name : out) {
        GetLog()->Log(LP_INFO, kModule, context, u"Installed Feature: %s", name.c_str());
        AddTokenToList(u"$" + name + u"$", list);
    }
    SetProperty(u"UPDATE_INSTALLED_FEATURES", list, 1);
}

bool JxData::_isComponentInstalled(const JxComponent& component) {
    const WCHAR* context = u"JxSetup::Data::JxData::_isComponentInstalled";
    if (!jxtext::EqualsNoCase(component.featurecheck, u"true"))
        return true;
    JxLog* log = GetLog();
    const std::u16string folder = ExpandProperties(component.destinationdir);
    for (const JxFile& file : m_Files) {
        if (file.componentid != component.id || !jxtext::EqualsNoCase(file.featurecheck, u"true"))
            continue;
        const std::u16string path = JxFile::CombinePath(folder, ExpandProperties(file.name));
        if (!JxFile::FileExists(path)) {
            log->Log(LP_INFO, kModule, context, u"File %s not found. Component is not installed.",
                     path.c_str());
            return false;
        }
        log->Log(LP_INFO, kModule, context, u"File %s found. Component is installed.", path.c_str());
    }
    for (const JxRegValue& value : m_RegValuesFeatureCheck) {
        if (value.componentid != component.id)
            continue;
        // An existence test reads: a user without administrator rights may not open the key for more.
        REGSAM access = KEY_READ;
        if (value.plattform.find(u"x64") != std::u16string::npos) {
            log->Log(LP_INFO, kModule, context, u"Using 64 bit...");
            access |= KEY_WOW64_64KEY;
        }
        const std::u16string key = ExpandProperties(value.key);
        const std::u16string valueName = ExpandProperties(value.valuename);
        HKEY opened = nullptr;
        bool found = RegOpenKeyExW(GetRegistryRootFromName(value.root), key.c_str(), 0, access, &opened) ==
                     ERROR_SUCCESS;
        if (found) {
            found = RegQueryValueExW(opened, valueName.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS;
            RegCloseKey(opened);
        }
        if (!found)
            return false;
        log->Log(LP_INFO, kModule, context, u"Registry value %s\\%s=>%s found. Component is installed.",
                 value.root.c_str(), key.c_str(), valueName.c_str());
    }
    return true;
}

} // namespace JxSetup::Data
