// Features that depend on another feature (their dependson names it).
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {

std::unique_ptr<JxData::JxFeatureNameList> JxData::GetDependentFeatures(const std::u16string& name) {
    CJxDataLock lock(*this);
    auto dependents = std::make_unique<JxFeatureNameList>();
    // A whole-text comparison: dependson names one feature, it is no list.
    for (const JxFeature& feature : m_Features)
        if (jxtext::EqualsNoCase(feature.dependson, name))
            dependents->push_back(feature.name);
    return dependents;
}

void JxData::ReleaseFeatureList(std::unique_ptr<JxFeatureNameList> list) {
    list.reset();
}

} // namespace JxSetup::Data
