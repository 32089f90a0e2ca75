// The update decision proper: product levels, versions, downgrade and mini-setup authorizations.
#include <cstdarg>

#include "jxengine/JxUpdateMode.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kIncompatible = u"Incompatible product installed. Set UpdateMode to EXITSETUP.";

// "major.minor.build.revision" with four numeric parts and a value other than 0.
bool _um_ParseFullVersion(const std::u16string& text, FileVer64& version, int32_t& majorMinor) {
    std::vector<WORD> parts;
    if (!JxFile::GetVersionNumbers(text, parts) || parts.size() != 4)
        return false;
    if (!version.Parse(text))
        return false;
    majorMinor = parts[0] * 100 + parts[1];
    return true;
}

// A decimal integer of 32 bits.
bool _um_ParseInt(const std::u16string& text, int32_t& value) {
    const std::optional<long long> parsed = jxtext::TryParseInt(text);
    if (!parsed || *parsed < INT32_MIN || *parsed > INT32_MAX)
        return false;
    value = static_cast<int32_t>(*parsed);
    return true;
}

} // namespace

bool JxUpdateMode::getProductType(const std::u16string& productCode, std::u16string& typeName,
                                  int32_t& level) {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::getProductType";
    if (!_um_Begin(context, u"%s", productCode.c_str()))
        return false;
    typeName.clear();
    level = 0;
    const JxProductCode* row = _um_RowOf(productCode);
    if (row != nullptr && m_Input.requirements != nullptr) {
        for (const JxProductType& type : m_Input.requirements->m_ProductTypes) {
            if (!jxtext::EqualsNoCase(type.name, row->producttype))
                continue;
            typeName = type.name;
            level = type.level;
            _um_Info(context, u"Product %s (%s) hast product level %d (%s)", row->name.c_str(),
                     row->guid.c_str(), level, typeName.c_str());
            break;
        }
    }
    return _um_End(context, true);
}

bool JxUpdateMode::evaluateProductTypes() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::evaluateProductTypes";
    if (!_um_Begin(context))
        return false;
    getProductType(m_Info.productCode, m_Info.installedProductType, m_Info.installedProductLevel);
    getProductType(m_Input.setupProductCode, m_Info.setupProductType, m_Info.setupProductLevel);
    if (m_Input.collectMode) {
        _um_Info(context,
                 u"In mode collecting files. Set SetupProductLevel to value of IntalledProductLevel %d",
                 m_Info.installedProductLevel);
        m_Info.setupProductType = m_Info.installedProductType;
        m_Info.setupProductLevel = m_Info.installedProductLevel;
    }
    return _um_End(context, true);
}

bool JxUpdateMode::evaluateProductVersions() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::evaluateProductVersions";
    if (!_um_Begin(context, u"Setup: %s -> Installed: %s", m_Input.setupVersion.c_str(),
                   m_Info.installedVersion.c_str()))
        return false;
    if (m_Info.installedVersion.empty()) {
        m_Data->GetLog()->Log(LOG_END, kModule, context, u"No product installed.");
        return false;
    }
    if (!_um_ParseFullVersion(m_Input.setupVersion, m_Info.setupVersion, m_Info.setupMajorMinor) ||
        !_um_ParseFullVersion(m_Info.installedVersion, m_Info.installedVersion64,
                              m_Info.installedMajorMinor)) {
        m_Data->GetLog()->Log(LOG_END, kModule, context, u"Error while evaluating product versions!");
        return false;
    }
    _um_Info(context, u"Setup MajorMinor: %d, Installed MajorMinor: %d", m_Info.setupMajorMinor,
             m_Info.installedMajorMinor);
    if (!m_Info.minUpgradeVersion.empty()) {
        _um_Info(context, u"Min upgrade version: %s", m_Info.minUpgradeVersion.c_str());
        if (!m_Info.minUpgradeVersion64.Parse(m_Info.minUpgradeVersion)) {
            m_Data->GetLog()->Log(LP_WARNING, kModule, context, u"Can't parse the minUpgradeVersion.");
            m_Info.minUpgradeVersion64 = FileVer64();
        }
    }
    return _um_End(context, true);
}

bool JxUpdateMode::evaluateDowngradeMode() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::evaluateDowngradeMode";
    if (!_um_Begin(context))
        return false;
    m_Info.downgradeAuthorized = false;
    if (!m_Input.authorizedDowngradeVersion.empty()) {
        if (!_um_ParseInt(m_Input.authorizedDowngradeVersion, m_Info.authorizedDowngradeMajorMinor)) {
            m_Data->GetLog()->Log(LOG_END, kModule, context,
                                  u"Error while evaluating authorized downgradeable product version (%s)",
                                  m_Input.authorizedDowngradeVersion.c_str());
            return false;
        }
        _um_Info(context, u"Authorized downgradeable product version: %d",
                 m_Info.authorizedDowngradeMajorMinor);
    } else {
        _um_Info(context, u"No product version is authorized for downgrade.");
    }
    return _um_End(context, true);
}

