// The shutdown of the product's services before files are replaced and their activation after the
// installation. Neither is there yet: with service rows in the definition each one fails loudly;
// without any there is nothing to do.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

bool HasServiceRows(const JxData& data) {
    return !data.m_InstallServices.empty() || !data.m_UninstallServices.empty();
}

// JX_NOT_BUILT: the ordered shutdown and the activation of services come with the installation
// actions for services.
bool ServiceActionNotBuilt(JxData& data, const WCHAR* operation) {
    const std::u16string context = std::u16string(u"JxSetup::Data::JxData::") + operation;
    data.GetLog()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    if (!HasServiceRows(data)) {
        data.GetLog()->Log(LOG_END, kModule, context.c_str(), u"%s", u"true");
        return true;
    }
    data.GetLog()->Log(LP_ERROR, kModule, context.c_str(), u"%s is not built yet", operation);
    data.GetLog()->Log(LOG_END, kModule, context.c_str(), u"%s", u"false");
    return false;
}

} // namespace

bool JxData::ShutdownActions() {
    CJxDataLock lock(*this);
    return ServiceActionNotBuilt(*this, u"ShutdownActions");
}

bool JxData::CheckAndActivateServices() {
    CJxDataLock lock(*this);
    return ServiceActionNotBuilt(*this, u"CheckAndActivateServices");
}

} // namespace JxSetup::Data
