// The driver clients come with the driver property-bag client. Until then a connection fails as it
// does on a machine where the product's drivers are not installed, and the run goes on.
#include "jxbase/elevation.h"
#include "jxengine/JxDriverClients.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {

bool IsCurrentUserAdmin() {
    return IsUserAdmin(false);
}

bool CProcessManager::Connect(int, int) {
    // JX_NOT_BUILT: the driver property-bag client.
    Instance()->Log(LP_ERROR, u"lib", u"JxSetup::Data::CProcessManager::Connect", u"%s is not built yet",
                    u"CProcessManager::Connect");
    return false;
}

bool CLegacyProcessManager::Connect(int, int) {
    // JX_NOT_BUILT: the driver property-bag client.
    Instance()->Log(LP_ERROR, u"lib", u"JxSetup::Data::CLegacyProcessManager::Connect",
                    u"%s is not built yet", u"CLegacyProcessManager::Connect");
    return false;
}

} // namespace JxSetup::Data
