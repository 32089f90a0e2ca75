#include "jxsetupdata/JxSequenceData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

bool ListHolds(const std::u16string& list, const std::u16string& featureName) {
    if (list.empty())
        return false;
    return jxtext::FindNoCase(list, u"$" + featureName + u"$") != std::u16string::npos;
}

} // namespace

JxSequenceAction::JxSequenceAction(const std::u16string& name, const std::u16string& displayText,
                                   uint32_t flags)
    : m_Name(name), m_DisplayText(displayText) {
    m_bExecuteOnInstall = (flags & JX_SEQ_INSTALL) != 0;
    m_bExecuteOnMaintenance = (flags & JX_SEQ_MAINTENANCE) != 0;
    m_bExecuteOnUninstall = (flags & JX_SEQ_UNINSTALL) != 0;
    m_bExecuteOnUpdate = (flags & JX_SEQ_UPDATE) != 0;
    m_bExecuteOnUpgrade = (flags & JX_SEQ_UPGRADE) != 0;
    m_bEnableFeature = (flags & JX_SEQ_ENABLE_FEATURE) != 0;
    m_bDisableFeature = (flags & JX_SEQ_DISABLE_FEATURE) != 0;
    m_bCountsOwnSteps = (flags & JX_SEQ_COUNTS_OWN_STEPS) != 0;
    m_bSkippableOnResume = (flags & JX_SEQ_SKIPPABLE_ON_RESUME) != 0;
}

uint32_t JxSequenceAction::GetFlags() const {
    uint32_t flags = 0;
    flags |= m_bExecuteOnInstall ? JX_SEQ_INSTALL : 0;
    flags |= m_bExecuteOnMaintenance ? JX_SEQ_MAINTENANCE : 0;
    flags |= m_bExecuteOnUninstall ? JX_SEQ_UNINSTALL : 0;
    flags |= m_bExecuteOnUpdate ? JX_SEQ_UPDATE : 0;
    flags |= m_bExecuteOnUpgrade ? JX_SEQ_UPGRADE : 0;
    flags |= m_bEnableFeature ? JX_SEQ_ENABLE_FEATURE : 0;
    flags |= m_bDisableFeature ? JX_SEQ_DISABLE_FEATURE : 0;
    flags |= m_bCountsOwnSteps ? JX_SEQ_COUNTS_OWN_STEPS : 0;
    flags |= m_bSkippableOnResume ? JX_SEQ_SKIPPABLE_ON_RESUME : 0;
    return flags;
}

bool JxSequenceData::IsInEnableList(const std::u16string& featureName) const {
    return ListHolds(m_EnableList, featureName);
}

bool JxSequenceData::IsInDisableList(const std::u16string& featureName) const {
    return ListHolds(m_DisableList, featureName);
}

void JxSequenceData::FailAction(const std::u16string& actionName, const std::u16string& description) {
    if (!m_bFailure) {
        m_Error = JxErrorInfo();
        m_Error.m_ActionName = actionName;
        m_Error.m_Description = description;
    }
    m_bFailure = true;
}

} // namespace JxSetup::Data
