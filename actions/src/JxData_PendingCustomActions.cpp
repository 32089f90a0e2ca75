// JX_NOT_BUILT: custom actions and add-ons come with the installation actions.
// Functions of custom-action and add-on modules. Not there yet: each call fails.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

void JxData::ExecuteCustomAction(const std::u16string& module, const std::u16string& function,
                                 const std::u16string& argument, const std::u16string& installMode,
                                 const std::u16string& componentId, const std::u16string& featureName,
                                 const JxSequenceAction& action) {
    FailNotBuilt(u"JxSetup::Data::JxData::ExecuteCustomAction", u"ExecuteCustomAction", action.m_Name);
}

bool JxData::ExecuteAddOn(const std::u16string& module, const std::u16string& function,
                          const std::u16string& argument) {
    return _pending_NotBuilt(u"ExecuteAddOn");
}

} // namespace JxSetup::Data
