// Which components had files copied in this run, and which hold prerequisites.
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {
constexpr const char16_t* kModule = u"lib";
} // namespace

void JxData::SetComponentFileCopied(const std::u16string& featureName, const std::u16string& componentId) {
    CJxDataLock lock(*this);
    m_CopiedComponents.insert(featureName + componentId);
}

bool JxData::ComponentFileWasCopied(const std::u16string& componentId, const std::u16string& featureName) {
    constexpr const char16_t* context = u"JxSetup::Data::JxData::ComponentFileWasCopied";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"ComponentID: %s FeatureName: %s", componentId.c_str(),
             featureName.c_str());
    const bool copied = m_CopiedComponents.count(featureName + componentId) != 0;
    log->Log(LOG_END, kModule, context, copied ? u"true" : u"false");
    return copied;
}

bool JxData::ComponentContainsPrerequisites(const std::u16string& featureName,
                                            const std::u16string& componentId) {
    CJxDataLock lock(*this);
    for (const JxFile& file : m_Files) {
        if (jxtext::EqualsNoCase(file.featurename, featureName) &&
            jxtext::EqualsNoCase(file.componentid, componentId) &&
            jxtext::EqualsNoCase(file.isprerequisite, u"true")) {
            GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::ComponentContainsPrerequisites",
                          u"Component %s contains prerequisites.", componentId.c_str());
            return true;
        }
    }
    return false;
}

} // namespace JxSetup::Data
