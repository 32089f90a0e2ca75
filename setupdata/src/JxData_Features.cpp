// Feature states and actions: held in list properties of "$name$" tokens, read on every call.
#include "jxsetupdata/JxData.h"

#include "JxData_FeaturesLists.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// The keywords; the getters hand out references to these.
const std::u16string kFeatureStateInstalled = u"FeatureStateInstalled";
const std::u16string kFeatureStateAbsent = u"FeatureStateAbsent";
const std::u16string kFeatureActionInstall = u"FeatureActionInstall";
const std::u16string kFeatureActionRemove = u"FeatureActionRemove";
const std::u16string kFeatureActionNothing = u"FeatureActionNothing";

} // namespace

void JxData::GetFeature(JxFeature& out, const std::u16string& name) {
    CJxDataLock lock(*this);
    for (const JxFeature& feature : m_Features) {
        if (feature.name == name) {
            out = feature;
            return;
        }
    }
    out = JxFeature();
}

const std::u16string& JxData::GetFeatureState(const std::u16string& name) {
    CJxDataLock lock(*this);
    const std::u16string token = _features_Token(name);
    // A feature listed in both lists is absent.
    if (_features_HoldsToken(GetPropertyValue(kFeatureStateAbsent), token))
        return kFeatureStateAbsent;
    if (_features_HoldsToken(GetPropertyValue(kFeatureStateInstalled), token))
        return kFeatureStateInstalled;
    return kFeatureStateAbsent;
}

const std::u16string& JxData::GetFeatureAction(const std::u16string& name) {
    CJxDataLock lock(*this);
    const std::u16string token = _features_Token(name);
    if (_features_HoldsTokenNoCase(GetPropertyValue(u"FeatureActionProhibited"), token))
        return kFeatureActionNothing;
    if (_features_HoldsToken(GetPropertyValue(kFeatureActionInstall), token))
        return kFeatureActionInstall;
    if (_features_HoldsToken(GetPropertyValue(kFeatureActionRemove), token))
        return kFeatureActionRemove;
    return kFeatureActionNothing;
}

void JxData::GetFeatureEnableKeyword(std::u16string& out, const std::u16string& name) {
    CJxDataLock lock(*this);
    const std::u16string token = _features_Token(name);
    out.clear();
    if (_features_Contains(GetPropertyValue(u"_DisableFeatures"), token))
        out = u"disablefeature";
    else if (_features_Contains(GetPropertyValue(u"_EnableFeatures"), token))
        out = u"enablefeature";
}

bool JxData::SwitchFeatureState(const std::u16string& name) {
    CJxDataLock lock(*this);
    const std::u16string token = _features_Token(name);
    std::u16string installed = GetPropertyValue(kFeatureStateInstalled);
    std::u16string absent = GetPropertyValue(kFeatureStateAbsent);
    if (GetFeatureState(name) != kFeatureStateAbsent) {
        RemoveTokenFromList(token, installed);
        AddTokenToList(token, absent);
    } else {
        RemoveTokenFromList(token, absent);
        AddTokenToList(token, installed);
    }
    SetProperty(kFeatureStateInstalled, installed, 1);
    SetProperty(kFeatureStateAbsent, absent, 1);
    return true;
}

bool JxData::SetFeatureAction(const std::u16string& name, const std::u16string& action) {
    CJxDataLock lock(*this);
    if (GetFeatureAction(name) == action)
        return false;
    const std::u16string token = _features_Token(name);
    std::u16string install = GetPropertyValue(kFeatureActionInstall);
    std::u16string remove = GetPropertyValue(kFeatureActionRemove);
    if (action == kFeatureActionInstall) {
        RemoveTokenFromList(token, remove);
        AddTokenToList(token, install);
    } else if (action == kFeatureActionRemove) {
        RemoveTokenFromList(token, install);
        AddTokenToList(token, remove);
    } else if (action == kFeatureActionNothing) {
        RemoveTokenFromList(token, install);
        RemoveTokenFromList(token, remove);
    } else {
        return false;
    }
    SetProperty(kFeatureActionInstall, install, 1);
    SetProperty(kFeatureActionRemove, remove, 1);
    return true;
}

bool JxData::IsFeatureIncluded(const std::u16string& name) {
    const WCHAR* context = u"JxSetup::Data::JxData::IsFeatureIncluded";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"%s", name.c_str());
    bool found = false;
    for (const JxFeature& feature : m_Features)
        found = found || jxtext::EqualsNoCase(feature.name, name);
    log->Log(LOG_END, kModule, context, u"%s", found ? u"true" : u"false");
    return found;
}

bool JxData::IsFeatureListValid(const std::u16string& list) {
    const WCHAR* context = u"JxSetup::Data::JxData::IsFeatureListValid";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"%s", list.c_str());
    bool valid = false;
    if (!list.empty())
        for (const JxFeature& feature : m_Features)
            valid = valid || _features_Contains(list, _features_Token(feature.name));
    log->Log(LOG_END, kModule, context, u"%s", valid ? u"true" : u"false");
    return valid;
}

void JxData::SetDefaultEnabledFeatures() {
    const WCHAR* context = u"JxSetup::Data::JxData::SetDefaultEnabledFeatures";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    const std::u16string enable = GetPropertyValue(u"_EnableFeatures");
    const std::u16string disable = GetPropertyValue(u"_DisableFeatures");
    const std::u16string defaults = GetPropertyValue(u"_EnableFeaturesDefault");
    const JxSequenceData& state = m_SequenceData;
    const bool installOrUpdate = state.m_bInstallModeInstall ||
                                 (state.m_bInstallModeMaintenance && (state.m_bUpdate || state.m_bUpgrade));
    // Only a run that asks for nothing itself takes the default.
    if (!defaults.empty() && installOrUpdate && IsFeatureListValid(defaults) && enable.empty() &&
        disable.empty())
        SetProperty(u"_EnableFeatures", defaults, 1);
    log->Log(LOG_END, kModule, context, u"");
}

void JxData::AddTokenToList(const std::u16string& token, std::u16string& list) {
    if (_features_HoldsToken(list, token))
        return;
    if (!list.empty())
        list += u",";
    list += token;
}

void JxData::RemoveTokenFromList(const std::u16string& token, std::u16string& list) {
    std::u16string kept;
    bool first = true;
    for (const std::u16string& piece : jxtext::Split(list, u',')) {
        if (piece == token)
            continue;
        if (!first)
            kept += u",";
        kept += piece;
        first = false;
    }
    list = kept;
}

} // namespace JxSetup::Data
