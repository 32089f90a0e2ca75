// Activation of activatable features: stored per machine in the product's "ActivatedFeatures" key
// (HKEY_CLASSES_ROOT, the process's default view), one REG_DWORD per feature, 1 active, 0 not.
#include "jxsetupdata/JxData.h"

#include <cstring>

#include "JxData_FeaturesLists.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// The key of the product's activations; false (with an ERROR line) without a product id, since
// "JxSetup\ActivatedFeatures" would be shared by every product.
bool _activation_Key(JxData& data, const WCHAR* context, std::u16string& key) {
    if (data.m_ProductInfo.productid.empty()) {
        data.GetLog()->Log(LP_ERROR, kModule, context,
                           u"The product id is empty: the activated features have no key.");
        return false;
    }
    key = u"JxSetup\\" + data.m_ProductInfo.productid + u"\\ActivatedFeatures";
    return true;
}

const WCHAR* _activation_Text(bool flag) {
    return flag ? u"true" : u"false";
}

// The line both checks of a requested activation write.
void _activation_LogRequest(JxData& data, const WCHAR* context, const std::u16string& name, bool stored,
                            bool requested) {
    data.GetLog()->Log(LP_INFO, kModule, context, u"Feature: %s - Activated: %s - Activate: %s", name.c_str(),
                       _activation_Text(stored), _activation_Text(requested));
}

} // namespace

bool JxData::IsFeatureActivated(const std::u16string& name) {
    if (m_AllFeaturesActivated)
        return true;
    std::u16string key;
    if (!_activation_Key(*this, u"JxSetup::Data::JxData::IsFeatureActivated", key))
        return false;
    // Tokens are accepted too: every "$" goes.
    std::u16string valueName;
    for (char16_t c : name)
        if (c != u'$')
            valueName += c;
    // Any value other than 0 counts as active (GetActivatedFeatures counts only 1).
    return CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, key.c_str(), valueName.c_str(), 0, 0) != 0;
}

void JxData::GetActivatedFeatures(std::vector<JxActivatedFeature>& out) {
    out.clear();
    std::u16string keyPath;
    if (!_activation_Key(*this, u"JxSetup::Data::JxData::GetActivatedFeatures", keyPath))
        return;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    std::vector<WCHAR> name(16384); // the longest value name Windows allows, and its terminator
    std::vector<BYTE> data(16);
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS status =
            RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA && size > data.size()) {
            data.resize(size); // the same value again with room for its data
            continue;
        }
        if (status != ERROR_SUCCESS)
            break;
        ++index;
        if (nameLength == 0)
            continue; // the unnamed default value
        DWORD number = 0;
        if (size >= sizeof(DWORD))
            memcpy(&number, data.data(), sizeof(DWORD));
        const bool active = type == REG_DWORD && size >= sizeof(DWORD) && number == 1;
        out.emplace_back(active, u"$" + std::u16string(name.data(), nameLength) + u"$");
    }
    RegCloseKey(key);
}

void JxData::SetFeatureActivationState(const std::u16string& name, bool active) {
    const WCHAR* context = u"JxSetup::Data::JxData::SetFeatureActivationState";
    std::u16string key;
    if (!_activation_Key(*this, context, key))
        return;
    const LONG status =
        CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, key.c_str(), name.c_str(), active ? 1 : 0, 0);
    if (status != ERROR_SUCCESS)
        GetLog()->Log(LP_ERROR, kModule, context, u"Failed to store the activation of feature %s: %d",
                      name.c_str(), static_cast<int>(status));
}

void JxData::GetActivatableFeatures(std::vector<std::u16string>& out) {
    out.clear();
    for (const JxFeature& feature : m_Features)
        if (feature.m_Activatable)
            out.push_back(feature.name);
}

void JxData::SetActivatedFeatures() {
    std::vector<std::u16string> names;
    GetActivatableFeatures(names);
    const std::u16string request = GetPropertyValue(u"_EnableFeatures");
    m_AllFeaturesActivated = false;
    for (const std::u16string& name : names)
        SetFeatureActivationState(name, _features_Contains(request, _features_Token(name)));
}

void JxData::SetDeactivatedFeatures() {
    std::vector<std::u16string> names;
    GetActivatableFeatures(names);
    const std::u16string request = GetPropertyValue(u"_EnableFeatures");
    std::u16string disabled;
    for (const std::u16string& name : names) {
        const std::u16string token = _features_Token(name);
        if (_features_Contains(request, token))
            continue;
        if (!disabled.empty())
            disabled += u",";
        disabled += token;
    }
    SetProperty(u"_DisableFeatures", disabled, 1);
}

bool JxData::FeatureHasValidActivationAction(const std::u16string& name) {
    const WCHAR* context = u"JxSetup::Data::JxData::FeatureHasValidActivationAction";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    const bool requested = _features_Contains(GetPropertyValue(u"_EnableFeatures"), _features_Token(name));
    const bool stored = IsFeatureActivated(name);
    _activation_LogRequest(*this, context, name, stored, requested);
    const bool changes = requested != stored;
    GetLog()->Log(LOG_END, kModule, context, u"%s", _activation_Text(changes));
    return changes;
}

bool JxData::HasValidFeatureActivationAction(const std::u16string& requested) {
    const WCHAR* context = u"JxSetup::Data::JxData::HasValidFeatureActivationAction";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    std::vector<std::u16string> names;
    GetActivatableFeatures(names);
    bool changes = false;
    for (const std::u16string& name : names) {
        // The request is the text given, not the property.
        const bool request = _features_Contains(requested, _features_Token(name));
        const bool stored = IsFeatureActivated(name);
        _activation_LogRequest(*this, context, name, stored, request);
        if (request != stored) {
            changes = true;
            break;
        }
    }
    GetLog()->Log(LOG_END, kModule, context, u"%s", _activation_Text(changes));
    return changes;
}

} // namespace JxSetup::Data
