// Removing the RunOnce entry that would start this setup again after the restart of Windows: a
// forced registry action on the engine's own row, so the removal is logged as every other one.
#include "JxData_Registry.h"

namespace JxSetup::Data {

bool JxData::RemoveRestartAfterReboot() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::RemoveRestartAfterReboot";
    JxLog* log = GetLog();
    const std::u16string productId = GetProductId();
    if (productId.empty()) {
        // A row without a value name would remove the whole RunOnce key.
        log->Log(LP_ERROR, kRegModule, context, u"The product has no id: no restart entry is removed.");
    } else {
        // The engine is a 32-bit program: its entry lies in the redirected view. The "_TAG" value
        // stays: Windows removes it with the key's other entries.
        JxRegValue row;
        row.root = u"HKLM";
        row.key = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
        row.valuename = productId;
        DeleteRegistyObject(row, true);
    }
    log->Log(LOG_END, kRegModule, context, u"%s", u"true");
    return true;
}

} // namespace JxSetup::Data
