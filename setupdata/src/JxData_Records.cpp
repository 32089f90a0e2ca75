// Helpers of the definition records.
#include "jxsetupdata/JxRecords.h"

#include "jxplat/text.h"

namespace JxSetup::Data {

HKEY GetRegistryRootFromName(const std::u16string& root) {
    if (jxtext::EqualsNoCase(root, u"HKCU"))
        return HKEY_CURRENT_USER;
    if (jxtext::EqualsNoCase(root, u"HKCR"))
        return HKEY_CLASSES_ROOT;
    if (jxtext::EqualsNoCase(root, u"HKUS"))
        return HKEY_USERS;
    return HKEY_LOCAL_MACHINE;
}

} // namespace JxSetup::Data
