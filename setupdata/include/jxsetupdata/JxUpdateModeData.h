// The records of the update decision: what the decision is given and what it answers.
#pragma once

#include <cstdint>
#include <string>

#include "jxsetupdata/JxRecords.h"

namespace JxSetup::Data {

enum JxUpdateModeValue {
    UPDATEMODE_NOUPDATE = 0,
    UPDATEMODE_UPDATE = 1,
    UPDATEMODE_UPGRADE = 2,
    UPDATEMODE_EXITSETUP = 3,
    UPDATEMODE_RELOADCONFIG = 4,
};

struct JxUpdateModeInput {
    const JxRequirements* requirements = nullptr; // the data object's product rows
    std::u16string setupVersion;
    std::u16string setupProductCode;
    std::u16string authorizedDowngradeVersion; // major * 100 + minor, as text
    std::u16string installMode;
    bool collectMode = false;
    bool systemContext = false;
    bool miniSetup = false;
    std::u16string authorizedMiniSetupUpgradeVersion; // major * 100 + minor, as text
    std::u16string commonAppDataFolder;
};

struct JxUpdateModeOutput {
    int mode = UPDATEMODE_NOUPDATE;
    std::u16string displayName;
    std::u16string productCode;
    std::u16string installLocation;
    std::u16string maintenanceDir;
    int32_t installedMajorMinor = 0;
    int32_t setupMajorMinor = 0;
    std::u16string installedProductType;
    int32_t installedProductLevel = 0;
    std::u16string setupProductType;
    int32_t setupProductLevel = 0;
    bool collect = false; // collect mode or system context
    bool downgradeAuthorized = false;
};

} // namespace JxSetup::Data
