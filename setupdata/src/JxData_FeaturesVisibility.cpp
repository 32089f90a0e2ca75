// Which components are defined by features that may be touched, and which features are shown.
#include "JxData_FeaturesLists.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

} // namespace

bool JxData::IsComponentDefined(const std::u16string& componentId) {
    CJxDataLock lock(*this);
    const std::u16string prohibited = GetPropertyValue(u"FeatureActionProhibited");
    for (const JxFeature& feature : m_Features) {
        if (_features_Contains(prohibited, _features_Token(feature.name))) {
            GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::IsComponentDefined",
                          u"Feature %s is prohibitted.", feature.name.c_str());
            continue;
        }
        for (const JxComponent& component : feature.components)
            if (jxtext::EqualsNoCase(component.id, componentId))
                return true;
    }
    return false;
}

void JxData::UpdateFeatureVisibility() {
    CJxDataLock lock(*this);
    const std::u16string prohibited = GetPropertyValue(u"FeatureActionProhibited");
    for (JxFeature& feature : m_Features)
        if (_features_Contains(prohibited, _features_Token(feature.name)))
            feature.visible = u"false";
    // A mini setup shows what the definition says; only exactly "true" counts.
    if (GetPropertyValue(u"_MiniSetup") == u"true")
        return;
    for (JxFeature& feature : m_Features) {
        if (!jxtext::EqualsNoCase(feature.visible, u"true"))
            continue; // hidden above, or by the definition: stays as it is
        bool show = jxtext::EqualsNoCase(GetFeatureState(feature.name), u"FeatureStateInstalled");
        for (size_t i = 0; !show && i < feature.components.size(); ++i) {
            const JxComponent& component = feature.components[i];
            show = IsComponentIncluded(component.id) && jxtext::EqualsNoCase(component.featurecheck, u"true");
        }
        feature.visible = show ? u"true" : u"false";
    }
}

} // namespace JxSetup::Data
