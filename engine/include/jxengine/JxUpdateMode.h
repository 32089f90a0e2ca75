// The update decision: finds the installed product of the family (uninstall entries, stored setups,
// services), compares it with the product rows of the requirements and chooses the update mode.
// One object per decision; every step writes a BEGIN and an END line so that the log shows why.
#pragma once

#include <string>

#include "jxbase/FileVer64.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxUpdateModeData.h"

namespace JxSetup::Data {

struct JxInstalledProductInfo {
    std::u16string productCode;
    std::u16string displayName;
    std::u16string installedVersion;
    std::u16string minUpgradeVersion;
    std::u16string installedProductType;
    int32_t installedProductLevel = 0;
    std::u16string setupProductType;
    int32_t setupProductLevel = 0;
    int32_t setupMajorMinor = 0;
    int32_t installedMajorMinor = 0;
    int32_t authorizedDowngradeMajorMinor = 0;
    FileVer64 setupVersion;
    FileVer64 installedVersion64;
    FileVer64 minUpgradeVersion64;
    std::u16string installLocation;
    std::u16string maintenanceDir;
    bool downgradeAuthorized = false;
    bool prohibitUpdate = false;
    bool installedProductFound = false;
    int mode = UPDATEMODE_NOUPDATE;
};

class JxUpdateMode {
public:
    JxUpdateMode(const JxUpdateModeInput& input, JxData* data);

    JxUpdateModeOutput GetUpdateMode();

    // The steps, in the order GetUpdateMode uses them.
    bool getInstalledProduct();
    bool getInstalledProductByService();
    bool getInstallDir();
    bool getInstalledProductVersion();
    bool evaluateUpdateMode();
    bool evaluateProductTypes();
    bool getProductType(const std::u16string& productCode, std::u16string& typeName, int32_t& level);
    bool evaluateProductVersions();
    bool evaluateDowngradeMode();
    bool evaluateMiniSetupRestrictions();
    bool getMaintenanceDir();
    bool getOutputData(JxUpdateModeOutput& out);
    bool fixInstalledProductInformation();

    const JxInstalledProductInfo& GetInstalledProductInfo() const { return m_Info; }

private:
    // The BEGIN line of a step; false (with the ERROR line) when there is no data object.
    bool _um_Begin(const WCHAR* context, const WCHAR* format = u"", ...);
    bool _um_End(const WCHAR* context, bool result);
    void _um_Info(const WCHAR* context, const WCHAR* format, ...);
    const std::vector<JxProductCode>& _um_Codes() const;
    const JxProductCode* _um_RowOf(const std::u16string& productCode) const;
    bool _um_Flags() const { return m_Input.collectMode || m_Input.systemContext; }
    std::u16string _um_StoredSetupFolder(const std::u16string& guid) const;

    JxData* m_Data; // not owned
    JxUpdateModeInput m_Input;
    JxInstalledProductInfo m_Info;
};

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\" and the product code.
std::u16string UninstallKeyOf(const std::u16string& productCode);

} // namespace JxSetup::Data
