// Activation of activatable features: stored per machine in the product's "ActivatedFeatures" key.
#include "jxsetupdata/JxData.h"

#include "jxbase/reg.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

std::u16string ActivatedFeaturesKey(const JxData& data) {
    return u"JxSetup\\" + data.m_ProductInfo.productid + u"\\ActivatedFeatures";
}

} // namespace

bool JxData::IsFeatureActivated(const std::u16string& name) {
    if (m_AllFeaturesActivated)
        return true;
    // Tokens are accepted too: every "$" goes.
    std::u16string valueName;
    for (char16_t c : name)
        if (c != u'$')
            valueName += c;
    // Any value other than 0 counts as active.
    return CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, ActivatedFeaturesKey(*this).c_str(), valueName.c_str(),
                                    0, 0) != 0;
}

void JxData::GetActivatableFeatures(std::vector<std::u16string>& out) {
    out.clear();
    for (const JxFeature& feature : m_Features)
        if (feature.m_Activatable)
            out.push_back(feature.name);
}

void JxData::SetDeactivatedFeatures() {
    std::vector<std::u16string> names;
    GetActivatableFeatures(names);
    const std::u16string request = GetPropertyValue(u"_EnableFeatures");
    std::u16string disabled;
    for (const std::u16string& name : names) {
        const std::u16string token = u"$" + name + u"$";
        if (jxtext::FindNoCase(request, token) != std::u16string::npos)
            continue;
        if (!disabled.empty())
            disabled += u",";
        disabled += token;
    }
    SetProperty(u"_DisableFeatures", disabled, 1);
}

} // namespace JxSetup::Data
