// The start types of the product's services as they were before the setup changed them.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

DWORD JxData::GetStoredServiceStartType(const std::u16string& serviceName) {
    // JX_NOT_BUILT: the Service Control Manager query and the "JxSetup\ServiceStates" store come
    // with the service actions. Every register-service row of the definition asks for it.
    GetLog()->Log(LP_ERROR, u"lib", u"JxSetup::Data::JxData::GetStoredServiceStartType",
                  u"GetStoredServiceStartType is not built yet");
    return 0;
}

} // namespace JxSetup::Data
