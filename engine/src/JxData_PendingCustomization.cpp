// Customized setups and their effect on the update settings. The customization is not there yet:
// a customized setup, or an installed product with a stored customization, fails the run; a
// standard setup over a standard product has nothing to change.
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

bool IsCustomizedSetup(JxData& data) {
    return jxtext::EqualsNoCase(data.ExpandProperties(u"[_USECUSTOMIZATION]"), u"true");
}

bool HasStoredCustomization(JxData& data, const std::u16string& productCode) {
    if (productCode.empty())
        return false;
    const std::u16string file =
        JxFile::CombinePath(data.ExpandProperties(u"[CommonAppDataFolder]"),
                            u"Tolvane\\Setups\\" + productCode + u"\\$CUSTOMIZE\\customize.xml");
    return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// JX_NOT_BUILT: the update settings of customized setups come with the customization.
void CustomizationNotBuilt(JxData& data, const WCHAR* operation) {
    const std::u16string context = std::u16string(u"JxSetup::Data::JxData::") + operation;
    data.FailNotBuilt(context.c_str(), operation);
}

// A customization package beside the program or in the mounted packages.
bool HasCustomizationPackage(JxData& data) {
    if (GetFileAttributesW(
            JxFile::CombinePath(data.CopyModuleDirectory(), u"$CUSTOMIZE\\customize.xml").c_str()) !=
        INVALID_FILE_ATTRIBUTES)
        return true;
    return data.m_Vfs != nullptr && data.m_FindPackagedFile != nullptr &&
           data.m_FindPackagedFile(*data.m_Vfs, u"\\$CUSTOMIZE\\customize.xml");
}

} // namespace

bool JxData::Load_Customized_Config() {
    CJxDataLock lock(*this);
    if (!HasCustomizationPackage(*this)) {
        GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::Load_Customized_Config",
                      u"No customizing configuration found.");
        return false;
    }
    CustomizationNotBuilt(*this, u"Load_Customized_Config");
    return false;
}

// Without a loaded customization there are no rows to apply.
bool JxData::Configure_Customized_Properties() {
    return true;
}

bool JxData::Configure_Customized_Strings() {
    return true;
}

void JxData::Configure_Customized_UpgradeProducts() {
    CJxDataLock lock(*this);
    bool customizedInstall = false;
    for (const JxProductCode& code : m_Requirements.m_ProductCodes)
        customizedInstall = customizedInstall || HasStoredCustomization(*this, code.guid);
    if (IsCustomizedSetup(*this) || customizedInstall)
        CustomizationNotBuilt(*this, u"Configure_Customized_UpgradeProducts");
}

void JxData::Configure_Customized_UpdateProduct() {
    CJxDataLock lock(*this);
    if (GetInstallMode() != u"Maintenance")
        return;
    std::u16string installed = ExpandProperties(u"[_InstalledProductCode]");
    if (installed.empty())
        installed = ExpandProperties(u"[_PRODUCTID]");
    if (IsCustomizedSetup(*this) != HasStoredCustomization(*this, installed))
        CustomizationNotBuilt(*this, u"Configure_Customized_UpdateProduct");
}

} // namespace JxSetup::Data

namespace JxSetup::Data {

// Reached only from the pages of a customized setup, which cannot load yet.
bool JxData::Install_Customized_Files() {
    return _pending_NotBuilt(u"Install_Customized_Files");
}

bool JxData::Delete_Customized_Temporary_Files() {
    return _pending_NotBuilt(u"Delete_Customized_Temporary_Files");
}

bool JxData::Install_Customized_Regkeys() {
    return _pending_NotBuilt(u"Install_Customized_Regkeys");
}

bool JxData::Execute_Customized_Apps() {
    return _pending_NotBuilt(u"Execute_Customized_Apps");
}

bool JxData::Install_Customized_ThirdPartyApps() {
    return _pending_NotBuilt(u"Install_Customized_ThirdPartyApps");
}

bool JxData::Store_Customied_Configuration() {
    return _pending_NotBuilt(u"Store_Customied_Configuration");
}

bool JxData::IsInstalledProductCustomized() {
    return _pending_NotBuilt(u"IsInstalledProductCustomized");
}

bool JxData::Store_Customized_Folder() {
    return _pending_NotBuilt(u"Store_Customized_Folder");
}

std::u16string JxData::GetCustomizationData() {
    _pending_NotBuilt(u"GetCustomizationData");
    return std::u16string();
}

} // namespace JxSetup::Data