bool JxUpdateMode::evaluateUpdateMode() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::evaluateUpdateMode";
    if (!_um_Begin(context))
        return false;
    JxLog* log = m_Data->GetLog();
    if (!m_Info.installedProductFound) {
        log->Log(LOG_END, kModule, context, u"No product installed.");
        return true;
    }
    m_Info.mode = UPDATEMODE_UPGRADE;
    if (!evaluateProductTypes() || !evaluateProductVersions() || !evaluateDowngradeMode())
        return _um_End(context, false);
    if (m_Info.prohibitUpdate || m_Info.setupProductLevel < m_Info.installedProductLevel) {
        log->Log(LOG_END, kModule, context, kIncompatible);
        m_Info.mode = UPDATEMODE_EXITSETUP;
        return false;
    }
    _um_Info(context, u"Compatible product installed. Set UpdateMode to UPGRADE");
    m_Info.mode = UPDATEMODE_UPGRADE;

    if (m_Info.setupMajorMinor < m_Info.installedMajorMinor) {
        _um_Info(context, u"Setup version is to low. Checking if the installed product is authorized to be "
                          u"downgraded.");
        if (m_Info.installedMajorMinor == m_Info.authorizedDowngradeMajorMinor) {
            _um_Info(context, u"Installed product is authorized to be downgraded. Set UpdateMode to UPGRADE");
            m_Info.downgradeAuthorized = true;
            m_Info.mode = UPDATEMODE_UPGRADE;
            return _um_End(context, true);
        }
        _um_Info(context, u"Installed product is prohibited to be downgraded. Set UpdateMode to EXITSETUP");
        m_Info.mode = UPDATEMODE_EXITSETUP;
        return _um_End(context, false);
    }
    if (m_Info.setupMajorMinor > m_Info.installedMajorMinor) {
        if (m_Info.minUpgradeVersion.empty()) {
            _um_Info(context,
                     u"Setup major and minor > installed major and minor. Set UpdateMode to UPGRADE");
            m_Info.mode = UPDATEMODE_UPGRADE;
            return _um_End(context, true);
        }
        if (m_Info.installedVersion64 < m_Info.minUpgradeVersion64) {
            _um_Info(context, u"Installed product is to old. Set UpdateMode to EXITSETUP");
            m_Info.mode = UPDATEMODE_EXITSETUP;
            return _um_End(context, false);
        }
        _um_Info(context, u"Installed product has met the min required version. Set UpdateMode to UPGRADE");
        m_Info.mode = UPDATEMODE_UPGRADE;
        return _um_End(context, true);
    }

    _um_Info(context, u"Setup major and minor are equal to installed product.");
    // The step's one END entry: this text when the setup is older, else "true". The cross upgrade
    // below still looks at the mode first.
    const WCHAR* endText = nullptr;
    if (m_Info.setupVersion < m_Info.installedVersion64) {
        endText = u"Setup version is to old. Setup must be reloaded using temporary stored setup.";
        m_Info.mode = UPDATEMODE_RELOADCONFIG;
    } else if (m_Info.setupVersion > m_Info.installedVersion64) {
        _um_Info(context, u"Setup version > Installed version. Set UpdateMode to UPDATE");
        m_Info.mode = UPDATEMODE_UPDATE;
    } else {
        _um_Info(context, u"Setup version = Installed version. Set UpdateMode to NOUPDATE");
        m_Info.mode = UPDATEMODE_NOUPDATE;
        if (!_um_Flags() && m_Info.setupProductLevel == m_Info.installedProductLevel) {
            _um_Info(context, u"Setup version = Installed version. Set UpdateMode to RELOADCONFIG");
            m_Info.mode = UPDATEMODE_RELOADCONFIG;
        }
    }
    if (!_um_Flags() && m_Info.setupProductLevel > m_Info.installedProductLevel) {
        _um_Info(context, u"Evaluating cross upgrade mode...");
        if (m_Info.mode == UPDATEMODE_RELOADCONFIG) {
            _um_Info(context, u"Setup version < Installed version. Installed product level is higher. Set "
                              u"UpdateMode = EXITSETUP");
            m_Info.mode = UPDATEMODE_EXITSETUP;
        } else if (m_Info.mode == UPDATEMODE_NOUPDATE || m_Info.mode == UPDATEMODE_UPDATE) {
            _um_Info(context, u"Setup version >= Installed version. Installed product level is higher. Set "
                              u"UpdateMode = UPGDADE");
            m_Info.mode = UPDATEMODE_UPGRADE;
        }
    }
    if (endText != nullptr) {
        log->Log(LOG_END, kModule, context, endText);
        return true;
    }
    return _um_End(context, true);
}

bool JxUpdateMode::evaluateMiniSetupRestrictions() {
    const WCHAR* context = u"JxSetup::Data::JxUpdateMode::evaluateMiniSetupRestrictions";
    if (!_um_Begin(context))
        return false;
    if (!_um_Flags() && m_Info.mode == UPDATEMODE_UPGRADE && m_Input.miniSetup &&
        !m_Input.authorizedMiniSetupUpgradeVersion.empty()) {
        int32_t authorized = 0;
        if (!_um_ParseInt(m_Input.authorizedMiniSetupUpgradeVersion, authorized)) {
            m_Data->GetLog()->Log(LP_WARNING, kModule, context,
                                  u"Invalid _AuthorizeMiniSetupUpgradeVersion value: %s",
                                  m_Input.authorizedMiniSetupUpgradeVersion.c_str());
        } else if (m_Info.installedMajorMinor < authorized) {
            _um_Info(context,
                     u"Setup is not authorized to be upgraded from version %d. Set UpdateMode = EXITSETUP",
                     m_Info.installedMajorMinor);
            m_Info.mode = UPDATEMODE_EXITSETUP;
        } else {
            _um_Info(context, u"Setup is authorized to be upgraded from version %d.",
                     m_Info.installedMajorMinor);
        }
    }
    return _um_End(context, true);
}

} // namespace JxSetup::Data
